#pragma once

#include <string_view>

namespace sievetext {

// Any value to a Boolean, never failing. Text: "true" / "false" in any letter
// case, or a decimal number (true when not zero, "-1" included); surrounding
// blanks are allowed; any other text, the empty text included, is false.
bool SafeBool(std::string_view text);
// A number, such as a check box's value: true when not zero.
inline bool SafeBool(long long number) { return number != 0; }
inline bool SafeBool(int number) { return number != 0; }
inline bool SafeBool(bool value) { return value; }
// Without these a string literal would pick the bool overload.
inline bool SafeBool(const char* text) {
  return text != nullptr && SafeBool(std::string_view(text));
}

}  // namespace sievetext
