// The vector searches, counts and moves give the plain loops' answers at
// every length and offset, also past the counters' limits.

#include "engine/text_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <random>
#include <string>

namespace sievetext {
namespace {

TEST(TextScanTest, CountUnitCountsEveryHitOverLongTexts) {
  std::mt19937 random(7);
  // Long enough that a lane's counter would overflow in a single run.
  std::u16string text(8 * 0x7FFF * 2 + 37, u'a');
  for (char16_t& c : text) c = random() % 3 == 0 ? u'\n' : u'a';
  std::fill(text.begin() + 1000, text.begin() + 1000 + std::ptrdiff_t{8} * 0x8000, u'\n');
  for (std::size_t from : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{999}}) {
    for (std::size_t to : {text.size(), text.size() - 5, std::size_t{8 * 0x7FFF + 3}, from}) {
      EXPECT_EQ(scan::CountUnit(text.data(), from, to, u'\n'),
                static_cast<std::size_t>(std::count(text.begin() + from, text.begin() + to, u'\n')))
          << from << ".." << to;
    }
  }
}

TEST(TextScanTest, MoveUntilMovesDownToTheFirstHitAtEveryDistance) {
  // Moving down over itself, the vector loop stores where it has already
  // loaded; whatever the distance, what lies at and after the hit must stay
  // as it was, and what came before it must arrive whole.
  std::mt19937 random(11);
  for (std::size_t distance : {0, 1, 2, 7, 8, 9, 16, 40}) {
    for (std::size_t hit : {0, 1, 7, 8, 15, 16, 33, 70, 200}) {
      std::u16string text(210, u'a');
      for (char16_t& c : text) c = static_cast<char16_t>(u'a' + random() % 20);
      const bool found = hit < text.size() - distance;
      if (found) text[distance + hit] = u'&';
      const std::u16string before = text;
      const std::size_t at = scan::MoveUntil(text.data(), distance, text.size(), text.data(), u'&');
      ASSERT_EQ(at, found ? distance + hit : scan::kNotFound) << distance << " " << hit;
      const std::size_t moved = (found ? at : text.size()) - distance;
      EXPECT_EQ(text.substr(0, moved), before.substr(distance, moved)) << distance << " " << hit;
      if (found) {
        EXPECT_EQ(text.substr(at), before.substr(at)) << distance << " " << hit;
      }
    }
  }
}

}  // namespace
}  // namespace sievetext
