#include "engine/failure_guard.h"

#include <cassert>
#include <exception>
#include <new>
#include <stdexcept>

namespace sievetext {

void ReportCurrentFailure(ConversionReporter* reporter, std::string_view procedure) {
  assert(std::current_exception() != nullptr);
  if (reporter == nullptr) return;
  // No allocation here: this may run because memory ran out.
  long number = kErrorInterrupted;
  std::string_view description = "Conversion interrupted";
  try {
    throw;
  } catch (const ConversionError& e) {
    number = e.number();
    description = e.what();
  } catch (const std::bad_alloc&) {
    number = kErrorOutOfMemory;
    description = kErrorOutOfMemoryText;
  } catch (const std::length_error&) {
    // A text too long for the library to hold: memory by another name, as
    // the job and the library call it.
    number = kErrorOutOfMemory;
    description = kErrorOutOfMemoryText;
  } catch (const std::exception& e) {
    if (*e.what() != '\0') description = e.what();
  } catch (...) {
  }
  reporter->report(procedure, number, description);
}

}  // namespace sievetext
