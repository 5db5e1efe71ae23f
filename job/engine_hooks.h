#pragma once

#include <functional>
#include <utility>

#include "engine/cSievetext.h"
#include "engine/conversion_reporter.h"

namespace sievetext {

// Gives the engine its host's yield and reporter for as long as it lives and
// gives back the ones the engine had before when it ends, an exception
// passing included. Either may be left out (empty, null) to keep the one the
// engine has. Guards nest: a job started from inside a yield puts back what
// the outer job had set.
class EngineHooks {
 public:
  EngineHooks(cSievetext& engine, std::function<void()> yield, ConversionReporter* reporter)
      : engine_(engine), yield_(engine.yield), reporter_(engine.reporter) {
    if (yield) engine_.yield = std::move(yield);
    if (reporter != nullptr) engine_.reporter = reporter;
  }
  EngineHooks(const EngineHooks&) = delete;
  EngineHooks& operator=(const EngineHooks&) = delete;
  ~EngineHooks() {
    engine_.yield = std::move(yield_);
    engine_.reporter = reporter_;
  }

 private:
  cSievetext& engine_;
  std::function<void()> yield_;
  ConversionReporter* reporter_;
};

}  // namespace sievetext
