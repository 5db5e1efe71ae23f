#pragma once

#include <string>

namespace sievetext {

// How one conversion job ended, as a value: the window, the command line,
// the library and the Python module each make their own words of it, in one
// place each (JobMessage here; the command line's run_jobs, the library's
// Error).

enum class JobOutcome {
  Written,  // the output holds the converted text
  Stopped,  // a check stopped the job (or the user declined), nothing written
  Failed,   // a runtime error, nothing written
};

// The check that stopped a job.
enum class JobCheck {
  None,
  NoInput,            // no input path
  NoOutput,           // no output path
  InputMissing,       // the input is not a normal file
  SameFile,           // the output is the input file, by any name
  OverwriteDeclined,  // the output exists and its replacement was not confirmed
  InputEmpty,         // the input holds no bytes
};

// What went wrong in a failed job.
enum class JobFailure {
  None,
  File,         // reading or writing a file: `systemError`
  OutOfMemory,  // memory ran out, in the job or the engine
  Engine,       // the engine reported another failure
};

// Which of the job's two files a check or failure concerns: a runtime
// failure concerns the output once the job has started writing it, the input
// before that.
enum class JobFile { None, Input, Output };

struct JobResult {
  JobOutcome outcome = JobOutcome::Written;
  JobCheck check = JobCheck::None;        // when Stopped
  JobFailure failure = JobFailure::None;  // when Failed
  JobFile file = JobFile::None;
  // The path of `file`; for a File failure, the path whose operation failed
  // (the input, in the reading mode, may fail while the output is written).
  std::string path;
  int systemError = 0;  // errno of a File failure (ENOENT for InputMissing)
  // A failure in the user's words: "<procedure>: Error <number>: <description>"
  // (FormatError); the number is errno for a File failure, otherwise the
  // engine's error number (kErrorOutOfMemory for memory).
  std::string procedure;
  long errorNumber = 0;
  std::string description;
};

// Process exit status for an outcome: 0, 1, 2.
int ExitStatus(JobOutcome outcome);

// What the window says for a result, word for word: "Done", the check's
// message, or the formatted failure; empty when the user declined.
std::string JobMessage(const JobResult& result);

// The message of a check (kNoInputMessage ...); empty for None and
// OverwriteDeclined.
const char* CheckMessage(JobCheck check);

// The job's messages, word for word.
inline constexpr const char* kNoInputMessage = "You have not selected the input file.";
inline constexpr const char* kNoOutputMessage = "You have not selected the output file.";
inline constexpr const char* kInputMissingMessage = "Input file is missing";
inline constexpr const char* kOverwriteQuestion = "Output file already exists, overwrite?";
inline constexpr const char* kInputEmptyMessage = "Input file is empty!";
inline constexpr const char* kSameFileMessage = "Output file is the input file";
inline constexpr const char* kDoneMessage = "Done";

}  // namespace sievetext
