#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/entities/apply_table.h"
#include "engine/entities/key_lookup.h"
#include "engine/entities/rows.h"

namespace sievetext {
namespace {

std::u16string Decode(std::u16string text) {
  ApplyEntityTable(text, {});
  return text;
}

std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

const EntityRow* FindRow(std::u16string_view key) {
  for (const EntityRow& row : EntityRows()) {
    if (row.key == key) return &row;
  }
  return nullptr;
}

TEST(EntityTableRowsTest, KeysAreUniqueWellFormedAndLongerThanTheirReplacements) {
  const auto rows = EntityRows();
  ASSERT_EQ(rows.size(), 323u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const EntityRow& row = rows[i];
    SCOPED_TRACE(std::string(row.key.begin(), row.key.end()));
    ASSERT_GE(row.key.size(), 4u);
    EXPECT_LE(row.key.size(), 8u);
    EXPECT_EQ(row.key[0], u'&');
    EXPECT_EQ(row.key.find(u'&', 1), std::u16string_view::npos);
    EXPECT_LE(row.replacement.size(), 4u);
    EXPECT_LT(row.replacement.size(), row.key.size());
    for (std::size_t j = 0; j < i; ++j) EXPECT_NE(rows[j].key, row.key);
  }
}

TEST(EntityTableRowsTest, GroupsHaveTheirSizesAndMatchModes) {
  // {first row, row count, rows matching exactly}
  struct Group {
    std::u16string_view first;
    std::size_t start, count, exact;
  };
  const Group groups[] = {
      {u"&AElig;", 0, 30, 30}, {u"&aacute;", 30, 32, 32}, {u"&amp;", 62, 46, 1},
      {u"&#9;", 108, 97, 97},  {u"&#131;", 205, 15, 15},  {u"&#160;", 220, 96, 96},
      {u"&nbsp", 316, 7, 0},
  };
  const auto rows = EntityRows();
  for (const Group& g : groups) {
    EXPECT_EQ(rows[g.start].key, g.first);
    std::size_t exact = 0;
    for (std::size_t i = g.start; i < g.start + g.count; ++i) exact += rows[i].exact;
    EXPECT_EQ(exact, g.exact) << "group starting at row " << g.start;
  }
  EXPECT_TRUE(FindRow(u"&mdash;")->exact);
  // Numeric ASCII rows run in ascending order from 32 to 126.
  for (int code = 32; code <= 126; ++code) {
    const EntityRow& row = rows[110 + (code - 32)];
    EXPECT_EQ(row.key, u"&#" + Ascii(std::to_string(code)) + u";");
    EXPECT_EQ(row.replacement, std::u16string(1, char16_t(code)));
  }
}

TEST(EntityTableRowsTest, FlattenedRowsHaveTheirOwnReplacements) {
  const struct {
    std::u16string_view key, replacement;
  } cases[] = {
      {u"&brvbar;", u"|"},   {u"&cdots;", u"..."},   {u"&copy;", u"(c)"},    {u"&emsp;", u" "},
      {u"&endash;", u"-"},   {u"&ensp;", u" "},      {u"&frac12;", u"1/2"},  {u"&frac14;", u"1/4"},
      {u"&frac34;", u"3/4"}, {u"&ldots;", u"..."},   {u"&mdash;", u"-"},     {u"&nbsp;", u" "},
      {u"&ndash;", u"-"},    {u"&not;", u""},        {u"&para;", u""},       {u"&quadsp;", u" "},
      {u"&reg;", u"(r)"},    {u"&sp;", u" "},        {u"&thinsp;", u" "},    {u"&trade;", u"(tm)"},
      {u"&vdots;", u"|"},    {u"&shy;", u"\u00AD"},  {u"&quot;", u"\""},     {u"&#9;", u" "},
      {u"&#10;", u"<br>"},   {u"&#133;", u"..."},    {u"&#139;", u"\u2039"}, {u"&#149;", u"o"},
      {u"&#153;", u"(tm)"},  {u"&#159;", u"\u0178"}, {u"&#160;", u" "},      {u"&#166;", u"\u00A6"},
      {u"&#169;", u"(c)"},   {u"&#172;", u""},       {u"&#173;", u"\u00AD"}, {u"&#182;", u""},
      {u"&#190;", u"3/4"},   {u"&nbsp", u" "},       {u"&#258;", u"\u00C3"}, {u"&#355;", u"\u00FE"},
  };
  for (const auto& c : cases) {
    const EntityRow* row = FindRow(c.key);
    ASSERT_NE(row, nullptr) << std::string(c.key.begin(), c.key.end());
    EXPECT_EQ(row->replacement, c.replacement) << std::string(c.key.begin(), c.key.end());
  }
  for (std::u16string_view missing : {u"&#128;", u"&#152;", u"&#8364;", u"&curren;", u"&uml;"}) {
    EXPECT_EQ(FindRow(missing), nullptr);
  }
}

KeyWindow Window(std::u16string_view units) {
  KeyWindow w;
  for (char16_t c : units) w.units[w.size++] = c;
  return w;
}

TEST(EntityKeyLookupTest, FindsTheFirstMatchingRowFromAGivenRow) {
  const struct {
    std::u16string_view seen;
    std::size_t from;
    std::optional<std::uint16_t> row;
  } cases[] = {
      {u"&Eacute;", 0, 9},
      {u"&eacute;", 0, 38},
      {u"&EAcute;", 0, std::nullopt},
      {u"&ETH;", 0, 8},
      {u"&eth;", 0, 41},
      {u"&Eth;", 0, std::nullopt},
      {u"&AmP;x", 0, 62},
      {u"&amp;", 63, std::nullopt},
      {u"&nbsp;", 0, 85},
      {u"&nbsp;", 86, 316},
      {u"&NBSPx", 0, 316},
      {u"&nbs", 0, std::nullopt},
      {u"&#38;", 0, 116},
      {u"&#038;", 0, std::nullopt},
      {u"&#9;", 0, 108},
      {u"&#1234;", 0, std::nullopt},
      {u"&lt", 0, std::nullopt},
      {std::u16string_view(u"&l\0t;", 5), 0, std::nullopt},
      {u"&\u212Aacute;", 0, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FirstMatchingRow(Window(c.seen), c.from), c.row)
        << std::string(c.seen.begin(), c.seen.end()) << " from " << c.from;
  }
}

struct DecodeCase {
  std::u16string_view in, out;
};

TEST(EntityTableDecodeTest, DecodesByRowOrderAndMatchMode) {
  const DecodeCase cases[] = {
      {u"", u""},
      {u"no entities here", u"no entities here"},
      {u"&Eacute;t&eacute;", u"\u00C9t\u00E9"},
      {u"&EACUTE; &Eacute", u"&EACUTE; &Eacute"},
      {u"&COPY;&Reg;", u"(c)(r)"},
      {u"&MDASH;&NDASH;&mdash;", u"&MDASH;--"},
      {u"&nbsp;&NBSP;&nbsp&nbspx&NbSp", u"    x "},
      {u"&#x41;&#065;&#128;&#8364;", u"&#x41;&#065;&#128;&#8364;"},
      {u"&curren;&uml;&acute;&divide;", u"&curren;&uml;&acute;&divide;"},
      {u"&#164;&#168;&#180;&#247;", u"\u00A4\u00A8\u00B4\u00F7"},
      {u"&#147;Hi&#148;&#149;", u"\"Hi\"o"},
      {u"a&not;b&#182;c", u"abc"},
      {u"a&#10;b&#9;c", u"a<br>b c"},
      // Only ASCII letters fold: the Kelvin sign and a dotless i are no 'k' or 'i'.
      {u"&\u212Aacute; &cop\u0130;", u"&\u212Aacute; &cop\u0130;"},
      {u"&#350;&#351;", u"\u00AA\u00BA"},
      // The worked example at the top of apply_table.h.
      {u"&amp;lt;b&#10;&COPY;&nbspx&eacute;&#38;#33;", u"<b<br>(c) x\u00E9&#33;"},
  };
  for (const DecodeCase& c : cases) {
    EXPECT_EQ(Decode(std::u16string(c.in)), c.out) << std::string(c.in.begin(), c.in.end());
  }
}

TEST(EntityTableDecodeTest, DoublyEscapedTextDecodesOnlyWhereALaterRowSeesIt) {
  const DecodeCase cases[] = {
      {u"&amp;lt;", u"<"},
      {u"&amp;#65;", u"A"},
      {u"&amp;eacute;", u"&eacute;"},
      {u"&amp;amp;", u"&amp;"},
      {u"&AMP;quot;", u"\""},
      {u"&amp;nbsp", u" "},
      {u"&#38;#65;", u"A"},
      {u"&#38;#33;", u"&#33;"},
      {u"&#38;lt;", u"&lt;"},
      {u"&#38;#38;#65;", u"&#38;#65;"},
      {u"&amp;#38;#65;", u"A"},
      {u"&amp;amp;amp;", u"&amp;amp;"},
  };
  for (const DecodeCase& c : cases) {
    EXPECT_EQ(Decode(std::u16string(c.in)), c.out) << std::string(c.in.begin(), c.in.end());
  }
}

TEST(EntityTableDecodeTest, EmptyReplacementsSpliceNewReferences) {
  const DecodeCase cases[] = {
      {u"&#3&not;8;#65;", u"A"},
      {u"&l&not;t;", u"&lt;"},
      {u"&n&not;bsp;", u" ;"},
      {u"&eac&not;ute;", u"&eacute;"},
      {u"&#6&para;5;", u"A"},
      {u"&#6&#172;5;", u"&#65;"},
      {u"&#1&#172;90;", u"3/4"},
      {u"&#1&#172;33;", u"&#133;"},
      {u"&n&not;b&not;s&not;p", u" "},
      {u"&&#35;65;", u"A"},
      {u"&#&#51;&#56;;lt;", u"&#38;lt;"},
  };
  for (const DecodeCase& c : cases) {
    EXPECT_EQ(Decode(std::u16string(c.in)), c.out) << std::string(c.in.begin(), c.in.end());
  }
}

}  // namespace
}  // namespace sievetext
