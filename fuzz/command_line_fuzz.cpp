// Any argument vector and any converted bytes: parsing the arguments never
// fails in a way that is not a usage problem with a reason, and the LF line
// breaks come out the same whole or in pieces cut anywhere, equal to a plain
// "drop each CR that an LF follows".
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cli/arguments.h"
#include "text/line_breaks.h"

namespace {

std::string DropCrBeforeLf(std::string_view bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    out.push_back(bytes[i]);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // Arguments: the bytes split at NUL.
  std::vector<std::string> arguments;
  for (std::size_t start = 0; start <= size && arguments.size() < 64;) {
    const std::size_t end = std::min(bytes.find('\0', start), size);
    arguments.emplace_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  const sievetext::Arguments args = sievetext::ParseArguments(arguments);
  using Action = sievetext::Arguments::Action;
  if ((args.action == Action::Usage) == args.problem.empty()) std::abort();
  if (args.action == Action::Convert && !args.outputFolder && args.paths.size() != 2) std::abort();
  if (args.action == Action::Convert && args.outputFolder && args.paths.empty()) std::abort();
  if (args.jobs > sievetext::kMaxJobs) std::abort();

  // Line breaks: whole, and in pieces whose lengths come from the bytes.
  const std::string expected = DropCrBeforeLf(bytes);
  std::string whole(bytes);
  sievetext::UseLfLineBreaks(whole);
  if (whole != expected) std::abort();
  std::u16string text(bytes.begin(), bytes.end());
  sievetext::UseLfLineBreaks(text);
  if (text != std::u16string(expected.begin(), expected.end())) std::abort();
  std::size_t at = 0;
  std::size_t cut = 0;
  const sievetext::ByteSource source = [&]() -> std::string_view {
    if (at >= size) return {};
    const std::size_t length = std::min<std::size_t>(size - at, 1 + data[cut++ % size] % 7);
    const std::string_view piece = bytes.substr(at, length);
    at += length;
    return piece;
  };
  const sievetext::ByteSource filtered = sievetext::WithLfLineBreaks(source);
  std::string pieces;
  for (std::string_view piece = filtered(); !piece.empty(); piece = filtered())
    pieces.append(piece);
  if (pieces != expected) std::abort();
  return 0;
}
