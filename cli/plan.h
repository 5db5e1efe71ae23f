#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/arguments.h"

namespace sievetext {

// One input and the output it is converted to.
struct PlannedJob {
  std::string input;  // as the job opens it: absolute, or "-"
  std::string output;
  std::string inputName;  // as the user wrote it, for messages
  std::string outputName;
};

// The output file name of -d for an input: its name without its last
// extension, and ".txt" ("a.html" -> "a.txt", "notes" -> "notes.txt").
std::string OutputNameFor(std::string_view inputPath);

// The jobs of -d FOLDER INPUT...: each INPUT to FOLDER/NAME.txt; with -r a
// folder INPUT is walked for .html and .htm files (any letter case), which go
// to the same subfolder of FOLDER. Names starting with "." are skipped and
// symbolic links to folders are not followed. Two inputs for one output, or
// an output that another job reads, are reported here, and then no job is
// planned at all, so that nothing is written.
struct Plan {
  std::vector<PlannedJob> jobs;
  std::vector<std::string> messages;
  int status = 0;  // 1 when a check failed, 2 when a folder could not be read
};
Plan PlanOutputFolder(const Arguments& args, const std::string& workingFolder);

}  // namespace sievetext
