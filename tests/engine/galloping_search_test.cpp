// The galloping search finds what a plain partition point finds, wherever the
// answer lies: at the start, on a doubling step, just before or after one, at
// the end.

#include "engine/galloping_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace sievetext {
namespace {

TEST(GallopingSearchTest, FindsThePartitionPointAtEveryPlaceInEveryLength) {
  for (int n = 0; n <= 70; ++n) {
    for (int k = 0; k <= n; ++k) {
      std::vector<int> v(static_cast<std::size_t>(n));
      for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = i < k ? 0 : 1;
      const auto isZero = [](int x) { return x == 0; };
      EXPECT_EQ(GallopingPartitionPoint(v.begin(), v.end(), isZero) - v.begin(), k)
          << k << " of " << n;
      EXPECT_EQ(
          GallopingPartitionPoint(v.rbegin(), v.rend(), [](int x) { return x == 1; }) - v.rbegin(),
          n - k)
          << k << " of " << n << ", backwards";
    }
  }
}

}  // namespace
}  // namespace sievetext
