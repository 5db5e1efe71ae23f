#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace sievetext {

// Receives problems found during a conversion. The engine reports a failure
// once, from the innermost of its named operations that is running, and then
// returns the text that operation promises (see cSievetext).
class ConversionReporter {
 public:
  ConversionReporter() = default;
  ConversionReporter(const ConversionReporter&) = delete;
  ConversionReporter& operator=(const ConversionReporter&) = delete;
  virtual ~ConversionReporter() = default;

  // `procedure` is the failing operation's own name, e.g. "CutHTML".
  virtual void report(std::string_view procedure, long number, std::string_view description) = 0;
};

// Error numbers the engine reports. The numbers are this program's own.
// Allocation failed, anywhere in a job, or a text grew past what the library
// can hold (memory by another name): one number for both, here, in the job
// and in the library.
inline constexpr long kErrorOutOfMemory = 7;
inline constexpr std::string_view kErrorOutOfMemoryText = "Out of memory";
inline constexpr long kErrorInterrupted = 18;  // the yield callback threw something unrecognised

// A yield callback may throw this to stop a conversion with its own number and
// description; anything else it throws is reported as kErrorInterrupted.
class ConversionError : public std::runtime_error {
 public:
  ConversionError(long number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  long number() const { return number_; }

 private:
  long number_;
};

}  // namespace sievetext
