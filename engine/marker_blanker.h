#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "engine/char_map.h"

namespace sievetext {

// Replaces, in place and in one pass, every "msnavigation" (ASCII letter case
// ignored) by one space and, when `commentMarkers` is set, every "!--" and
// then every "-->" (exact) by one space. The result is that of first
// replacing all "!--", then all "-->", then all "msnavigation", each as its
// own left-to-right pass: the keys cannot be joined or split by one another's
// replacements, and only "!-->" overlaps, where "!--" wins.
// With `blanking`, the units it names are replaced by spaces in the same
// pass. A long text is done in two parts at once.
void BlankMarkers(std::u16string& text, bool commentMarkers,
                  std::optional<Blanking> blanking = std::nullopt);

// The same, with the text cut in two in front of the first space at or after
// `hint` and the two parts done at once; as one part when there is no such
// space (a hint of scan::kNotFound). The result never depends on the hint.
void BlankMarkersInTwo(std::u16string& text, bool commentMarkers, std::size_t hint,
                       std::optional<Blanking> blanking = std::nullopt);

}  // namespace sievetext
