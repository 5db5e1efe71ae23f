#include "tag_stripper.h"

#include <cstddef>

#include "text_scan.h"

namespace sievetext {

void StripTags(std::u16string& text) {
  char16_t* p = text.data();
  const std::size_t n = text.size();
  std::size_t w = 0;  // kept text is p[0, w)
  std::size_t i = 0;  // next unit outside any tag
  while (i < n) {
    std::size_t open = scan::findUnit(p, i, n, u'<');
    if (open == scan::kNotFound) open = n;
    scan::shiftDown(p + w, p + i, open - i);
    w += open - i;
    if (open == n) break;
    const std::size_t close = scan::findUnit(p, open + 1, n, u'>');
    if (close == scan::kNotFound) break;
    i = close + 1;
  }
  text.resize(w);
}

}  // namespace sievetext
