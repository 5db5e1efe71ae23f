// The reading mode's style sheet reading on any text: the tokenizer, the
// sheet parser with its imports, media lists, declarations and the cascade
// over a few elements; no crash, no sanitizer report, no runaway time, and
// a page laid out with the sheet gives the same text whole and in pieces.
//
// Input layout: byte 0 chooses the form (bit 0: two bytes a unit, else one,
// Latin-1) and byte 1 the piece size for the layout (1 to 256 units); the
// rest is the sheet.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/layout/css_style.h"
#include "engine/layout/css_syntax.h"
#include "engine/layout/text_layout.h"

namespace css = sievetext::layout::css;
using sievetext::layout::LayoutConverter;
using sievetext::layout::LayoutOptions;

namespace {

// Every import gets the same sheet again, and a sheet of its own.
class Loader final : public css::StyleSheetLoader {
 public:
  explicit Loader(std::u16string_view sheet) : sheet_(sheet) {}
  bool load(std::u16string_view location, std::u16string& text) override {
    if (++loads_ > static_cast<int>(css::StyleSet::kMaxSheets)) std::abort();  // bounded
    text = location.size() % 2 == 0 ? sheet_ : std::u16string(location) + u"{display:none}";
    return true;
  }

 private:
  std::u16string sheet_;
  int loads_ = 0;
};

std::u16string Lay(std::u16string_view html, std::size_t piece) {
  std::u16string text;
  LayoutOptions options;
  options.lineBreak = u"\n";
  LayoutConverter converter(options, [&text](std::u16string_view p) { text.append(p); });
  for (std::size_t at = 0; at < html.size(); at += piece) converter.feed(html.substr(at, piece));
  converter.finish();
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const bool wide = data[0] & 1;
  const std::size_t piece = std::size_t{data[1]} + 1;
  data += 2;
  size -= 2;
  std::u16string sheet;
  if (wide) {
    for (std::size_t i = 0; i + 1 < size; i += 2) {
      sheet.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
  } else {
    sheet.assign(data, data + size);
  }

  const std::vector<css::Token> tokens = css::Tokenize(sheet);
  if (tokens.size() > sheet.size() + 1) std::abort();

  Loader loader(sheet);
  css::StyleSet set;
  set.addSheet(sheet, u"a/b.css", &loader);
  static_cast<void>(set.mediaMatches(sheet));
  css::Declared declared{};
  std::array<bool, css::kProperties> important{};
  css::ParseDeclarations(sheet, declared, important);
  static_cast<void>(css::ResolveLocation(sheet, sheet));

  // A few elements, the sheet's own words as their classes and ids.
  std::vector<css::ElementFacts> path(4);
  const std::vector<sievetext::layout::Attribute> attributes = {
      {u"class", sheet.substr(0, 64)},
      {u"id", sheet.substr(0, 16)},
      {u"href", u"x"},
      {u"title", sheet},
  };
  const char16_t* names[] = {u"html", u"body", u"div", u"a"};
  for (std::size_t i = 0; i < path.size(); ++i) {
    set.describe(path[i], names[i], attributes);
    static_cast<void>(set.cascade(std::span<const css::ElementFacts>(path.data(), i + 1), sheet));
  }

  // The sheet on a page: whole and in pieces alike.
  const std::u16string html = u"<style>" + sheet +
                              u"</style><div class=a id=b><p>x <span>y</span></p><ul><li>z"
                              u"</ul><pre>p\n q</pre></div>";
  if (Lay(html, html.size()) != Lay(html, piece)) std::abort();
  return 0;
}
