#pragma once

class QWidget;

namespace sievetext {

// Visits every button control on `oForm`: with `bInit` each one starts its
// hover tracking (Initialize); otherwise each one is enabled or disabled as
// `bEnabled` says. Other controls are left alone.
void SetButtons(QWidget& oForm, bool bInit, bool bEnabled);

}  // namespace sievetext
