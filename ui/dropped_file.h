#pragma once

#include <Qt>
#include <optional>
#include <string>

class QMimeData;

namespace sievetext {

// The input file a drop onto the window offers: the first dropped item that
// is a local regular file (or a link to one), as its full path. Folders,
// remote addresses and anything else are passed over; nothing when no item
// qualifies.
std::optional<std::string> DroppedInputFile(const QMimeData& data);

// How a drop is taken from the actions its source offers: as a copy, or else
// as a link; never as a move, after which the source may delete what it
// moved. Qt::IgnoreAction when neither is offered.
Qt::DropAction KeptDropAction(Qt::DropActions offered);

}  // namespace sievetext
