#include "line_endings.h"

#include <cassert>
#include <cstddef>

#include "text_scan.h"

namespace sievetext {

std::u16string FinishLines(const std::u16string& text) {
  const char16_t* p = text.data();
  std::size_t begin = 0, end = text.size();
  assert(scan::findUnit(p, 0, end, u'\r') == scan::kNotFound);
  // Trimming and cutting one line break at each end commute with turning LF
  // into CR LF here, since the text holds no CR of its own: a CR LF at an end
  // of the result is an LF at that end of the text.
  while (begin < end && p[begin] == u' ') ++begin;
  while (end > begin && p[end - 1] == u' ') --end;
  if (begin < end && p[begin] == u'\n') ++begin;
  if (begin < end && p[end - 1] == u'\n') --end;

  std::size_t breaks = 0;
  for (std::size_t i = begin; (i = scan::findUnit(p, i, end, u'\n')) != scan::kNotFound; ++i) ++breaks;
  std::u16string out;
  out.reserve(end - begin + breaks);
  std::size_t i = begin;
  while (i < end) {
    std::size_t lf = scan::findUnit(p, i, end, u'\n');
    if (lf == scan::kNotFound) lf = end;
    out.append(p + i, lf - i);
    if (lf == end) break;
    out.append(u"\r\n", 2);
    i = lf + 1;
  }
  return out;
}

}  // namespace sievetext
