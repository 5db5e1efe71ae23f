#include "engine/line_endings.h"

#include <cassert>
#include <cstddef>
#include <cstring>

#include "engine/text_scan.h"

namespace sievetext {

void FinishLines(std::u16string& text) {
  assert(scan::FindUnit(text.data(), 0, text.size(), u'\r') == scan::kNotFound);
  std::size_t begin = 0, end = text.size();
  {
    const char16_t* p = text.data();
    assert(scan::FindUnit(p, 0, end, u'\r') == scan::kNotFound);
    // Trimming and cutting one line break at each end commute with turning
    // LF into CR LF here, since the text holds no CR of its own: a CR LF at
    // an end of the result is an LF at that end of the text.
    while (begin < end && p[begin] == u' ') ++begin;
    while (end > begin && p[end - 1] == u' ') --end;
    if (begin < end && p[begin] == u'\n') ++begin;
    if (begin < end && p[end - 1] == u'\n') --end;
  }
  const std::size_t breaks = scan::CountUnit(text.data(), begin, end, u'\n');
  const std::size_t kept = end - begin;
  const std::size_t length = kept + breaks;
  if (length > text.size()) text.resize(length);  // the only step that can fail

  char16_t* p = text.data();
  if (begin != 0) std::memmove(p, p + begin, kept * sizeof(char16_t));
  // Widen from the back, so that nothing is overwritten before it is read.
  std::size_t read = kept, write = length;
  while (write != read) {
    const std::size_t lf = scan::FindUnitBack(p, 0, read, u'\n');
    const std::size_t tail = read - lf - 1;
    write -= tail;
    std::memmove(p + write, p + lf + 1, tail * sizeof(char16_t));
    p[--write] = u'\n';
    p[--write] = u'\r';
    read = lf;
  }
  text.resize(length);
}

}  // namespace sievetext
