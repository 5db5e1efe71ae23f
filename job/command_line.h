#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "process_state.h"

namespace sievetext {

// True for a path that names the same file from any folder: on POSIX one that
// starts with "/"; on Windows one with ":\" in it, or a network path starting
// with two backslashes.
bool IsAbsolutePath(std::string_view path);

// Sets sInputFile and sOutputFile from the arguments after the program's own
// name: the first is the input, the second the output, later ones are
// ignored; a missing or empty one leaves its path empty. A path that is not
// absolute is taken relative to the program's folder (sAppPath), not to the
// working directory.
void ParseCommandLine(ProcessState& state, const std::vector<std::string>& arguments);

// The folder holding the running program, symbolic links resolved, ending in
// "/". `argv0` is the fallback where the system cannot name the program file.
std::string ProgramFolder(const char* argv0);

}  // namespace sievetext
