#pragma once

#include <algorithm>
#include <cstddef>

namespace sievetext {

// std::partition_point for an answer that is usually near `first`: the steps
// double from there, so it costs the logarithm of the distance to the answer
// rather than of the whole range.
template <typename It, typename Pred>
It GallopingPartitionPoint(It first, It last, Pred pred) {
  const std::ptrdiff_t n = last - first;
  std::ptrdiff_t bound = 1;
  while (bound <= n && pred(first[bound - 1])) bound *= 2;
  // pred holds before first + bound / 2, and fails at first + bound - 1 if
  // that is in the range.
  return std::partition_point(first + bound / 2, first + std::min(bound - 1, n), pred);
}

}  // namespace sievetext
