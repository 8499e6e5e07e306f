// Number texts as the ratio box and the batch run read and write them.
#pragma once

#include <QString>

namespace base {

// The leading number of a text: blanks, tabs and line feeds are skipped
// wherever they stand, "." is the decimal point, reading stops at the first
// character that cannot continue the number; 0 when there is none.
double Val(const QString& text);

// True when the whole text, spaces around it allowed, is one number (sign,
// decimal point and exponent accepted).
bool IsNumeric(const QString& text);

// A value to one decimal, halves upward, at least one digit before the point:
// 1.0, 33.3, 100.0.
QString FormatTenths(double value);

// The ratio box's normal form of a text: "%" signs dropped, a non-number read
// as 100, clamped to 1..100, written to one decimal with "%": "50.0%".
QString NormaliseRatioText(const QString& text);

}  // namespace base
