#include "controls/property_bag.h"

#include <cmath>

namespace sievetext {

namespace {

bool IsNumeric(const QVariant& v) {
  switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Double:
    case QMetaType::Float:
      return true;
    default:
      return false;
  }
}

// A number of any stored kind; Booleans count as -1 and 0, as the stored
// format keeps them.
std::optional<double> NumberOf(const QVariant& v) {
  if (v.typeId() == QMetaType::Bool) return v.toBool() ? -1.0 : 0.0;
  if (IsNumeric(v)) return v.toDouble();
  if (v.typeId() == QMetaType::QString) {
    const QString text = v.toString().trimmed();
    if (text.startsWith(QLatin1String("&H"), Qt::CaseInsensitive)) {
      bool ok = false;
      const qlonglong n = text.mid(2).toLongLong(&ok, 16);
      if (ok) return static_cast<double>(n);
      return std::nullopt;
    }
    bool ok = false;
    const double d = text.toDouble(&ok);
    if (ok) return d;
  }
  return std::nullopt;
}

bool EqualsDefault(const QVariant& value, const QVariant& defaultValue) {
  if (!defaultValue.isValid() || !value.isValid()) return false;
  if (value.typeId() == QMetaType::Bool && defaultValue.typeId() == QMetaType::Bool) {
    return value.toBool() == defaultValue.toBool();
  }
  // Mixed number and text (or number and Boolean): compare as numbers.
  if (IsNumeric(value) || IsNumeric(defaultValue)) {
    const auto a = NumberOf(value);
    const auto b = NumberOf(defaultValue);
    if (a && b) {
      if (value.typeId() == QMetaType::Bool || defaultValue.typeId() == QMetaType::Bool) {
        return (*a != 0) == (*b != 0);
      }
      return *a == *b;
    }
    return false;
  }
  return value == defaultValue;
}

}  // namespace

QVariant PropertyBag::ReadProperty(const QString& name, const QVariant& defaultValue) const {
  const QString key = name.toLower();
  for (const auto& [k, v] : entries_) {
    if (k == key) return v;
  }
  return defaultValue;
}

void PropertyBag::WriteProperty(const QString& name, const QVariant& value,
                                const QVariant& defaultValue) {
  const QString key = name.toLower();
  auto it = entries_.begin();
  while (it != entries_.end() && it->first != key) ++it;
  if (EqualsDefault(value, defaultValue)) {
    if (it != entries_.end()) entries_.erase(it);
    return;
  }
  if (it != entries_.end()) {
    it->second = value;
  } else {
    entries_.emplace_back(key, value);
  }
}

bool PropertyBag::contains(const QString& name) const {
  const QString key = name.toLower();
  for (const auto& entry : entries_) {
    if (entry.first == key) return true;
  }
  return false;
}

QStringList PropertyBag::keys() const {
  QStringList names;
  for (const auto& entry : entries_) names << entry.first;
  return names;
}

std::optional<bool> ToBoolean(const QVariant& value) {
  if (value.typeId() == QMetaType::Bool) return value.toBool();
  if (value.typeId() == QMetaType::QString) {
    const QString text = value.toString().trimmed();
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
  }
  if (const auto n = NumberOf(value)) return *n != 0;
  return std::nullopt;
}

std::optional<qint64> ToWholeNumber(const QVariant& value, qint64 min, qint64 max) {
  if (value.typeId() == QMetaType::Bool) return std::nullopt;
  const auto n = NumberOf(value);
  if (!n || !std::isfinite(*n) || std::trunc(*n) != *n) return std::nullopt;
  if (*n < static_cast<double>(min) || *n > static_cast<double>(max)) return std::nullopt;
  return static_cast<qint64>(*n);
}

}  // namespace sievetext
