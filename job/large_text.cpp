#include "job/large_text.h"

#include <sys/mman.h>

#include <cstdint>

namespace sievetext {
namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;
constexpr std::size_t kPage = 4096;
// Below this a text is served from the ordinary heap, whose pages are reused.
constexpr std::size_t kLargeTextBytes = 4 * kLargePage;
// What the allocator adds to a block it maps on its own: the block's header
// and the string's terminator, with some slack. Asking for a whole number of
// large pages less this lets the system place the block on large-page bounds.
constexpr std::size_t kBlockOverhead = 64;

}  // namespace

void ReserveLargeText(std::u16string& text, std::size_t units) {
  if (units > text.max_size()) units = text.max_size();
  const std::size_t bytes = units * sizeof(char16_t);
  if (bytes < kLargeTextBytes) {
    text.reserve(units);
    return;
  }
  const std::size_t whole = (bytes + kBlockOverhead + kLargePage - 1) / kLargePage * kLargePage;
  text.reserve((whole - kBlockOverhead) / sizeof(char16_t));
  // Only an advice: where large pages are not offered, nothing changes.
  const auto begin = reinterpret_cast<std::uintptr_t>(text.data()) & ~(kPage - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(text.data() + text.capacity()) + kPage - 1) &
                   ~(kPage - 1);
  ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace sievetext
