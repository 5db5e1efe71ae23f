// Fast engine against the literal reference on seeded random documents built
// from the quirk vocabulary, over every combination of the eleven options.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "diff_harness.h"
#include "tests/engine/reference/engine_options.h"
#include "tests/engine/reference/quirk_vocabulary.h"

namespace sievetext::difftest {
namespace {

constexpr unsigned kShards = 16;
constexpr unsigned kMasksPerShard = (kAllOptions + 1) / kShards;
constexpr unsigned kCasesPerMask = 50;  // 2048 * 50 = 102,400 documents per run
constexpr std::size_t kMaxTokens = 24;

// Everything about a case follows from its seed, so a failure can be replayed
// by running DiffCaseForSeed with the printed seed.
DiffCase DiffCaseForSeed(unsigned mask, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  DiffCase c;
  c.options = mask;
  c.input = quirks::RandomDocument(rng, kMaxTokens);
  unsigned pick = rng() % 100;
  if (pick >= 72 && pick < 80) {
    c.action = YieldAction::kChangeOptionsAtEveryYield;
    c.newOptions = unsigned(rng()) & kAllOptions;
  } else if (pick >= 80) {
    c.atYield = 1 + int(rng() % 18);
    if (pick < 92) {
      c.action = YieldAction::kChangeOptions;
      c.newOptions = unsigned(rng()) & kAllOptions;
    } else if (pick < 96) {
      c.action = YieldAction::kThrowError;
    } else {
      c.action = YieldAction::kThrowOther;
    }
  }
  c.origin = "random, seed " + std::to_string(seed);
  return c;
}

// A longer soak for hunting: SIEVETEXT_DIFF_ROUNDS=40 runs forty times as
// many documents (the first round is the one every run makes).
unsigned Rounds() {
  const char* value = std::getenv("SIEVETEXT_DIFF_ROUNDS");
  int n = value != nullptr ? std::atoi(value) : 1;
  return n > 1 ? unsigned(n) : 1u;
}

class RandomDocumentsAgree : public ::testing::TestWithParam<unsigned> {};

TEST_P(RandomDocumentsAgree, OverOneSixteenthOfTheOptionCombinations) {
  int failures = 0;
  const unsigned first = GetParam() * kMasksPerShard;
  for (unsigned mask = first; mask < first + kMasksPerShard; ++mask) {
    for (unsigned i = 0; i < kCasesPerMask * Rounds() && failures < kMaxReportedFailures; ++i) {
      std::uint64_t seed = (std::uint64_t(mask) << 20) | i;
      auto result = SameExtractText(DiffCaseForSeed(mask, seed));
      if (!result) {
        ++failures;
        ADD_FAILURE() << result.message();
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shard, RandomDocumentsAgree, ::testing::Range(0u, kShards));

// Long documents reach the block-wise and look-ahead paths of the fast
// engine that short ones never fill.
TEST(LongRandomDocumentsAgree, OverRandomOptionCombinations) {
  int failures = 0;
  for (unsigned i = 0; i < 2000 * Rounds() && failures < kMaxReportedFailures; ++i) {
    std::uint64_t seed = 0x10000000ull + i;
    std::mt19937_64 rng(seed);
    DiffCase c;
    c.options = unsigned(rng()) & kAllOptions;
    c.input = quirks::RandomDocument(rng, 800);
    c.origin = "long random, seed " + std::to_string(seed);
    auto result = SameExtractText(c);
    if (!result) {
      ++failures;
      ADD_FAILURE() << result.message();
    }
  }
}

// Consolidation alone, with the halving cycles made visible by long runs and
// with character texts of the wrong length.
TEST(RandomConsolidationAgrees, OnRunsOfSpacesAndLineFeeds) {
  std::mt19937_64 rng(20261207);
  const std::u16string chars[] = {u" ", u"\n", u"", u"  ", u"a", u"\xD83D"};
  int failures = 0;
  for (int i = 0; i < 3000 && failures < kMaxReportedFailures; ++i) {
    std::u16string text = quirks::RandomDocument(rng, 10);
    if (rng() % 4 == 0) text.append(std::size_t(rng() % 5000), (rng() & 1) ? u' ' : u'\n');
    auto result = SameConsolidateChar(text, chars[rng() % std::size(chars)],
                                      "consolidation case " + std::to_string(i));
    if (!result) {
      ++failures;
      ADD_FAILURE() << result.message();
    }
    result = SameCutAllTags(text, "tag case " + std::to_string(i));
    if (!result) {
      ++failures;
      ADD_FAILURE() << result.message();
    }
  }
}

}  // namespace
}  // namespace sievetext::difftest
