#include "job/job_result.h"

#include "job/error_reporter.h"

namespace sievetext {

int ExitStatus(JobOutcome outcome) {
  switch (outcome) {
    case JobOutcome::Written:
      return 0;
    case JobOutcome::Stopped:
      return 1;
    case JobOutcome::Failed:
      break;
  }
  return 2;
}

const char* CheckMessage(JobCheck check) {
  switch (check) {
    case JobCheck::NoInput:
      return kNoInputMessage;
    case JobCheck::NoOutput:
      return kNoOutputMessage;
    case JobCheck::InputMissing:
      return kInputMissingMessage;
    case JobCheck::SameFile:
      return kSameFileMessage;
    case JobCheck::InputEmpty:
      return kInputEmptyMessage;
    case JobCheck::None:
    case JobCheck::OverwriteDeclined:
      break;
  }
  return "";
}

std::string JobMessage(const JobResult& result) {
  switch (result.outcome) {
    case JobOutcome::Written:
      return kDoneMessage;
    case JobOutcome::Stopped:
      return CheckMessage(result.check);
    case JobOutcome::Failed:
      break;
  }
  return FormatError(result.procedure, result.errorNumber, result.description);
}

}  // namespace sievetext
