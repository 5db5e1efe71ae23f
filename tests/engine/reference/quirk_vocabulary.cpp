#include "tests/engine/reference/quirk_vocabulary.h"

#include <cstdio>

#include "engine/entities/rows.h"

namespace sievetext::quirks {
namespace {

std::u16string AsciiUpper(std::u16string s) {
  for (auto& c : s)
    if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
  return s;
}

std::u16string AsciiLower(std::u16string s) {
  for (auto& c : s)
    if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
  return s;
}

const char16_t* const kEmptyingRefs[] = {u"&not;", u"&para;", u"&#172;", u"&#182;"};

// Plain text and single characters that surround the interesting tokens.
const char16_t* const kFiller[] = {
    u"a", u"x", u"b c", u"word", u" ", u"  ", u"\n", u"\r\n", u"\r", u"\t",     u"<",     u">",
    u"&", u";", u"#",   u"-",    u"!", u"s",  u"S",  u"k",    u"K",  u"\u00e9", u"\n \n", u" \n",
};

}  // namespace

// clang-format off
const std::vector<std::u16string>& FixedTokens() {
  static const std::vector<std::u16string> tokens = {
      // Script markers in mixed case, whole and cut short, and failing pairs.
      u"<script", u"<ScRiPt", u"<SCRIPT>", u"<script>", u"/script>", u"/SCRIPT>", u"/ScRiPt>",
      u"</script>", u"<scrip", u"t>", u"/scrip", u"<script/script>", u"<script>/script>",
      u"<script>x/script>", u"<scripts", u"<\u017fcript", u"<\u017FCRIPT",
      // Style markers.
      u"<style", u"<STYLE", u"<StYlE>", u"/style>", u"/STYLE>", u"</style>", u"<style/style>",
      u"<style>/style>", u"<styl", u"e>",
      // Comment markers, overlapping forms and pieces of them.
      u"<!--", u"-->", u"!--", u"<!-->", u"<!--->", u"<!---->", u"<!-- x -->", u"<!", u"--",
      u"->", u"<!--<!--", u"--->",
      // Tags.
      u"<p>", u"</p>", u"<br>", u"<a href=\"x>y\">", u"<<", u">>", u"<<<<",
      // The word always replaced, also inside longer words and with letters that
      // fold to ASCII only under Unicode rules.
      u"msnavigation", u"MsNavigation", u"MSNAVIGATION", u"xmsnavigationx",
      u"msnavigatio", u"n", u"m\u017fnavigation", u"MSNAVIGATION\u212A",
      // Braces, pipes, tabs.
      u"{", u"}", u"{}", u"{a{b}c}", u"|", u"||", u"\t", u"\t\t",
      // Line breaks and spaces.
      u"\r", u"\n", u"\r\n", u"\n\r", u"\r\n\r\n", u" \r\n", u"\n \n", u"   ", u" \n ",
      // Entities and pieces that join into entities.
      u"&amp;", u"&AMP;", u"&#38;", u"#65;", u"lt;", u"gt;", u"&", u";", u"&amp;amp;",
      u"&#38;#38;", u"&#38;#65;", u"&#38;#33;", u"&amp;#65;", u"&amp;lt;", u"&nbsp", u"&NBSP;",
      u"&nbspx", u"&not;", u"&para;", u"&#172;", u"&#182;", u"&#10;", u"&#9;", u"&#x41;",
      u"&#065;", u"&#128;", u"&#8364;", u"&MDASH;", u"&mdash;", u"&#60;script>",
      u"&lt;script&gt;", u"&lt;!--", u"--&gt;", u"&#124;", u"&#123;", u"&#125;",
      // Non-ASCII: e acute, Kelvin sign, long s, a surrogate pair, lone halves.
      u"\u00e9", u"\u212a", u"\u017f", u"\xD83D\xDE00", u"\xD83D", u"\xDE00", u"\u00A0",
  };
  return tokens;
}

// clang-format on

const std::vector<std::u16string>& EntityTokens() {
  static const std::vector<std::u16string> tokens = [] {
    std::vector<std::u16string> out;
    for (const auto& row : EntityRows()) {
      std::u16string key(row.key);
      std::u16string tail = key.substr(1);
      out.push_back(key);
      out.push_back(AsciiUpper(key));
      out.push_back(AsciiLower(key));
      if (key.back() == u';') out.push_back(key.substr(0, key.size() - 1));
      // Built by appending: operator+ on a literal trips a false -Wrestrict
      // in some compilers at -O3.
      auto joined = [](std::u16string_view a, std::u16string_view b, std::u16string_view c) {
        std::u16string s(a);
        s.append(b).append(c);
        return s;
      };
      std::size_t cut = key.size() / 2;
      out.push_back(joined(u"&amp;", tail, u""));
      out.push_back(joined(u"&#38;", tail, u""));
      out.push_back(joined(key.substr(0, cut), kEmptyingRefs[key.size() % 4], key.substr(cut)));
      out.push_back(joined(u"&", kEmptyingRefs[(key.size() + 1) % 4], tail));
    }
    return out;
  }();
  return tokens;
}

std::u16string RandomDocument(std::mt19937_64& rng, std::size_t maxTokens) {
  const auto& fixed = FixedTokens();
  const auto& entities = EntityTokens();
  std::size_t count = std::uniform_int_distribution<std::size_t>(0, maxTokens)(rng);
  // One document in forty gets a run longer than one cycle of ten halving
  // passes can shrink, somewhere among its tokens.
  std::size_t longRunAt = (rng() % 40 == 0) ? std::size_t(rng() % (count + 1)) : count + 1;
  std::u16string text;
  for (std::size_t i = 0; i <= count; ++i) {
    if (i == longRunAt) {
      std::size_t run = std::uniform_int_distribution<std::size_t>(1000, 2600)(rng);
      text.append(run, (rng() & 1) ? u' ' : u'\n');
    }
    if (i == count) break;
    unsigned kind = unsigned(rng() % 100);
    if (kind < 42) {
      text += fixed[rng() % fixed.size()];
    } else if (kind < 62) {
      text += entities[rng() % entities.size()];
    } else {
      text += kFiller[rng() % std::size(kFiller)];
    }
  }
  return text;
}

std::size_t TokenCount() { return FixedTokens().size() + EntityTokens().size(); }

namespace {

const std::u16string& TokenAt(std::size_t index) {
  const auto& fixed = FixedTokens();
  if (index < fixed.size()) return fixed[index];
  return EntityTokens()[index - fixed.size()];
}

// Control bytes standing for units that cannot be typed as ASCII.
char16_t UnitForByte(std::uint8_t b) {
  switch (b) {
    case 0x01:
      return u'\u00e9';
    case 0x02:
      return u'\u212a';
    case 0x03:
      return u'\u017f';
    case 0x04:
      return char16_t(0xD83D);
    case 0x05:
      return char16_t(0xDE00);
    default:
      return char16_t(b);
  }
}

}  // namespace

std::u16string TextFromBytes(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  std::size_t i = 0;
  while (i < size) {
    std::uint8_t b = data[i++];
    if (b < 0x80) {
      if (b == 0x06) {
        text.append(1100, u' ');
      } else if (b == 0x07) {
        text.append(1100, u'\n');
      } else {
        text += UnitForByte(b);
      }
      continue;
    }
    std::size_t index = std::size_t(b & 0x7F) << 8;
    if (i < size) index |= data[i++];
    text += TokenAt(index % TokenCount());
  }
  return text;
}

std::string BytesForToken(std::size_t tokenIndex) {
  // TokenCount() stays below 0x8000, so the index fits the two bytes.
  std::string out;
  out += char(0x80 | ((tokenIndex >> 8) & 0x7F));
  out += char(tokenIndex & 0xFF);
  return out;
}

}  // namespace sievetext::quirks
