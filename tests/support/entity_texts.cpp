#include "tests/support/entity_texts.h"

#include <random>
#include <string_view>

#include "engine/entities/rows.h"

namespace sievetext::testing {
namespace {

char16_t FlipCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return char16_t(c - 32);
  if (c >= u'A' && c <= u'Z') return char16_t(c + 32);
  return c;
}

}  // namespace

EntityTextGenerator::EntityTextGenerator(unsigned seed)
    : pick_([rng = std::mt19937(seed)](std::size_t n) mutable {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
      }) {}

std::u16string EntityTextGenerator::text(std::size_t maxPieces) {
  std::u16string out;
  const std::size_t pieces = pick_(maxPieces) + 1;
  for (std::size_t i = 0; i < pieces; ++i) out += piece();
  return out;
}

std::u16string EntityTextGenerator::piece() {
  static const std::u16string_view kSplitters[] = {u"&not;",  u"&para;", u"&#172;",
                                                   u"&#182;", u"&NOT;",  u"&Para;"};
  static const std::u16string_view kEscapes[] = {u"&amp;", u"&#38;", u"&AMP;", u"&amp;amp;"};
  static const std::u16string_view kSmall[] = {
      u"&",          u"#",      u";",  u"3",  u"8",      u"6",      u"5",      u"1",
      u"0",          u"a",      u"m",  u"p",  u"l",      u"t",      u"n",      u"b",
      u"s",          u"N",      u"B",  u" ",  u"\u00E9", u"\u212A", u"\u0130", u"\u017F",
      u"\U0001F600", u"\xD800", u"&#", u"&&", u";;"};
  const auto rows = EntityRows();
  std::u16string key(rows[pick_(rows.size())].key);
  switch (pick_(12)) {
    case 0:
    case 1:
      return key;
    case 2:  // wrong letter case, one unit or all
      if (pick_(2) == 0) {
        for (char16_t& c : key) c = FlipCase(c);
      } else {
        const std::size_t at = 1 + pick_(key.size() - 1);
        key[at] = FlipCase(key[at]);
      }
      return key;
    case 3:  // without its ';', or cut short
      return key.substr(0, 1 + pick_(key.size() - 1));
    case 4:  // doubly escaped
      return std::u16string(kEscapes[pick_(std::size(kEscapes))]) + key.substr(1);
    case 5: {  // a vanishing reference inside a key
      const std::size_t at = 1 + pick_(key.size() - 1);
      return key.substr(0, at) + std::u16string(kSplitters[pick_(std::size(kSplitters))]) +
             key.substr(at);
    }
    case 6: {  // a numeric reference that may or may not have a row
      std::string digits = std::to_string(pick_(pick_(2) == 0 ? 400 : 40));
      return u"&#" + std::u16string(digits.begin(), digits.end()) + (pick_(4) ? u";" : u"");
    }
    case 7: {  // a key whose digits or letters come from references decoded earlier
      std::u16string out = u"&";
      for (char16_t c : key.substr(1)) {
        if (pick_(3) == 0) {
          std::string code = std::to_string(static_cast<int>(c));
          out += u"&#" + std::u16string(code.begin(), code.end()) + u";";
        } else {
          out += c;
        }
      }
      return out;
    }
    case 8:
    case 9:
    case 10:
      return std::u16string(kSmall[pick_(std::size(kSmall))]);
    default:
      return std::u16string(kSplitters[pick_(std::size(kSplitters))]);
  }
}

}  // namespace sievetext::testing
