#include "platform/diagnostics.h"

#include <system_error>

#include "platform/file_system.h"

namespace sievetext {

void StandardErrorSink::line(const std::string& text) {
  if (quiet_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_ || WriteToDescriptor(2, text + "\n") != 0) failed_ = true;
}

std::string MessageLine(std::string_view file, std::string_view text) {
  std::string line = "sievetext: ";
  if (!file.empty()) line.append(file).append(": ");
  line.append(text);
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return line;
}

std::string ErrnoText(int error) { return std::generic_category().message(error); }

}  // namespace sievetext
