// SPDX-License-Identifier: MIT
#pragma once

// Turning raw port readings into shown values, and the two small rules that combine a
// reading with check-box values (LED indication, paused-fault mark).

#include <QLocale>
#include <QStringView>

#include <cstdint>

namespace vantor::codec {

// A scale field's text as a number in the locale's syntax. An empty text, and a text that is
// not a finite number, count as 0: the operator may have deleted the digits, and the display
// must still show something.
[[nodiscard]] double scaleFieldValue(QStringView text, const QLocale &locale = QLocale());

// slope × raw + offset in double precision, rounded to the nearest integer with ties to even,
// kept inside the 32-bit range (a sum beyond it shows the nearest end of the range).
[[nodiscard]] std::int32_t scaledInteger(unsigned raw, double slope, double offset);

enum class ShownAs {
    Tenths,     // n / 10
    Hundredths, // n / 100
    Doubled,    // 2 × n
};

// The value a scaled reading shows, from its raw value and the texts of its scale pair.
[[nodiscard]] float scaledReading(unsigned raw, QStringView slope, QStringView offset,
                                  ShownAs shownAs, const QLocale &locale = QLocale());
[[nodiscard]] float shownValue(std::int32_t n, ShownAs shownAs);

struct LedIndication
{
    bool green = false;
    bool red = false;
    bool yellow = false;

    bool operator==(const LedIndication &) const = default;
};

// LED drive code 0 yellow, 1 red, 2 green when the port is enabled (yellow when it is not),
// 3 none. portEnable is the value of the port's "Port Enable" box.
[[nodiscard]] constexpr LedIndication ledIndication(int code, int portEnable)
{
    switch (code) {
    case 0:
        return { false, false, true };
    case 1:
        return { false, true, false };
    case 2:
        return portEnable != 0 ? LedIndication { true, false, false }
                               : LedIndication { false, false, true };
    default:
        return {};
    }
}

// The paused-fault mark shown for a port: the device's bit AND the box values of
// "Master Enable" and "Port Enable" (0 clear, 1 set, 2 partly set), bitwise.
[[nodiscard]] constexpr int faultPausedValue(int pausedBit, int masterEnable, int portEnable)
{
    return pausedBit & masterEnable & portEnable;
}

} // namespace vantor::codec
