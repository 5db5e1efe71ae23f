#pragma once

#include "controls/button_state.h"

namespace sievetext {

// What the input state machine needs from the widget that owns it.
class ButtonMachineHost {
 public:
  virtual ~ButtonMachineHost() = default;
  // The Enabled member as it is now (no first-read side effects).
  virtual bool isEnabledForInput() const = 0;
  // Paints a complete face with `picture` for the current state.
  virtual void DrawButton(FacePicture picture) = 0;
  // Raises the Click event. May re-enter the machine (a handler that yields).
  virtual void raiseClick() = 0;
};

// Where the hover poll found the pointer.
enum class PointerPlace { OwnWindow, ParentWindow, Elsewhere };

// Turns mouse, focus, access-key and poll input into state changes, face
// paints and Click events. All rules about when a release clicks live here;
// the widget only translates Qt events into these calls.
//
// Every handler except the access key does nothing while the button is
// disabled, apart from the poll, which is what moves a disabled button to
// StateDisabled.
class ButtonMachine {
 public:
  explicit ButtonMachine(ButtonMachineHost& host) : host_(host) {}
  ButtonMachine(const ButtonMachine&) = delete;
  ButtonMachine& operator=(const ButtonMachine&) = delete;

  ButtonState state() const { return state_; }
  void setState(ButtonState state) { state_ = state; }
  bool leftButtonDown() const { return leftButtonDown_; }

  // `button` is a button code: kLeftButton, kRightButton or kMiddleButton.
  void mousePressed(int button);
  void pointerMoved();
  void mouseReleased(int button);
  void focusGained();
  void focusLost();
  // Focus-gained and left-release handling in one go: paints Pressed, then
  // HighLightSelect, and clicks. Ends in StateHighLightSelect.
  void accessKeyPressed();
  // One tick of the hover poll.
  void tick(PointerPlace place);
  // Undoes the hover looks once the pointer has left (or disables).
  void CheckMouseLeave();

 private:
  ButtonMachineHost& host_;
  ButtonState state_ = ButtonState::StateDisabled;
  bool leftButtonDown_ = false;
};

}  // namespace sievetext
