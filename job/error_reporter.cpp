#include "job/error_reporter.h"

namespace sievetext {

std::string FormatError(std::string_view sProcedure, long number, std::string_view description) {
  std::string message;
  message.reserve(sProcedure.size() + description.size() + 32);
  message.append(sProcedure).append(": Error ").append(std::to_string(number)).append(": ");
  message.append(description);
  return message;
}

}  // namespace sievetext
