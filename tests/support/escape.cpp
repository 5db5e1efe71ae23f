#include "tests/support/escape.h"

#include <cstdio>

namespace sievetext::testing {

std::string Escape(const std::u16string& text) {
  std::string out;
  char buffer[16];
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') {
      out += '\\';
      out += char(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += char(c);
    } else if (c == u'\n') {
      out += "\\n";
    } else if (c == u'\r') {
      out += "\\r";
    } else if (c == u'\t') {
      out += "\\t";
    } else if (c >= 0xA0 && (c < 0xD800 || c > 0xDFFF)) {
      std::snprintf(buffer, sizeof buffer, "\\u%04X", unsigned(c));
      out += buffer;
    } else {
      // A hex escape would swallow following hex digits: close the literal.
      std::snprintf(buffer, sizeof buffer, "\\x%X\" u\"", unsigned(c));
      out += buffer;
    }
  }
  return out;
}

}  // namespace sievetext::testing
