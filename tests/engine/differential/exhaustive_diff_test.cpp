// Fast engine against the literal reference on every short string over two
// small alphabets: single characters that build markers, and whole tokens
// that build script, style and entity quirks.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "diff_harness.h"
#include "tests/engine/reference/engine_options.h"

namespace sievetext::difftest {
namespace {

// Calls `visit` with every string of up to `maxLength` pieces of `alphabet`.
template <class Visit>
void ForEachString(const std::vector<std::u16string>& alphabet, int maxLength, Visit visit) {
  std::vector<std::size_t> digits;
  for (int length = 0; length <= maxLength; ++length) {
    digits.assign(std::size_t(length), 0);
    for (;;) {
      std::u16string text;
      for (std::size_t d : digits) text += alphabet[d];
      if (!visit(text)) return;
      std::size_t pos = 0;
      while (pos < digits.size() && ++digits[pos] == alphabet.size()) digits[pos++] = 0;
      if (pos == digits.size()) break;
    }
  }
}

const std::vector<std::u16string> kCharacters = {u"<", u">", u"!", u"-", u"&",
                                                 u";", u"a", u" ", u"\n"};

const std::vector<std::u16string> kTokens = {
    u"<script", u"/script>", u"<STYLE", u"/style>", u"x", u"<", u">",
    u"&amp;",   u"&not;",    u"lt;",    u"#65;",    u"{", u"}",
};

struct OptionSet {
  const char* name;
  unsigned mask;
};

void PrintTo(const OptionSet& set, std::ostream* os) { *os << set.name; }

std::string SetName(const ::testing::TestParamInfo<OptionSet>& info) { return info.param.name; }

void RunAll(const std::vector<std::u16string>& alphabet, int maxLength, unsigned mask,
            const char* alphabetName) {
  int failures = 0;
  long index = 0;
  ForEachString(alphabet, maxLength, [&](const std::u16string& text) {
    DiffCase c;
    c.input = text;
    c.options = mask;
    c.origin = std::string(alphabetName) + " string #" + std::to_string(index);
    auto result = SameExtractText(c);
    if (!result) {
      ++failures;
      ADD_FAILURE() << result.message();
    }
    ++index;
    return failures < kMaxReportedFailures;
  });
}

// The character alphabet holds no letter of any entity key but "a", so the
// table matters to it only together with the other steps.
const OptionSet kCharacterOptionSets[] = {
    {"AllOn", kAllOptions},
    {"AllOff", 0},
    {"CommentsOnly", kComments},
    {"TagsOnly", kAllTags},
    {"CommentsAndTags", kComments | kAllTags},
    {"BlankLinesOnly", kBlankLines},
    {"SpacesAndBlankLines", kSpaces | kBlankLines},
    {"AllCRLFAndSpaces", kAllCRLF | kSpaces},
    {"AllButEntities", kAllOptions & ~kEntities},
};

const OptionSet kTokenOptionSets[] = {
    {"AllOn", kAllOptions},
    {"AllOff", 0},
    {"ScriptsOnly", kScripts},
    {"StylesOnly", kStyles},
    {"ScriptsStylesFunctions", kScripts | kStyles | kFunctions},
    {"EntitiesOnly", kEntities},
    {"AllButEntities", kAllOptions & ~kEntities},
};

class ShortCharacterStringsAgree : public ::testing::TestWithParam<OptionSet> {};

TEST_P(ShortCharacterStringsAgree, UpToFiveCharacters) {
  RunAll(kCharacters, 5, GetParam().mask, "character");
}

INSTANTIATE_TEST_SUITE_P(Options, ShortCharacterStringsAgree,
                         ::testing::ValuesIn(kCharacterOptionSets), SetName);

class ShortTokenStringsAgree : public ::testing::TestWithParam<OptionSet> {};

TEST_P(ShortTokenStringsAgree, UpToFourTokens) { RunAll(kTokens, 4, GetParam().mask, "token"); }

INSTANTIATE_TEST_SUITE_P(Options, ShortTokenStringsAgree, ::testing::ValuesIn(kTokenOptionSets),
                         SetName);

// Cuts that join the text before and after them into a new opening marker,
// up to six units before the cut, and pairs too short to cut next to them.
const std::vector<std::u16string> kJoinTokens = {
    u"<scr", u"ipt", u"<SCRIPT>x</script>", u"/script>",
    u"<sty", u"le",  u"<style>/Style>",     u"<script/script>",
    u"x",
};

const OptionSet kJoinOptionSets[] = {
    {"ScriptsOnly", kScripts},
    {"StylesOnly", kStyles},
    {"ScriptsAndStyles", kScripts | kStyles},
};

class JoinedMarkersAgree : public ::testing::TestWithParam<OptionSet> {};

TEST_P(JoinedMarkersAgree, UpToFourTokens) { RunAll(kJoinTokens, 4, GetParam().mask, "join"); }

INSTANTIATE_TEST_SUITE_P(Options, JoinedMarkersAgree, ::testing::ValuesIn(kJoinOptionSets),
                         SetName);

TEST(ShortStringsAgree, ConsolidationAndTagsUpToFiveCharacters) {
  int failures = 0;
  ForEachString(kCharacters, 5, [&](const std::u16string& text) {
    for (const char16_t* ch : {u" ", u"\n"}) {
      auto result = SameConsolidateChar(text, ch, "exhaustive");
      if (!result) {
        ++failures;
        ADD_FAILURE() << result.message();
      }
    }
    auto result = SameCutAllTags(text, "exhaustive");
    if (!result) {
      ++failures;
      ADD_FAILURE() << result.message();
    }
    return failures < kMaxReportedFailures;
  });
}

}  // namespace
}  // namespace sievetext::difftest
