#pragma once

#include <QPushButton>
#include <QString>

namespace sievetext {

// Temporary push button with the interface of the program's own button
// control (Caption, Enabled, Initialize, Click), so the window can be built
// and tested before that control exists.
class Command final : public QPushButton {
  Q_OBJECT

 public:
  explicit Command(QWidget* parent = nullptr) : QPushButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QPushButton::clicked, this, &Command::Click);
  }

  QString Caption() const { return text(); }
  void setCaption(const QString& New_Caption) { setText(New_Caption); }
  bool Enabled() const { return isEnabled(); }
  void setEnabledState(bool New_Enabled) { setEnabled(New_Enabled); }
  void Initialize() { initialized_ = true; }
  bool initialized() const { return initialized_; }

 signals:
  void Click();

 private:
  bool initialized_ = false;
};

}  // namespace sievetext
