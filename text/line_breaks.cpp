#include "text/line_breaks.h"

#include <algorithm>
#include <memory>

namespace sievetext {
namespace {

template <typename Char>
void DropCrBeforeLf(std::basic_string<Char>& text) {
  constexpr Char kCr = Char('\r');
  constexpr Char kLf = Char('\n');
  const auto begin = text.begin();
  const auto end = text.end();
  auto read = std::find(begin, end, kCr);
  auto write = read;
  while (read != end) {
    // `read` is at a CR: drop it when an LF follows, then copy up to the next CR.
    if (read + 1 == end || read[1] != kLf) *write++ = *read;
    ++read;
    const auto nextCr = std::find(read, end, kCr);
    write = std::move(read, nextCr, write);
    read = nextCr;
  }
  text.erase(write, end);
}

}  // namespace

void UseLfLineBreaks(std::u16string& text) { DropCrBeforeLf(text); }
void UseLfLineBreaks(std::string& bytes) { DropCrBeforeLf(bytes); }

}  // namespace sievetext

namespace sievetext {

ByteSource WithLfLineBreaks(ByteSource source) {
  struct State {
    ByteSource source;
    std::string piece;
    bool heldCr = false;  // the last piece ended in a CR, not yet given out
    bool ended = false;
  };
  auto state = std::make_shared<State>();
  state->source = std::move(source);
  return [state]() -> std::string_view {
    std::string& piece = state->piece;
    while (!state->ended) {
      const std::string_view next = state->source();
      piece.clear();
      if (next.empty()) {
        state->ended = true;
        if (state->heldCr) piece.push_back('\r');
        return piece;
      }
      if (state->heldCr && next.front() != '\n') piece.push_back('\r');
      state->heldCr = false;
      piece.append(next);
      if (piece.back() == '\r') {
        state->heldCr = true;
        piece.pop_back();
      }
      UseLfLineBreaks(piece);
      if (!piece.empty()) return piece;
    }
    return {};
  };
}

}  // namespace sievetext
