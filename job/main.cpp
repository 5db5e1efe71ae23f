#include <cstdio>

#include "build_info.h"

// Placeholder entry point; the command-line mode and the window replace it.
int main() {
  std::printf("%s %d.%d\n", sievetext::build_info::kProductName, sievetext::build_info::kMajor,
              sievetext::build_info::kMinor);
  return 0;
}
