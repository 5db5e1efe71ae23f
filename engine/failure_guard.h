#pragma once

#include <string_view>

#include "engine/conversion_reporter.h"

namespace sievetext {

// Reports the exception being handled under `procedure` (when `reporter` is
// set): out of memory, a length limit, a ConversionError with its own number
// and text, or anything else as an interruption. Call only inside a catch.
void ReportCurrentFailure(ConversionReporter* reporter, std::string_view procedure);

// Runs `body` as the whole body of the operation `procedure`: a failure is
// reported under that name and turned into a false result.
template <class Body>
[[nodiscard]] bool RunReported(ConversionReporter* reporter, std::string_view procedure,
                               Body&& body) {
  try {
    body();
    return true;
  } catch (...) {
    ReportCurrentFailure(reporter, procedure);
    return false;
  }
}

}  // namespace sievetext
