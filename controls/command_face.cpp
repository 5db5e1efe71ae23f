// The button's looks: the face painted into the persistent image, and the
// image shown with the focus lines laid over it. Its behaviour is in
// command.cpp.
#include <QPainter>
#include <unordered_set>

#include "controls/caption_layout.h"
#include "controls/command.h"
#include "controls/face_gradient.h"

namespace sievetext {

namespace {

// Caption colour of a disabled button (RGB 192, 192, 192).
constexpr std::uint32_t kDisabledCaptionColour = 0xC0C0C0;

QColor ColourOf(std::uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

}  // namespace

void Command::RefreshButton() {
  if (!enabled_) {
    machine_.setState(ButtonState::StateDisabled);
    DrawButton(FacePicture::Disable);
    return;
  }
  if (machine_.state() == ButtonState::StateDisabled) {
    machine_.setState(ButtonState::StateNormal);
  }
  DrawButton(FacePicture::Normal);
}

void Command::DrawButton(FacePicture picture) {
  // Caption colour and access key.
  if (enabled_) {
    if (const auto key = AccessKeyOf(caption_)) setAccessKeys(*key);
    foreColour_ = lastFontColour_;
  } else {
    machine_.setState(ButtonState::StateDisabled);
    foreColour_ = kDisabledCaptionColour;
    setAccessKeys(QString());
  }

  // Hover inverts the gradient; the focused looks keep it as it was.
  switch (machine_.state()) {
    case ButtonState::StateNormal:
    case ButtonState::StateSelected:
      gradientInverted_ = false;
      break;
    case ButtonState::StateHighLight:
      gradientInverted_ = true;
      break;
    case ButtonState::StateDisabled:
    case ButtonState::StateHighLightSelect:
      break;
  }

  const QSize extent = size();
  if (image_.size() != extent) image_ = QImage(extent, QImage::Format_ARGB32_Premultiplied);
  if (!image_.isNull()) {
    image_.fill(opaque_ ? palette().color(QPalette::Button) : QColor(Qt::transparent));
    DrawGradient(image_, gradientInverted_);
    frameSizes_ = NextFrameSizes(frameSizes_, extent.width(), extent.height());
    PaintFrame(image_, pictures_[static_cast<std::size_t>(picture)], frameSizes_);
    DrawCaption(image_, caption_, font(), ColourOf(foreColour_));
  }
  update();

  const ButtonState state = machine_.state();
  focusLinesShown_ =
      state == ButtonState::StateSelected || state == ButtonState::StateHighLightSelect;
  if (focusLinesShown_) focusLines_ = FocusLines(extent.width(), extent.height());

  lastPicture_ = picture;
  ++paintCount_;
}

QImage Command::shownImage() const {
  if (!focusLinesShown_ || image_.isNull()) return image_;
  QImage shown = image_.copy();
  // Each dotted pixel is inverted once, even where two sides meet.
  std::unordered_set<long long> done;
  for (const FocusLine& line : focusLines_) {
    for (const QPoint& p : DottedPixels(line)) {
      if (!shown.rect().contains(p)) continue;
      if (!done.insert((static_cast<long long>(p.y()) << 32) | static_cast<unsigned>(p.x()))
               .second) {
        continue;
      }
      const QRgb c = shown.pixel(p);
      shown.setPixel(p, qRgba(255 - qRed(c), 255 - qGreen(c), 255 - qBlue(c), qAlpha(c)));
    }
  }
  return shown;
}

void Command::paintEvent(QPaintEvent*) {
  dropStaleFocus();
  QPainter painter(this);
  painter.drawImage(0, 0, shownImage());
}

}  // namespace sievetext
