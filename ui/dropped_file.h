#pragma once

#include <optional>
#include <string>

class QMimeData;

namespace sievetext {

// The input file a drop onto the window offers: the first dropped item that
// is a local regular file (or a link to one), as its full path. Folders,
// remote addresses and anything else are passed over; nothing when no item
// qualifies.
std::optional<std::string> DroppedInputFile(const QMimeData& data);

}  // namespace sievetext
