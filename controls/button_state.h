#pragma once

#include <cstdint>
#include <string_view>

namespace sievetext {

// The visual state of a Command button. The numbers are part of the control's
// contract (hosts and tests compare them), so keep them.
enum class ButtonState : std::uint8_t {
  StateDisabled = 0,         // Enabled is false
  StateNormal = 1,           // enabled, no focus, pointer away
  StateHighLight = 2,        // pointer over a button without the focus
  StateSelected = 3,         // focus, pointer away (or a press dragged off)
  StateHighLightSelect = 4,  // focus and pointer over it, also while pressed
};

// The six face pictures a button is painted with.
enum class FacePicture : std::uint8_t {
  Normal,
  HighLight,
  Pressed,
  Selected,
  HighLightSelect,
  Disable,
};

inline constexpr int kFacePictureCount = 6;

// The picture's element name ("Normal", "HighLight", ...); also its file name.
constexpr std::string_view FacePictureName(FacePicture picture) {
  switch (picture) {
    case FacePicture::Normal:
      return "Normal";
    case FacePicture::HighLight:
      return "HighLight";
    case FacePicture::Pressed:
      return "Pressed";
    case FacePicture::Selected:
      return "Selected";
    case FacePicture::HighLightSelect:
      return "HighLightSelect";
    case FacePicture::Disable:
      return "Disable";
  }
  return {};
}

// Mouse buttons as the input handlers see them.
inline constexpr int kLeftButton = 1;
inline constexpr int kRightButton = 2;
inline constexpr int kMiddleButton = 4;

}  // namespace sievetext
