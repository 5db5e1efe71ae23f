#pragma once

#include <QImage>
#include <cstdint>
#include <string_view>

namespace sievetext {

// The two colours of the face gradient, as red-green-blue hexadecimal texts
// (not the 0x00BBGGRR colour values used elsewhere).
inline constexpr std::string_view kGradientLight = "&HFFFFFF";
inline constexpr std::string_view kGradientDark = "&HC6C5D7";

// A gradient end point's colour with 16-bit channels (8-bit value << 8).
struct GradientColour {
  std::uint16_t red = 0;
  std::uint16_t green = 0;
  std::uint16_t blue = 0;
};

// Reads "&HRRGGBB" as three 8-bit pairs in the order red, green, blue, each
// widened to 16 bits with a zero low byte. Malformed pairs read as 0.
GradientColour ParseGradientConstant(std::string_view text);

// Fills `image` with a vertical gradient: every row one colour, from the top
// colour on row 0 to the bottom colour on row height - 2, linearly per
// channel. The right column and the bottom row are left untouched (the frame
// covers them). `inverted` puts the dark colour at the top.
void DrawGradient(QImage& image, bool inverted);

}  // namespace sievetext
