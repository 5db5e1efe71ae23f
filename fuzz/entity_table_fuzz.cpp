// Feeds the one-sweep entity decoder and the row-by-row reference the same
// text and aborts when they disagree, at the end or at the yield where the
// run is stopped by an exception.
//
// Input layout: byte 0 chooses the yield that throws (0 to 8; any other value
// lets all nine pass). The further bytes make the generator's choices, piece
// after piece, the same pieces the differential test draws at random. The
// text is also decoded in small blocks, whose size follows from its length,
// once keeping what a throwing yield must leave and once in place, keeping
// nothing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>

#include "engine/entities/test_entry_points.h"
#include "tests/engine/entity_reference.h"
#include "tests/support/entity_texts.h"
#include "tests/support/throwing_yield.h"

namespace {

constexpr std::size_t kMaxTextLength = 20000;

// Choices for the generator, taken from the input's bytes: one byte for up to
// 256 choices, two for more; 0 once the bytes run out.
class BytePicker {
 public:
  BytePicker(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool done() const { return at_ >= size_; }
  std::size_t pick(std::size_t n) {
    std::size_t value = next();
    if (n > 256) value = value << 8 | next();
    return value % n;
  }

 private:
  std::size_t next() { return at_ < size_ ? data_[at_++] : 0; }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

using sievetext::testing::RunStoppingAt;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int stopAt = data[0];
  BytePicker bytes(data + 1, size - 1);
  sievetext::testing::EntityTextGenerator generator(
      [&bytes](std::size_t n) { return bytes.pick(n); });
  std::u16string input;
  while (!bytes.done()) input += generator.piece();
  if (input.size() > kMaxTextLength) return 0;
  int expectedCalls = 0, calls = 0;
  const std::u16string expected =
      RunStoppingAt(sievetext::testing::ReferenceApplyEntityTable, input, stopAt, &expectedCalls);
  const std::u16string actual = RunStoppingAt(
      [](std::u16string& text, const std::function<void()>& yield) {
        sievetext::ApplyEntityTable(text, yield);
      },
      input, stopAt, &calls);
  if (actual != expected || calls != expectedCalls) {
    std::fprintf(stderr, "entity decoder differs from the reference (%zu units, stop at %d)\n",
                 input.size(), stopAt);
    std::abort();
  }
  const std::size_t blockUnits = 1 + input.size() % 32;
  const auto blocked = [blockUnits](std::u16string& text, const std::function<void()>& yield) {
    sievetext::ApplyEntityTableInBlocks(text, yield, blockUnits);
  };
  const std::u16string actualBlocked = RunStoppingAt(blocked, input, stopAt, &calls);
  if (actualBlocked != expected || calls != expectedCalls) {
    std::fprintf(stderr,
                 "entity decoder in blocks of %zu differs from the reference (%zu units, stop at "
                 "%d)\n",
                 blockUnits, input.size(), stopAt);
    std::abort();
  }
  // In place, keeping nothing for a throwing yield: the text is then dropped,
  // so only the calls are compared; a run that is not stopped must match.
  const auto inPlace = [blockUnits](std::u16string& text, const std::function<void()>& yield) {
    sievetext::ApplyEntityTableInBlocks(text, yield, blockUnits,
                                        sievetext::EntityTextAfterThrow::Unspecified);
  };
  const std::u16string actualInPlace = RunStoppingAt(inPlace, input, stopAt, &calls);
  const bool stopped = stopAt < expectedCalls;
  if ((!stopped && actualInPlace != expected) || calls != expectedCalls) {
    std::fprintf(stderr,
                 "entity decoder in place in blocks of %zu differs from the reference (%zu "
                 "units, stop at %d)\n",
                 blockUnits, input.size(), stopAt);
    std::abort();
  }
  return 0;
}
