#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/option_names.h"

namespace sievetext {

// What the arguments after the program's name ask for.
struct Arguments {
  enum class Action {
    Convert,  // INPUT OUTPUT, or -d FOLDER INPUT...
    Window,   // no arguments, or --window [INPUT]
    Help,
    Version,
    Usage,  // the arguments make no sense; `problem` says why
  };
  Action action = Action::Convert;
  std::string problem;

  bool quiet = false;                       // -q: no messages, the exit status alone tells
  bool recursive = false;                   // -r: walk folder inputs (needs -d)
  bool lfLineBreaks = false;                // --lf: LF line breaks instead of CR LF
  bool layout = false;                      // --layout: the reading mode
  std::optional<std::string> outputFolder;  // -d FOLDER
  unsigned jobs = 0;                        // -j N; 0 means one per online core
  std::vector<OptionEdit> edits;            // --with / --without, in the order given
  std::vector<std::string> paths;           // INPUT OUTPUT, the INPUTs of -d, or the window's INPUT
};

// Parses the arguments that follow the program's name, in the usual way:
// options and paths in any order, "--" ends the options, "-" is a path.
Arguments ParseArguments(const std::vector<std::string>& arguments);

// The most jobs -j accepts.
inline constexpr unsigned kMaxJobs = 256;

// The text of --help. `settingsPath`: where the options are saved.
std::string HelpText(std::string_view settingsPath);

// The two lines said about a usage problem (without the last line break).
std::string UsageText(std::string_view problem);

}  // namespace sievetext
