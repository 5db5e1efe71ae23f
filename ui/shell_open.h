#pragma once

#include <QUrl>
#include <string>

namespace sievetext {

// What the desktop is asked to open for `sTarget`: a web (or other) address
// stays an address; anything else is a local file path.
QUrl ShellTarget(const std::string& sTarget);

// Hands a document path or an address to the desktop's opener and returns at
// once. Whatever happens (no such file, nothing to open it with) is not
// reported.
void ShellOpen(const std::string& sTarget);

}  // namespace sievetext
