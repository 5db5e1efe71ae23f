// The vector searches and counts give the plain loops' answers at every
// length and offset, also past the counters' limits.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <random>
#include <string>

#include "engine/text_scan.h"

namespace sievetext {
namespace {

TEST(TextScanTest, CountUnitCountsEveryHitOverLongTexts) {
  std::mt19937 random(7);
  // Long enough that a lane's counter would overflow in a single run.
  std::u16string text(8 * 0x7FFF * 2 + 37, u'a');
  for (char16_t& c : text) c = random() % 3 == 0 ? u'\n' : u'a';
  std::fill(text.begin() + 1000, text.begin() + 1000 + 8 * 0x8000, u'\n');
  for (std::size_t from : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{999}}) {
    for (std::size_t to : {text.size(), text.size() - 5, std::size_t{8 * 0x7FFF + 3}, from}) {
      EXPECT_EQ(scan::CountUnit(text.data(), from, to, u'\n'),
                static_cast<std::size_t>(std::count(text.begin() + from, text.begin() + to, u'\n')))
          << from << ".." << to;
    }
  }
}

}  // namespace
}  // namespace sievetext
