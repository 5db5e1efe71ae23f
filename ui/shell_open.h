#pragma once

#include <QUrl>
#include <functional>
#include <string>

namespace sievetext {

// What the desktop is asked to open for `sTarget`: a web (or other) address
// stays an address; anything else is a local file path.
QUrl ShellTarget(const std::string& sTarget);

// Hands a document path or an address to the desktop's opener (xdg-open, or
// Qt's desktop services where there is none) and returns at once. When the
// target cannot be opened (no such file, no opener, the opener gives up),
// `failed` runs: at once for what is known before anything starts, later from
// the event loop when the opener reports its failure.
void ShellOpen(const std::string& sTarget, std::function<void()> failed = {});

}  // namespace sievetext
