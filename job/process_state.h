#pragma once

#include <memory>
#include <string>

#include "cSievetext.h"

namespace sievetext {

// The process-wide state: one of each for the whole run.
struct ProcessState {
  std::string sAppPath;      // the program's folder, symbolic links resolved, ending in "/"
  bool bCommandLine = false;  // true when started with arguments
  std::string sInputFile;
  std::string sOutputFile;
  std::unique_ptr<cSievetext> oRemover;  // the one engine, from Main to EndProgram
};

}  // namespace sievetext
