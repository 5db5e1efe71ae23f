// Draws the six face pictures of the Command button and writes them as
// 24-bit uncompressed BMP files of 64 x 25 pixels (4,854 bytes each).
//
//   make_face_pictures OUTPUT_DIR     writes Normal.bmp ... Disable.bmp
//   make_face_pictures --check DIR    exits 1 unless DIR holds exactly them
//
// Only the 4-pixel rim of a picture ever reaches the screen (the button
// stretches it into a frame around its own gradient); the interior is filled
// with the gradient's colours so that the files look like buttons on their own.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "controls/button_state.h"

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 25;
constexpr int kRim = 4;

struct Rgb {
  int r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
  const auto ch = [t](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * t)); };
  return {ch(a.r, b.r), ch(a.g, b.g), ch(a.b, b.b)};
}

// Around the picture: the blue the buttons usually sit on, so the rounded
// corners read as rounded there.
constexpr Rgb kOutside{102, 175, 230};
constexpr Rgb kBorder{0, 60, 116};
constexpr Rgb kDisabledBorder{201, 199, 186};
constexpr Rgb kLight{255, 255, 255};
constexpr Rgb kDark{198, 197, 215};

using sievetext::FacePicture;
using Face = FacePicture;

// Which ring of the rounded rim a pixel lies on: 1 is the outer border, 4
// the innermost rim pixel, 0 the interior, -1 outside the rounded corners.
int RingOf(int x, int y) {
  const double cx = x + 0.5;
  const double cy = y + 0.5;
  const double dx = std::max({kRim - cx, 0.0, cx - (kWidth - kRim)});
  const double dy = std::max({kRim - cy, 0.0, cy - (kHeight - kRim)});
  const double d = std::sqrt(dx * dx + dy * dy);
  if (d == 0) return 0;
  if (d > kRim) return -1;
  return kRim + 1 - static_cast<int>(std::ceil(d));
}

Rgb Pixel(Face face, int x, int y) {
  const int ring = RingOf(x, y);
  const double down = static_cast<double>(y) / (kHeight - 1);  // 0 top .. 1 bottom
  const Rgb fill = Mix(kLight, kDark, down);
  if (ring < 0) return kOutside;
  if (ring == 1) return face == Face::Disable ? kDisabledBorder : kBorder;
  if (ring == 0) return fill;
  switch (face) {
    case Face::Normal:
      return fill;
    case Face::HighLight:  // orange rim, light at the top, darker at the bottom
      return ring <= 3 ? Mix(Rgb{255, 214, 140}, Rgb{232, 139, 24}, down) : fill;
    case Face::Pressed:  // a darker shade all round the inside
      return Mix(Rgb{150, 150, 178}, Mix(kDark, fill, 0.5), (ring - 2) / 2.0);
    case Face::Selected:  // light-blue rim
      return ring == 2 ? Rgb{120, 180, 240} : ring == 3 ? Rgb{175, 212, 248} : fill;
    case Face::HighLightSelect:  // orange rim
      return ring == 2 ? Rgb{248, 160, 40} : ring == 3 ? Rgb{252, 196, 110} : fill;
    case Face::Disable:
      return Mix(Rgb{244, 243, 238}, Rgb{228, 226, 216}, down);
  }
  return fill;
}

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(v & 0xFF);
  out.push_back((v >> 8) & 0xFF);
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

std::vector<std::uint8_t> BmpOf(Face face) {
  constexpr std::uint32_t kRowBytes = kWidth * 3;  // already a multiple of 4
  constexpr std::uint32_t kPixelBytes = kRowBytes * kHeight;
  constexpr std::uint32_t kHeaderBytes = 14 + 40;
  std::vector<std::uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, kHeaderBytes + kPixelBytes);
  Put32(out, 0);
  Put32(out, kHeaderBytes);
  Put32(out, 40);
  Put32(out, kWidth);
  Put32(out, kHeight);  // positive: rows bottom-up
  Put16(out, 1);        // planes
  Put16(out, 24);       // bits per pixel
  Put32(out, 0);        // no compression
  Put32(out, kPixelBytes);
  Put32(out, 3780);  // 96 dots per inch
  Put32(out, 3780);
  Put32(out, 0);
  Put32(out, 0);
  for (int y = kHeight - 1; y >= 0; --y) {
    for (int x = 0; x < kWidth; ++x) {
      const Rgb c = Pixel(face, x, y);
      out.push_back(static_cast<std::uint8_t>(c.b));
      out.push_back(static_cast<std::uint8_t>(c.g));
      out.push_back(static_cast<std::uint8_t>(c.r));
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const bool check = argc == 3 && std::string(argv[1]) == "--check";
  if (argc != 2 && !check) {
    std::cerr << "usage: make_face_pictures OUTPUT_DIR | --check DIR\n";
    return 2;
  }
  const std::string dir = argv[argc - 1];
  int status = 0;
  for (int i = 0; i < sievetext::kFacePictureCount; ++i) {
    const auto face = static_cast<Face>(i);
    const std::string path = dir + "/" + std::string(sievetext::FacePictureName(face)) + ".bmp";
    const std::vector<std::uint8_t> bytes = BmpOf(face);
    if (check) {
      std::ifstream in(path, std::ios::binary);
      const std::vector<std::uint8_t> found((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
      if (found != bytes) {
        std::cerr << path << " differs from the generated picture\n";
        status = 1;
      }
      continue;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
      std::cerr << "cannot write " << path << "\n";
      status = 1;
    }
  }
  return status;
}
