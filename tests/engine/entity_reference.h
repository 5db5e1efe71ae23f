#pragma once

#include <functional>
#include <string>

#include "entity_table.h"

namespace sievetext::testing {

// The table applied the slow, obvious way: one whole-text pass per row, each
// replacing every non-overlapping occurrence from left to right and never
// searching what it has just written.
inline void ReferenceApplyEntityTable(std::u16string& text, const std::function<void()>& yield) {
  auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; };
  const auto rows = EntityRows();
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (yield && YieldsBeforeRow(r)) yield();
    const EntityRow& row = rows[r];
    std::u16string out;
    std::size_t copied = 0;
    // Every key starts with '&', which has no letter case.
    for (std::size_t i = text.find(row.key[0]); i != std::u16string::npos;) {
      bool match = text.size() - i >= row.key.size();
      for (std::size_t k = 0; match && k < row.key.size(); ++k) {
        const char16_t a = text[i + k];
        const char16_t b = row.key[k];
        match = a == b || (!row.exact && lower(a) == lower(b));
      }
      if (match) {
        out.append(text, copied, i - copied);
        out += row.replacement;
        copied = i + row.key.size();
        i = text.find(row.key[0], copied);
      } else {
        i = text.find(row.key[0], i + 1);
      }
    }
    if (copied == 0) continue;
    out.append(text, copied);
    text = out;
  }
}

}  // namespace sievetext::testing
