// SPDX-License-Identifier: MIT
#include "trendlabels.h"

#include <codec/numbertext.h>
#include <codec/tabletext.h>

#include <QDateTime>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>

namespace vantor::views {

namespace {

constexpr qint64 kSecond = 1000;
constexpr qint64 kMinute = 60 * kSecond;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;

constexpr int kHues = 16;
constexpr std::array<double, 3> kLightness { 50, 34, 60 };
constexpr double kChroma = 70;
constexpr double kFirstHue = 30;

// CIE L*a*b* (D65) to linear sRGB.
std::array<double, 3> linearRgb(double l, double a, double b)
{
    const double fy = (l + 16) / 116;
    const double fx = fy + a / 500;
    const double fz = fy - b / 200;
    const auto inverse = [](double t) {
        return t * t * t > 0.008856 ? t * t * t : (t - 16.0 / 116) / 7.787;
    };
    const double x = 0.95047 * inverse(fx);
    const double y = inverse(fy);
    const double z = 1.08883 * inverse(fz);
    return { 3.2404542 * x - 1.5371385 * y - 0.4985314 * z,
             -0.9692660 * x + 1.8760108 * y + 0.0415560 * z,
             0.0556434 * x - 0.2040259 * y + 1.0572252 * z };
}

// A colour of that lightness and hue, its chroma lowered until the screen can show it.
QRgb fromLch(double lightness, double chroma, double hueDegrees)
{
    const double h = hueDegrees * M_PI / 180;
    std::array<double, 3> rgb {};
    for (double c = chroma; c >= 0; c -= 0.5) {
        rgb = linearRgb(lightness, c * std::cos(h), c * std::sin(h));
        if (std::ranges::all_of(rgb, [](double v) { return v >= 0 && v <= 1; }))
            break;
    }
    const auto channel = [](double v) {
        v = std::clamp(v, 0.0, 1.0);
        const double encoded = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
        return static_cast<int>(std::lround(255 * encoded));
    };
    return qRgb(channel(rgb[0]), channel(rgb[1]), channel(rgb[2]));
}

// Hue slots in bit-reversed order: the first two ports are opposite, the first four a
// quarter turn apart, the first eight an eighth.
int hueSlot(int i)
{
    int reversed = 0;
    for (int bit = 0; bit < 4; ++bit)
        reversed |= ((i >> bit) & 1) << (3 - bit);
    return reversed;
}

std::array<QRgb, codec::kMaxPortCount> makePalette()
{
    std::array<QRgb, codec::kMaxPortCount> palette {};
    for (int i = 0; i < codec::kMaxPortCount; ++i) {
        const int tier = i / kHues;
        // Each lightness turns its hues half a slot on from the one before.
        const double hue
            = kFirstHue + hueSlot(i % kHues) * (360.0 / kHues) + tier * (360.0 / kHues / 2);
        palette[static_cast<std::size_t>(i)]
            = fromLch(kLightness[static_cast<std::size_t>(tier)], kChroma, hue);
    }
    return palette;
}

QString number(float v)
{
    return codec::numberText(v, QLocale::c());
}

QString timeOf(const QDateTime &at, bool seconds, bool date)
{
    const QString time = at.toString(seconds ? u"HH:mm:ss" : u"HH:mm");
    return date ? at.toString(u"yyyy-MM-dd ") + time : time;
}

} // namespace

int boardPortCount(int reported)
{
    const int step = codec::kPortCountStep;
    return std::clamp(reported / step * step, step, codec::kMaxPortCount);
}

QColor portColour(int port)
{
    static const std::array<QRgb, codec::kMaxPortCount> kPalette = makePalette();
    return QColor::fromRgb(
        kPalette[static_cast<std::size_t>(std::clamp(port, 1, codec::kMaxPortCount) - 1)]);
}

QString valueText(Quantity quantity, float value)
{
    const QString unit = codec::tableText(quantityRow(quantity).unit);
    return unit.isEmpty() ? number(value) : number(value) + QLatin1Char(' ') + unit;
}

QString seriesCaption(const SeriesId &id)
{
    const QuantityRow &row = quantityRow(id.quantity);
    QString name = codec::tableText(row.caption);
    const QString unitSuffix = QStringLiteral(" (") + codec::tableText(row.unit) + u')';
    if (name.endsWith(unitSuffix))
        name.chop(unitSuffix.size());
    if (id.quantity != Quantity::BoardPower) {
        // The series already names the port: "Port 1 power", not "Port 1 Port Power".
        const QString port = QStringLiteral("Port ");
        if (name.startsWith(port))
            name.remove(0, port.size());
        name = QStringLiteral("Port %1 %2").arg(id.port).arg(name.toLower());
    }
    return name;
}

QString readingText(const SeriesId &id, float value)
{
    return seriesCaption(id) + QLatin1Char(' ') + valueText(id.quantity, value);
}

QString rangeText(qint64 from, qint64 to, bool endsNow)
{
    const qint64 span = to - from;
    if (endsNow) {
        if (span % kHour == 0)
            return QStringLiteral("last %1 h").arg(span / kHour);
        if (span % kMinute == 0)
            return QStringLiteral("last %1 min").arg(span / kMinute);
        return QStringLiteral("last %1 s").arg(span / kSecond);
    }
    const QDateTime first = QDateTime::fromMSecsSinceEpoch(from, Qt::UTC);
    const QDateTime last = QDateTime::fromMSecsSinceEpoch(to, Qt::UTC);
    const bool seconds = span < 10 * kMinute;
    if (first.date() != last.date() || span >= kDay)
        return timeOf(first, seconds, true) + QStringLiteral(" - ") + timeOf(last, seconds, true)
            + QStringLiteral(" UTC");
    return timeOf(first, seconds, false) + u'-' + timeOf(last, seconds, false)
        + QStringLiteral(" UTC");
}

std::pair<float, float> axisRange(Quantity quantity, std::optional<std::pair<float, float>> shown)
{
    auto [low, high] = shown.value_or(std::pair { 0.0f, 1.0f });
    const bool fromZero = quantity == Quantity::BoardPower;
    if (fromZero)
        low = std::min(low, 0.0f);
    if (high - low < 1e-3f) {
        low -= fromZero ? 0.0f : 1.0f;
        high += 1;
    }
    const float pad = (high - low) * 0.05f;
    return { fromZero && low >= 0 ? 0.0f : low - pad, high + pad };
}

QString titleStripText(const QString &title, const QString &device, qint64 utcMs,
                       const QString &range)
{
    QStringList parts { title };
    if (!device.isEmpty())
        parts << device;
    parts << QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC).toString(u"yyyy-MM-dd HH:mm:ss")
            + QStringLiteral(" UTC");
    if (!range.isEmpty())
        parts << range;
    return parts.join(QStringLiteral("  \u00b7  "));
}

} // namespace vantor::views
