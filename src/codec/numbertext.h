// SPDX-License-Identifier: MIT
#pragma once

// How decoded values are written into labels and entries.

#include <QLocale>
#include <QString>

namespace vantor::codec {

// A value in single precision with at most 7 significant digits: trailing zeros dropped,
// "0" before the separator below 1, no grouping, the locale's decimal separator, and from
// 10,000,000 up the exponent form "1.309391E+08".
[[nodiscard]] QString numberText(float value, const QLocale &locale = QLocale());

// Unsigned decimal without leading zeros or grouping.
[[nodiscard]] QString integerText(int value);

// Firmware version "major.minor" (REV_IDENT_1); always ".", whatever the locale.
[[nodiscard]] QString firmwareVersionText(int major, int minor);

// Chip version from eighths (REV_IDENT_2): one decimal, halves away from zero, locale separator.
[[nodiscard]] QString chipVersionText(int eighths, const QLocale &locale = QLocale());

} // namespace vantor::codec
