#include "gui/RangeSpinBox.h"

#include <algorithm>

namespace tarsil::gui {
namespace {

// More digits than any range of these boxes needs; longer input is refused while typing.
constexpr qsizetype kMaxDigits = 9;

}  // namespace

QValidator::State RangeSpinBox::validate(QString& text, int&) const {
  const QString number = text.trimmed();
  if (number.isEmpty() || number == QLatin1String("-") || number == QLatin1String("+")) {
    return QValidator::Intermediate;
  }
  qsizetype digits = 0;
  for (qsizetype i = 0; i < number.size(); ++i) {
    const QChar c = number[i];
    if (i == 0 && (c == QLatin1Char('-') || c == QLatin1Char('+'))) continue;
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return QValidator::Invalid;
    ++digits;
  }
  if (digits > kMaxDigits) return QValidator::Invalid;
  const qlonglong value = number.toLongLong();
  if (value < minimum() || value > maximum()) return QValidator::Intermediate;
  return QValidator::Acceptable;
}

void RangeSpinBox::fixup(QString& text) const {
  bool ok = false;
  const qlonglong value = text.trimmed().toLongLong(&ok);
  const qlonglong bounded = !ok ? minimum() : std::clamp<qlonglong>(value, minimum(), maximum());
  text = QString::number(bounded);
}

}  // namespace tarsil::gui
