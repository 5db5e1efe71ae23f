#pragma once

#include <string>

namespace sievetext {

// The last steps of the pipeline on a text that holds no CR: every LF
// becomes CR LF; then spaces are trimmed from both ends; then one leading
// CR LF and one trailing CR LF are removed (each at most once, after the
// trim, so spaces next to them stay). Tabs and other blanks are not trimmed.
std::u16string FinishLines(const std::u16string& text);

}  // namespace sievetext
