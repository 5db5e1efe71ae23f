#include "controls/face_gradient.h"

#include <QColor>
#include <cassert>

namespace sievetext {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::uint16_t Pair16(std::string_view digits, std::size_t at) {
  if (digits.size() < at + 2) return 0;
  const int hi = HexDigit(digits[at]);
  const int lo = HexDigit(digits[at + 1]);
  if (hi < 0 || lo < 0) return 0;
  return static_cast<std::uint16_t>((hi * 16 + lo) << 8);
}

int Lerp(int from, int to, int step, int steps) {
  return steps == 0 ? from : from + (to - from) * step / steps;
}

}  // namespace

GradientColour ParseGradientConstant(std::string_view text) {
  if (text.size() >= 2 && text[0] == '&' && (text[1] == 'H' || text[1] == 'h'))
    text.remove_prefix(2);
  return {Pair16(text, 0), Pair16(text, 2), Pair16(text, 4)};
}

void DrawGradient(QImage& image, bool inverted) {
  const GradientColour light = ParseGradientConstant(kGradientLight);
  const GradientColour dark = ParseGradientConstant(kGradientDark);
  const GradientColour& top = inverted ? dark : light;
  const GradientColour& bottom = inverted ? light : dark;
  const int lastRow = image.height() - 2;
  const int columns = image.width() - 1;
  assert(image.depth() == 32);
  if (lastRow < 0 || columns <= 0) return;
  for (int y = 0; y <= lastRow; ++y) {
    const QRgb rgb = qRgb(Lerp(top.red, bottom.red, y, lastRow) >> 8,
                          Lerp(top.green, bottom.green, y, lastRow) >> 8,
                          Lerp(top.blue, bottom.blue, y, lastRow) >> 8);
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < columns; ++x) line[x] = rgb;
  }
}

}  // namespace sievetext
