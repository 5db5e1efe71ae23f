#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <utility>
#include <vector>

namespace sievetext {

// A control's stored property set: named, typed values that a host keeps for
// each instance between sessions.
//
// Names are matched without regard to case and kept in lower case, in the
// order they were first written. A value written together with its default is
// not stored when it equals that default, so a set holds only what differs; a
// text default "1" or "0" equals the numbers 1 and 0 (and true equals -1 and
// 1, false 0).
class PropertyBag {
 public:
  // The stored value, or `defaultValue` when `name` is not stored.
  QVariant ReadProperty(const QString& name, const QVariant& defaultValue = {}) const;
  // Stores `value` under `name`, or removes `name` when `value` equals
  // `defaultValue`. An invalid default never matches, so the value is stored.
  void WriteProperty(const QString& name, const QVariant& value, const QVariant& defaultValue = {});

  bool contains(const QString& name) const;
  // Stored names, lower case, in first-write order.
  QStringList keys() const;
  bool isEmpty() const { return entries_.empty(); }
  void clear() { entries_.clear(); }

 private:
  std::vector<std::pair<QString, QVariant>> entries_;
};

// Conversions of stored values to the types of the control's members. Each
// gives nothing when the value cannot be converted, so the caller keeps the
// member as it was.
//
// Booleans: a Boolean, a number (non-zero is true) or the text "True"/"False"
// (any case) or a number in text.
std::optional<bool> ToBoolean(const QVariant& value);
// Whole numbers: an integer, a whole-valued floating-point number or a number
// in text (decimal, or hexadecimal after "&H"). Nothing when out of
// [min, max].
std::optional<qint64> ToWholeNumber(const QVariant& value, qint64 min, qint64 max);

}  // namespace sievetext
