#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/conversion_reporter.h"

namespace sievetext::testing {

// One failure as the engine reported it.
struct Report {
  std::string procedure;
  long number = 0;
  std::string description;
  bool operator==(const Report&) const = default;
};

// Keeps every report, in order.
class RecordingReporter final : public ConversionReporter {
 public:
  void report(std::string_view procedure, long number, std::string_view description) override {
    reports.push_back({std::string(procedure), number, std::string(description)});
  }
  std::vector<Report> reports;
};

}  // namespace sievetext::testing
