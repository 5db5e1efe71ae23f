#include "job/error_reporter.h"

#include <system_error>

namespace sievetext {

std::string FormatError(std::string_view sProcedure, long number, std::string_view description) {
  std::string message;
  message.reserve(sProcedure.size() + description.size() + 32);
  message.append(sProcedure).append(": Error ").append(std::to_string(number)).append(": ");
  message.append(description);
  return message;
}

void ReportError(Prompter& prompter, std::string_view sProcedure, long number,
                 std::string_view description) {
  prompter.say(FormatError(sProcedure, number, description));
}

std::string ErrnoText(int error) { return std::generic_category().message(error); }

}  // namespace sievetext
