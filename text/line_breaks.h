#pragma once

#include <string>

#include "platform/file_system.h"

namespace sievetext {

// Makes every CR LF of a converted text a lone LF, in place; every other unit
// stays as it is (a CR with no LF right after it is kept). Linear time, no
// allocation. The text form (UTF-16 units) and the written form (UTF-8 bytes)
// give the same result, since CR and LF are single units in both.
void UseLfLineBreaks(std::u16string& text);
void UseLfLineBreaks(std::string& bytes);

// The same for bytes handed out in pieces: a source giving what `source`
// gives with each CR LF made LF, also where a piece ends between the two.
ByteSource WithLfLineBreaks(ByteSource source);

}  // namespace sievetext
