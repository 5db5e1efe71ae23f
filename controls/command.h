#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

#include "controls/button_machine.h"
#include "controls/button_state.h"
#include "controls/frame_geometry.h"

class QShortcut;
class QTimer;

namespace sievetext {

class PropertyBag;

// The program's own push button: a gradient face inside a frame cut from one
// of six face pictures, a centred word-wrapped caption, hover, press and focus
// looks, and one event, Click.
//
// It is a plain QWidget rather than a Qt button because its click rules are
// its own: a press dragged off the button and released before the next hover
// poll still clicks, a release of any mouse button clicks, and a press only
// counts as cancelled once the 100 ms poll (TmrMouse, started by Initialize)
// has seen the pointer away.
//
// The face is painted into a persistent image of the widget's size and shown
// from there; the dotted focus rectangle is laid over it, inverting the
// pixels below, in StateSelected and StateHighLightSelect.
//
// Property names follow the control's own vocabulary (Caption, Enabled,
// Font, FontColour, Visible). Their setters are spelled Set... so that they
// never hide QWidget's own setEnabled/setFont/setVisible: the button's
// Enabled is its own flag, and a disabled button still takes the focus.
class Command : public QWidget, private ButtonMachineHost {
  Q_OBJECT

 public:
  // Caption "Command", enabled, 105 x 28 pixels, painted with Normal.
  explicit Command(QWidget* parent = nullptr);
  ~Command() override;

  QString Caption() const { return caption_; }
  void SetCaption(const QString& New_Caption);

  // The first read on an instance that was never loaded from a stored set
  // (FirstRun 0) turns the button on, without repainting, and sets FirstRun.
  bool Enabled();
  void SetEnabled(bool New_Enabled);

  QFont Font() const { return font(); }
  void SetFont(const QFont& New_Font);

  // Caption colour as 0x00BBGGRR. Reads give the colour in use, which is the
  // grey 0xC0C0C0 on a disabled button. Values outside 0..0xFFFFFF are
  // refused and leave the colour as it was.
  std::uint32_t FontColour() const { return foreColour_; }
  void SetFontColour(qint64 New_FontColour);

  // 255 for an opaque background (and the face is repainted), 0 for a
  // transparent one. Writing 0 makes it transparent without painting; any
  // other value makes it opaque and repaints.
  std::uint8_t Visible();
  void SetVisible(std::uint8_t New_Visible);

  // Starts hover tracking: StateNormal, TmrMouse every 100 ms. Paints nothing.
  void Initialize();

  // The stored property set. Reading sets members directly (no
  // PropertyChanged) and repaints; writing stores only values that differ
  // from their defaults and repaints.
  void ReadProperties(const PropertyBag& bag);
  void WriteProperties(PropertyBag& bag);

  // Read-only views of the control's state, for hosts and tests.
  ButtonState State() const { return machine_.state(); }
  // The Enabled member as it stands, without the first-read rule of Enabled().
  bool reactsToInput() const { return enabled_; }
  bool LeftButtonDown() const { return machine_.leftButtonDown(); }
  std::uint8_t FirstRun() const { return firstRun_; }
  bool GradientInverted() const { return gradientInverted_; }
  std::uint32_t LastFontColour() const { return lastFontColour_; }
  // The persistent face image (no focus lines).
  const QImage& image() const { return image_; }
  // The face as it is shown on screen: the image with the focus lines.
  QImage shownImage() const;
  bool focusLinesShown() const { return focusLinesShown_; }
  const std::array<FocusLine, 4>& focusLines() const { return focusLines_; }
  // The access-key list: empty, or the one character after the caption's
  // first "&" as of the last enabled paint.
  QString accessKeys() const { return accessKeys_; }
  FacePicture lastPicture() const { return lastPicture_; }
  QString lastPictureName() const;
  int paintCount() const { return paintCount_; }
  QTimer* TmrMouse() const { return tmrMouse_; }

  // How a poll finds the widget under the pointer; by default the widget at
  // the cursor position. Tests put their own lookup here and drive ticks by
  // calling TmrMouse_Timer().
  using PointerLookup = std::function<QWidget*()>;
  void setWidgetUnderPointer(PointerLookup lookup);

  QSize sizeHint() const override;

  // Whether the button holds its window's keyboard focus: the window's focus
  // widget, even while another window (a message box) is active.
  bool ownsFocus() const;

 public slots:
  // One tick of the hover poll.
  void TmrMouse_Timer();
  // The access-key handling: pressed look, then clicked.
  void AccessKeyPress();
  // What the access key and a screen reader's press do: the focus moves
  // here first, as with a click, then the access-key handling runs.
  void takeFocusAndPress();

 signals:
  void Click();
  // A property changed, so the host's stored set for this instance is stale.
  void PropertyChanged(const QString& name);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  // Space, Return and Enter press a focused, enabled button as its access
  // key would.
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;

 private:
  // ButtonMachineHost
  bool isEnabledForInput() const override { return enabled_; }
  void DrawButton(FacePicture picture) override;
  void raiseClick() override;

  // Repaints with Normal (enabled; StateDisabled becomes StateNormal) or
  // Disable (disabled; the state becomes StateDisabled).
  void RefreshButton();
  void setAccessKeys(const QString& keys);
  // A button that is not its window's focus widget drops its focus look;
  // the focus may have moved while the window was inactive, when no focus
  // events are delivered.
  void dropStaleFocus();
  void dropStaleFocusOfOthers();
  bool setForeColour(qint64 value);
  QFont ambientFont() const;

  ButtonMachine machine_{*this};
  std::uint8_t firstRun_ = 0;
  bool enabled_ = false;
  QString caption_;
  std::uint32_t lastFontColour_ = 0;
  std::uint32_t foreColour_ = 0;
  bool opaque_ = true;
  bool gradientInverted_ = false;
  // Whether the button holds the focus as far as its looks go; a window
  // deactivation does not take it away.
  bool focused_ = false;

  std::array<QImage, kFacePictureCount> pictures_;
  QImage image_;
  std::array<FocusLine, 4> focusLines_{};
  FrameSizes frameSizes_;  // kept from paint to paint for sides too long to measure
  bool focusLinesShown_ = false;
  QString accessKeys_;
  QShortcut* accessShortcut_ = nullptr;
  QTimer* tmrMouse_ = nullptr;
  PointerLookup widgetUnderPointer_;

  FacePicture lastPicture_ = FacePicture::Normal;
  int paintCount_ = 0;
};

}  // namespace sievetext
