#include "entity_table.h"

#include <cstddef>
#include <string>

namespace sievetext {
namespace {

char16_t asciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

bool matchesAt(const std::u16string& text, std::size_t pos, const EntityRow& row) {
  if (text.size() - pos < row.key.size()) return false;
  for (std::size_t i = 0; i < row.key.size(); ++i) {
    char16_t a = text[pos + i];
    char16_t b = row.key[i];
    if (a != b && (row.exact || asciiLower(a) != asciiLower(b))) return false;
  }
  return true;
}

// One whole-text pass of one row.
void applyRow(std::u16string& text, const EntityRow& row) {
  std::size_t pos = text.find(u'&');
  if (pos == std::u16string::npos) return;
  std::u16string out;
  out.reserve(text.size());
  std::size_t copied = 0;
  while (pos != std::u16string::npos) {
    if (matchesAt(text, pos, row)) {
      out.append(text, copied, pos - copied);
      out.append(row.replacement);
      copied = pos + row.key.size();
      pos = text.find(u'&', copied);
    } else {
      pos = text.find(u'&', pos + 1);
    }
  }
  if (copied == 0) return;
  out.append(text, copied, std::u16string::npos);
  text.swap(out);
}

}  // namespace

void ApplyEntityTable(std::u16string& text, const std::function<void()>& yield) {
  const auto rows = EntityRows();
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (yield && YieldsBeforeRow(r)) yield();
    applyRow(text, rows[r]);
  }
}

}  // namespace sievetext
