#include "text/line_breaks.h"

#include <gtest/gtest.h>

#include "settings/option_names.h"

namespace sievetext {
namespace {

std::string Drain(const ByteSource& source) {
  std::string bytes;
  for (std::string_view piece = source(); !piece.empty(); piece = source()) bytes.append(piece);
  return bytes;
}

TEST(LfLineBreaksTest, OnlyCrLfPairsLoseTheirCr) {
  const struct {
    std::string in;
    std::string out;
  } rows[] = {
      {"", ""},
      {"no breaks", "no breaks"},
      {"a\r\nb\r\n", "a\nb\n"},
      {"\r\n\r\n\r\n", "\n\n\n"},
      {"lone\rcr\r", "lone\rcr\r"},
      {"\r\r\n\n\r", "\r\n\n\r"},
      {"lf\nonly", "lf\nonly"},
      {"caf\xC3\xA9\r\n\xE2\x82\xAC", "caf\xC3\xA9\n\xE2\x82\xAC"},
  };
  for (const auto& row : rows) {
    std::string bytes = row.in;
    UseLfLineBreaks(bytes);
    EXPECT_EQ(bytes, row.out) << row.in;
    std::u16string text(row.in.begin(), row.in.end());
    UseLfLineBreaks(text);
    EXPECT_EQ(text, std::u16string(row.out.begin(), row.out.end())) << row.in;
  }
}

// Pieces may end between the CR and the LF, or be a lone CR; the result
// must not depend on where the source happens to cut.
TEST(LfLineBreaksTest, PiecesGiveTheSameBytesWhereverTheyAreCut) {
  const std::string whole = "a\r\n\r\rb\r\n\r\nc\r";
  std::string expected = whole;
  UseLfLineBreaks(expected);
  for (std::size_t mask = 0; mask < (std::size_t{1} << (whole.size() - 1)); ++mask) {
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < whole.size(); ++i) {
      pieces.back().push_back(whole[i]);
      if (mask & (std::size_t{1} << i)) pieces.emplace_back();
    }
    std::size_t next = 0;
    const ByteSource source = [&pieces, &next]() -> std::string_view {
      return next < pieces.size() ? std::string_view(pieces[next++]) : std::string_view();
    };
    ASSERT_EQ(Drain(WithLfLineBreaks(source)), expected) << "cut mask " << mask;
  }
  EXPECT_EQ(Drain(WithLfLineBreaks(WholeSource(""))), "");
}

TEST(OptionNamesTest, NamesInAnyCaseAndAll) {
  ASSERT_EQ(OptionsNamed("RemoveTabs").size(), 1u);
  EXPECT_EQ(OptionsNamed("removetabs")[0].key, OptionKey::RemoveTabs);
  EXPECT_EQ(OptionsNamed("GENERATESPECIALCHARS")[0].key, OptionKey::GenerateSpecialChars);
  EXPECT_EQ(OptionsNamed("All").size(), kOptions.size());
  for (const char* unknown : {"", "Remove", "RemoveTabsX", "chkRemoveTabs", "none", " all"}) {
    EXPECT_TRUE(OptionsNamed(unknown).empty()) << unknown;
  }
}

TEST(OptionNamesTest, LaterEditsWin) {
  OptionModel boxes;
  for (const OptionInfo& option : kOptions) boxes.setValue(option.key, 1);
  ApplyOptionEdits({{OptionsNamed("all"), false},
                    {OptionsNamed("removetabs"), true},
                    {OptionsNamed("RemovePipe"), true},
                    {OptionsNamed("removepipe"), false}},
                   boxes);
  for (const OptionInfo& option : kOptions) {
    EXPECT_EQ(boxes.value(option.key), option.key == OptionKey::RemoveTabs ? 1 : 0) << option.name;
  }
}

}  // namespace
}  // namespace sievetext
