#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sievetext::testing {

namespace detail {
template <class Char>
std::basic_string<Char> RepeatTo(std::basic_string_view<Char> unit, std::size_t size) {
  std::basic_string<Char> out;
  out.reserve(size + unit.size());
  while (out.size() < size) out += unit;
  out.resize(size);
  return out;
}
}  // namespace detail

// `unit` repeated until the text is exactly `size` long (the last copy cut).
inline std::string RepeatTo(std::string_view unit, std::size_t bytes) {
  return detail::RepeatTo(unit, bytes);
}
inline std::u16string RepeatTo(std::u16string_view unit, std::size_t units) {
  return detail::RepeatTo(unit, units);
}

}  // namespace sievetext::testing
