#pragma once

#include <string>

namespace sievetext {

// Replaces, in place and in one pass, every "msnavigation" (ASCII letter case
// ignored) by one space and, when `commentMarkers` is set, every "!--" and
// then every "-->" (exact) by one space. The result is that of first
// replacing all "!--", then all "-->", then all "msnavigation", each as its
// own left-to-right pass: the keys cannot be joined or split by one another's
// replacements, and only "!-->" overlaps, where "!--" wins.
void BlankMarkers(std::u16string& text, bool commentMarkers);

}  // namespace sievetext
