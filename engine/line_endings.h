#pragma once

#include <string>

namespace sievetext {

// The last steps of the pipeline, in place, on a text that holds no CR: every
// LF becomes CR LF; then spaces are trimmed from both ends; then one leading
// CR LF and one trailing CR LF are removed (each at most once, after the
// trim, so spaces next to them stay). Tabs and other blanks are not trimmed.
// The text grows by one unit per line break kept; reserve that beforehand to
// avoid a reallocation. On failure (no memory to grow) the text is unchanged.
void FinishLines(std::u16string& text);

}  // namespace sievetext
