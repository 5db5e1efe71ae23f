#include "controls/button_machine.h"

namespace sievetext {

void ButtonMachine::mousePressed(int button) {
  // The state stays: the press look is only a paint. Focus arrives separately.
  if (host_.isEnabledForInput() && button == kLeftButton) {
    leftButtonDown_ = true;
    host_.DrawButton(FacePicture::Pressed);
  }
}

void ButtonMachine::pointerMoved() {
  if (!host_.isEnabledForInput()) return;
  if (state_ == ButtonState::StateNormal) {
    state_ = ButtonState::StateHighLight;
    host_.DrawButton(FacePicture::HighLight);
  }
  // A press dragged off and back stays Selected until it is released.
  if (state_ == ButtonState::StateSelected && !leftButtonDown_) {
    state_ = ButtonState::StateHighLightSelect;
    host_.DrawButton(FacePicture::HighLightSelect);
  }
}

void ButtonMachine::mouseReleased(int button) {
  if (!host_.isEnabledForInput()) return;
  if (button == kLeftButton) {
    leftButtonDown_ = false;
    if (state_ == ButtonState::StateHighLight) host_.DrawButton(FacePicture::Normal);
    if (state_ == ButtonState::StateHighLightSelect) host_.DrawButton(FacePicture::HighLightSelect);
  }
  // StateSelected here means the pointer left during the press and a poll
  // saw it: that release is a cancel. Any other release clicks, whichever
  // button it was.
  if (state_ != ButtonState::StateSelected && host_.isEnabledForInput()) host_.raiseClick();
}

void ButtonMachine::focusGained() {
  if (!host_.isEnabledForInput()) return;
  if (state_ != ButtonState::StateHighLight) {
    state_ = ButtonState::StateSelected;
    host_.DrawButton(FacePicture::Selected);
  } else {
    state_ = ButtonState::StateHighLightSelect;
    host_.DrawButton(FacePicture::Pressed);
  }
}

void ButtonMachine::focusLost() {
  if (host_.isEnabledForInput() && state_ != ButtonState::StateNormal) {
    state_ = ButtonState::StateNormal;
    host_.DrawButton(FacePicture::Normal);
  }
}

void ButtonMachine::accessKeyPressed() {
  if (!host_.isEnabledForInput()) return;
  state_ = ButtonState::StateHighLight;
  focusGained();
  mouseReleased(kLeftButton);
}

void ButtonMachine::tick(PointerPlace place) {
  // Over the button's own window nothing happens; the parent window and any
  // other window (one lying over the button included) count as away.
  if (place == PointerPlace::ParentWindow) {
    CheckMouseLeave();
    return;
  }
  if (place != PointerPlace::OwnWindow) CheckMouseLeave();
}

void ButtonMachine::CheckMouseLeave() {
  if (state_ != ButtonState::StateDisabled && !host_.isEnabledForInput()) {
    state_ = ButtonState::StateDisabled;
    host_.DrawButton(FacePicture::Disable);
  }
  if (state_ == ButtonState::StateHighLight) {
    state_ = ButtonState::StateNormal;
    host_.DrawButton(FacePicture::Normal);
  }
  if (state_ == ButtonState::StateHighLightSelect) {
    state_ = ButtonState::StateSelected;
    host_.DrawButton(FacePicture::Selected);
  }
}

}  // namespace sievetext
