#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sievetext::testing {

// How to start one run of a built program. The child starts as from a
// shell, whatever the test runner ignored or blocked: every signal at its
// default action, none blocked.
struct Launch {
  std::string program;                  // the file to run
  std::vector<std::string> arguments;   // after the program's own name
  std::filesystem::path workingFolder;  // empty: the test's own
  // Variables to set, or to remove where the value is std::nullopt; the rest
  // of the test's environment is passed on.
  std::vector<std::pair<std::string, std::optional<std::string>>> environment;

  std::optional<std::string> input;     // standard input fed through a pipe,
  std::string inputFile = "/dev/null";  // otherwise read from this file
  std::string outputFile;               // standard output to this file; empty: captured
  std::size_t closeOutputAfter = 0;     // stop reading the captured output after this
                                        // many bytes, and close it (0: read it all)
  std::string errorFile;                // standard error to this file; empty: captured

  rlim_t fileSizeLimit = 0;                     // RLIMIT_FSIZE when not 0
  rlim_t addressLimit = 0;                      // RLIMIT_AS when not 0
  std::optional<std::pair<uid_t, gid_t>> user;  // run as this user and group, no others
  // A program still running this long after it started is killed.
  std::chrono::seconds deadline{60};
};

// How a run ended.
struct Outcome {
  int status = -1;            // the exit status, or 128 + the signal that ended it
  std::string out;            // captured standard output
  std::string err;            // captured standard error
  std::size_t peakBytes = 0;  // the child's peak resident size, as the system counted it
};

// A started program. Its captured output is read while it runs, so it never
// blocks on a full pipe, and several may run at once.
class RunningProgram {
 public:
  explicit RunningProgram(const Launch& launch);
  RunningProgram(RunningProgram&&) noexcept;
  RunningProgram& operator=(RunningProgram&&) noexcept;
  // Finishes a run that finish() was not called for.
  ~RunningProgram();

  pid_t pid() const;
  // Waits for the program to end (killing it past its deadline, which fails
  // the test) and returns how it ended. Call once.
  Outcome finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Starts the program and waits for it.
inline Outcome Run(const Launch& launch) { return RunningProgram(launch).finish(); }

}  // namespace sievetext::testing
