#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/entities/rows.h"

namespace sievetext::testing {

// The table applied the slow, obvious way: one whole-text pass per row, each
// replacing every non-overlapping occurrence from left to right and never
// searching what it has just written. Every key starts with '&' (which has no
// letter case), so a pass only needs to try the places where '&' stands.
inline void ReferenceApplyEntityTable(std::u16string& text, const std::function<void()>& yield) {
  auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; };
  std::vector<std::size_t> amps;
  auto findAmps = [&] {
    amps.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'&') amps.push_back(i);
    }
  };
  findAmps();
  const auto rows = EntityRows();
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (yield && YieldsBeforeRow(r)) yield();
    const EntityRow& row = rows[r];
    std::u16string out;
    std::size_t copied = 0;
    for (std::size_t i : amps) {
      if (i < copied || text.size() - i < row.key.size()) continue;
      bool match = true;
      for (std::size_t k = 0; match && k < row.key.size(); ++k) {
        const char16_t a = text[i + k];
        const char16_t b = row.key[k];
        match = a == b || (!row.exact && lower(a) == lower(b));
      }
      if (match) {
        out.append(text, copied, i - copied);
        out += row.replacement;
        copied = i + row.key.size();
      }
    }
    if (copied == 0) continue;
    out.append(text, copied);
    text = out;
    findAmps();
  }
}

}  // namespace sievetext::testing
