#pragma once

#include <span>
#include <string_view>

namespace sievetext::layout {

// One row of the HTML standard's table of named character references.
struct NamedReference {
  std::u16string_view name;  // as written after '&', with its ';' where it has one
  char32_t first;            // the code point it stands for
  char32_t second;           // a second one, or 0
};

// All 2,231 rows, sorted by name (code unit order), so that the rows whose
// names start with a given text are one range.
std::span<const NamedReference> NamedReferences();

}  // namespace sievetext::layout
