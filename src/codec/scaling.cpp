// SPDX-License-Identifier: MIT
#include "scaling.h"

#include <cmath>
#include <limits>

namespace vantor::codec {

namespace {

// Up to 15 digits stay exact in a double; longer texts take the locale's way.
constexpr qsizetype kPlainDigitsMax = 15;

// The keystroke rule leaves plain ASCII digits in a scale field, so the usual texts are read
// without the locale; they are worth the same in every locale.
bool plainDigits(QStringView text, double &value)
{
    if (text.isEmpty() || text.size() > kPlainDigitsMax)
        return false;
    std::int64_t n = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
        n = n * 10 + (c.unicode() - u'0');
    }
    value = static_cast<double>(n);
    return true;
}

} // namespace

double scaleFieldValue(QStringView text, const QLocale &locale)
{
    double plain = 0.0;
    if (plainDigits(text, plain))
        return plain;
    bool ok = false;
    const double value = locale.toDouble(text, &ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

std::int32_t scaledInteger(unsigned raw, double slope, double offset)
{
    constexpr double kLowest = std::numeric_limits<std::int32_t>::min();
    constexpr double kHighest = std::numeric_limits<std::int32_t>::max();
    const double sum = offset + slope * static_cast<double>(raw);
    if (std::isnan(sum))
        return 0;
    double n = std::round(sum);
    // std::round takes halves away from zero; a half goes to the even neighbour instead.
    if (std::fabs(sum - std::trunc(sum)) == 0.5)
        n = 2.0 * std::round(sum / 2.0);
    if (n <= kLowest)
        return std::numeric_limits<std::int32_t>::min();
    if (n >= kHighest)
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(n);
}

float shownValue(std::int32_t n, ShownAs shownAs)
{
    switch (shownAs) {
    case ShownAs::Tenths:
        return static_cast<float>(n) / 10.0f;
    case ShownAs::Hundredths:
        return static_cast<float>(n) / 100.0f;
    case ShownAs::Doubled:
        break;
    }
    constexpr std::int32_t kHalfMax = std::numeric_limits<std::int32_t>::max() / 2;
    constexpr std::int32_t kHalfMin = std::numeric_limits<std::int32_t>::min() / 2;
    const std::int32_t doubled = n > kHalfMax ? std::numeric_limits<std::int32_t>::max()
        : n < kHalfMin                        ? std::numeric_limits<std::int32_t>::min()
                                              : 2 * n;
    return static_cast<float>(doubled);
}

float scaledReading(unsigned raw, QStringView slope, QStringView offset, ShownAs shownAs,
                    const QLocale &locale)
{
    const double m = scaleFieldValue(slope, locale);
    const double b = scaleFieldValue(offset, locale);
    return shownValue(scaledInteger(raw, m, b), shownAs);
}

} // namespace vantor::codec
