#pragma once

#include <QImage>

#include "controls/button_state.h"

namespace sievetext {

// Registers the control library's resources. A static library's resources
// are not registered by themselves; the button calls this from its
// constructor, and calling it again is harmless.
void InitControlResources();

// The face picture as shipped with the control (64 x 25 pixels, RGB32).
// Null only if the resource is missing from the build.
QImage LoadFacePicture(FacePicture picture);

}  // namespace sievetext
