#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "job/remove_html.h"

namespace sievetext {

// True for a path that names the same file from any folder: on POSIX one that
// starts with "/"; on Windows one with ":\" in it, or a network path starting
// with two backslashes.
bool IsAbsolutePath(std::string_view path);

// The current working folder, or empty when it cannot be named (it was
// removed, say).
std::string WorkingFolder();

// A path as the program uses it: one that is not absolute is taken relative
// to `workingFolder`; the empty path stays empty, and so does "-" (standard
// input or output) unless `dashIsStream` is false. Without a working folder a
// relative path is left as it is.
std::string ResolvePath(const std::string& path, const std::string& workingFolder,
                        bool dashIsStream = true);

// The job's files from the two paths of INPUT OUTPUT, each resolved against
// the working folder; a missing or empty one leaves its path empty, and the
// job then stops at its check of that path.
JobRequest ParseCommandLine(const std::vector<std::string>& paths,
                            const std::string& workingFolder);

// The folder holding the running program, symbolic links resolved, ending in
// "/". `argv0` is the fallback where the system cannot name the program file.
std::string ProgramFolder(const char* argv0);

}  // namespace sievetext
