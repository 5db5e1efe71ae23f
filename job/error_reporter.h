#pragma once

#include <string>
#include <string_view>

#include "engine/conversion_reporter.h"
#include "platform/diagnostics.h"  // ErrnoText

namespace sievetext {

// The job reports running out of memory with the engine's number and text
// (kErrorOutOfMemory); file errors use errno and its text.

// "<procedure>: Error <number>: <description>", nothing added or left out.
std::string FormatError(std::string_view sProcedure, long number, std::string_view description);

}  // namespace sievetext
