#include "platform/large_text.h"

#include <sys/mman.h>

#include <algorithm>
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
// Asks for pages to be made one large page now (Linux 6.1 on; older systems
// refuse it, which costs nothing). Not every C library names it yet.
#ifdef MADV_COLLAPSE
constexpr int kCollapse = MADV_COLLAPSE;
#else
constexpr int kCollapse = 25;
#endif

// The page at a page-aligned address, for madvise(2), which only advises on
// the mapping and never reads or writes through the pointer.
void* PageAt(std::uintptr_t address) {
  return reinterpret_cast<void*>(address);  // NOLINT(performance-no-int-to-ptr)
}

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
  const auto end =
      (reinterpret_cast<std::uintptr_t>(text.data() + text.capacity()) + kPage - 1) & ~(kPage - 1);
  ::madvise(PageAt(begin), end - begin, MADV_HUGEPAGE);
  // The allocator wrote its header before the advice, so the block's first
  // large page is already mapped in small pages and would stay so: 511 more
  // faults. Have it made one large page now where the system can.
  // Only when that page starts within the allocator's header, so it surely
  // belongs to this block.
  const auto data = reinterpret_cast<std::uintptr_t>(text.data());
  const std::uintptr_t first = data & ~(kLargePage - 1);
  if (data - first <= kBlockOverhead && first + kLargePage <= end)
    ::madvise(PageAt(first), kLargePage, kCollapse);
}

void MoveLargeText(std::u16string& text, std::size_t length, std::size_t units) {
  length = std::min(length, text.size());
  std::u16string moved;
  ReserveLargeText(moved, std::max(units, length));
  // A long text is handed over a large page at a time, each whole page of the
  // old block given back once copied: its content is discarded right after.
  // The block's first page, which may hold the allocator's own header, is
  // kept, as is anything past the copied units.
  const bool giveBack = text.capacity() * sizeof(char16_t) >= kLargeTextBytes;
  const auto start = reinterpret_cast<std::uintptr_t>(text.data());
  const std::uintptr_t firstWhole = (start + kPage - 1) & ~(kPage - 1);
  constexpr std::size_t kStep = kLargePage / sizeof(char16_t);
  for (std::size_t at = 0; at < length; at += kStep) {
    const std::size_t n = std::min(kStep, length - at);
    moved.append(text.data() + at, n);
    if (!giveBack) continue;
    const std::uintptr_t done = (start + (at + n) * sizeof(char16_t)) & ~(kPage - 1);
    const std::uintptr_t from =
        std::max(firstWhole, (start + at * sizeof(char16_t)) & ~(kPage - 1));
    if (done > from) ::madvise(PageAt(from), done - from, MADV_DONTNEED);
  }
  text.swap(moved);
}

}  // namespace sievetext
