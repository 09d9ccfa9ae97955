// SPDX-License-Identifier: MIT
#include "numbertext.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace vantor::codec {

namespace {

constexpr int kSignificantDigits = 7;
constexpr float kExponentFrom = 1.0e7f;

} // namespace

QString numberText(float value, const QLocale &locale)
{
    if (value == 0.0f)
        return QStringLiteral("0");
    if (!std::isfinite(value))
        return QString::number(static_cast<double>(value));

    // to_chars rounds the exact binary value, so 15.9f (15.8999996...) gives "1.590000e+01".
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, std::fabs(value),
                                         std::chars_format::scientific, kSignificantDigits - 1);
    if (ec != std::errc())
        return QString::number(static_cast<double>(value));
    const std::string_view text(buf, static_cast<std::size_t>(end - buf));
    const std::size_t e = text.find('e');
    char digits[kSignificantDigits];
    int count = 0;
    digits[count++] = text[0];
    for (std::size_t i = 2; i < e; ++i)
        digits[count++] = text[i];
    while (count > 1 && digits[count - 1] == '0')
        --count;
    int exponent = 0;
    const char *exponentStart = text.data() + e + 1;
    if (*exponentStart == '+')
        ++exponentStart;
    std::from_chars(exponentStart, text.data() + text.size(), exponent);

    // Longest result: "-0.000000000000000000000000000000000000000001234567" for the
    // smallest floats, so room for the sign, 46 leading digits and 7 significant ones.
    char16_t out[64];
    int n = 0;
    const QString pointText = locale.decimalPoint();
    const auto point = [&] {
        for (const QChar c : pointText)
            out[n++] = c.unicode();
    };
    const auto digit = [&](int i) {
        out[n++] = static_cast<char16_t>(digits[i]);
    };
    if (value < 0.0f)
        out[n++] = u'-';
    if (std::fabs(value) >= kExponentFrom) {
        digit(0);
        if (count > 1) {
            point();
            for (int i = 1; i < count; ++i)
                digit(i);
        }
        out[n++] = u'E';
        out[n++] = exponent < 0 ? u'-' : u'+';
        const int magnitude = std::abs(exponent);
        if (magnitude >= 100)
            out[n++] = static_cast<char16_t>(u'0' + magnitude / 100);
        out[n++] = static_cast<char16_t>(u'0' + magnitude / 10 % 10);
        out[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
    } else if (exponent < 0) {
        out[n++] = u'0';
        point();
        for (int i = 0; i < -exponent - 1; ++i)
            out[n++] = u'0';
        for (int i = 0; i < count; ++i)
            digit(i);
    } else {
        const int integerDigits = exponent + 1;
        for (int i = 0; i < integerDigits; ++i) {
            if (i < count)
                digit(i);
            else
                out[n++] = u'0';
        }
        if (count > integerDigits) {
            point();
            for (int i = integerDigits; i < count; ++i)
                digit(i);
        }
    }
    return QString(reinterpret_cast<const QChar *>(out), n);
}

QString integerText(int value)
{
    return QString::number(value);
}

QString firmwareVersionText(int major, int minor)
{
    return QString::number(major) + QLatin1Char('.') + QString::number(minor);
}

QString chipVersionText(int eighths, const QLocale &locale)
{
    // eighths / 8 in tenths, exact halves going up (the value is never negative).
    const int tenths = (eighths * 10 + 4) / 8;
    return QString::number(tenths / 10) + locale.decimalPoint() + QString::number(tenths % 10);
}

} // namespace vantor::codec
