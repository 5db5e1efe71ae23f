#pragma once

#include <QString>

class QWidget;

namespace sievetext {

class PropertyBag;

// Programmatic identifier of the Command button.
inline constexpr char kCommandProgId[] = "Sievetext.Command";

// Creates the control registered under `progId` (matched without regard to
// case) as a child of `parent`. When `stored` is given, the new instance reads
// it after its creation steps, as a host loading a saved window does. Returns
// null for an unknown identifier. The parent owns the result.
QWidget* CreateControl(const QString& progId, QWidget* parent, const PropertyBag* stored = nullptr);

}  // namespace sievetext
