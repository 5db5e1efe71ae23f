// The reading mode's tokenizer and layout on any text: no crash, no
// sanitizer report, and the same text whether the input comes whole or in
// pieces.
//
// Input layout: byte 0 chooses the options (one bit each) and byte 1 the
// piece size (1 to 256 units); the rest is the document, two bytes a unit
// when bit 7 of byte 0 is set (lone surrogates and all), else one byte a
// unit (Latin-1, so that markup is dense).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/layout/text_layout.h"

using sievetext::layout::LayoutConverter;
using sievetext::layout::LayoutOptions;

namespace {

std::u16string Lay(std::u16string_view html, const LayoutOptions& options, std::size_t piece) {
  std::u16string text;
  LayoutConverter converter(options, [&text](std::u16string_view p) {
    if (p.empty()) std::abort();  // pieces are never empty
    text.append(p);
  });
  for (std::size_t at = 0; at < html.size(); at += piece) converter.feed(html.substr(at, piece));
  converter.finish();
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t flags = data[0];
  const std::size_t piece = std::size_t{data[1]} + 1;
  data += 2;
  size -= 2;
  std::u16string html;
  if (flags & 0x80) {
    for (std::size_t i = 0; i + 1 < size; i += 2) {
      html.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
  } else {
    html.assign(data, data + size);
  }
  LayoutOptions options;
  options.decodeReferences = !(flags & 1);
  options.joinLines = flags & 2;
  options.dropBlankLines = flags & 4;
  options.collapseSpaces = flags & 8;
  options.tabsAsSpaces = flags & 16;
  options.pipesAsSpaces = flags & 32;
  options.lineBreak = (flags & 64) ? u"\n" : u"\r\n";
  const std::u16string whole = Lay(html, options, html.size() + 1);
  if (Lay(html, options, piece) != whole) std::abort();
  return 0;
}
