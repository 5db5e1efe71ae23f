#include "controls/frame_geometry.h"

#include <QPainter>

namespace sievetext {

int TwipsToPixels(int twips) {
  int q = twips / kTwipsPerPixel;
  if (twips % kTwipsPerPixel != 0 && twips < 0) --q;
  return q;
}

QRect TwipRect(int x, int y, int width, int height) {
  return QRect(TwipsToPixels(x), TwipsToPixels(y), TwipsToPixels(width), TwipsToPixels(height));
}

FrameSizes NextFrameSizes(const FrameSizes& previous, int widthPx, int heightPx) {
  constexpr int kLongestSide = 32767;  // the largest signed 16-bit number
  FrameSizes sizes = previous;
  const int W = widthPx * kTwipsPerPixel;
  const int H = heightPx * kTwipsPerPixel;
  if (W <= kLongestSide) {
    sizes.widthLess120 = W - 120;
    sizes.widthLess60 = W - 60;
  }
  if (H <= kLongestSide) {
    sizes.heightLess120 = H - 120;
    sizes.heightLess60 = H - 60;
  }
  return sizes;
}

std::array<FramePiece, 8> FramePieces(const FrameSizes& sizes) {
  const int wl120 = sizes.widthLess120;
  const int wl60 = sizes.widthLess60;
  const int hl120 = sizes.heightLess120;
  const int hl60 = sizes.heightLess60;
  return {{
      {TwipRect(0, 0, 60, 60), TwipRect(1, 1, 60, 60)},             // top-left
      {TwipRect(60, 1, 840, 60), TwipRect(60, 1, wl120, 60)},       // top
      {TwipRect(900, 1, 60, 60), TwipRect(wl60, 1, 60, 60)},        // top-right
      {TwipRect(900, 60, 60, 255), TwipRect(wl60, 60, 60, hl120)},  // right
      {TwipRect(900, 315, 60, 60), TwipRect(wl60, hl60, 60, 60)},   // bottom-right
      {TwipRect(60, 315, 840, 60), TwipRect(60, hl60, wl120, 60)},  // bottom
      {TwipRect(0, 315, 60, 60), TwipRect(1, hl60, 60, 60)},        // bottom-left
      {TwipRect(1, 60, 60, 255), TwipRect(1, 60, 60, hl120)},       // left
  }};
}

void PaintFrame(QImage& face, const QImage& picture, const FrameSizes& sizes) {
  QPainter painter(&face);
  for (const FramePiece& piece : FramePieces(sizes)) {
    if (piece.target.width() <= 0 || piece.target.height() <= 0) continue;
    QImage part = picture.copy(piece.source);
    if (part.size() != piece.target.size()) {
      part = part.scaled(piece.target.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    painter.drawImage(piece.target.topLeft(), part);
  }
}

std::array<FocusLine, 4> FocusLines(int widthPx, int heightPx) {
  const int W = widthPx * kTwipsPerPixel;
  const int H = heightPx * kTwipsPerPixel;
  const auto at = [](int x, int y) { return QPoint(TwipsToPixels(x), TwipsToPixels(y)); };
  // The right and bottom sides sit 10 twips further in than the frame's
  // inner edge, which puts them on the fifth pixel from that edge.
  return {{
      {at(60, 60), at(60, H - 60)},          // left
      {at(60, 60), at(W - 60, 60)},          // top
      {at(W - 70, 60), at(W - 70, H - 60)},  // right
      {at(60, H - 70), at(W - 60, H - 70)},  // bottom
  }};
}

std::vector<QPoint> DottedPixels(const FocusLine& line) {
  std::vector<QPoint> dots;
  const QPoint d = line.to - line.from;
  // Lines are horizontal or vertical; a line that would run backwards
  // (a button too small for a focus rectangle) has no pixels.
  if ((d.x() != 0 && d.y() != 0) || d.x() < 0 || d.y() < 0) return dots;
  const int length = d.x() + d.y();
  const QPoint step = d.x() != 0 ? QPoint(1, 0) : QPoint(0, 1);
  for (int i = 0; i < length; i += 2) dots.push_back(line.from + step * i);
  return dots;
}

}  // namespace sievetext
