#pragma once

#include <string>

namespace sievetext::testing {

// The text as a C++ literal body: printable ASCII as is, everything else
// escaped, so that a failing case can be pasted into a test.
std::string Escape(const std::u16string& text);

// The text as a whole C++ literal, u"...", for failure messages.
inline std::string Show(const std::u16string& text) { return "u\"" + Escape(text) + "\""; }

}  // namespace sievetext::testing
