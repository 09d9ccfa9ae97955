// SPDX-License-Identifier: MIT
#include "trendlabels.h"

#include <codec/numbertext.h>
#include <codec/tabletext.h>

#include <QDateTime>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace vantor::views {

namespace {

// The palette is picked from colours of these lightnesses and every fifth degree of hue, as
// vivid as the screen shows them, each far from those picked before it (CIEDE2000): the
// first eight ports are as far apart as eight can be, and each next port stays clear of all
// before it.
constexpr std::array<double, 4> kLightness { 32, 40, 48, 56 };
constexpr double kChroma = 80;
constexpr int kHueStep = 5;
constexpr double kFirstHue = 30; // a red
// What lines and marks need against the plots' white.
constexpr double kLeastContrast = 3.0;

constexpr double kPi = 3.14159265358979323846;

double radians(double degrees)
{
    return degrees * kPi / 180;
}

double degrees(double radians)
{
    return radians * 180 / kPi;
}

struct Lab
{
    double l = 0;
    double a = 0;
    double b = 0;
};

// CIE L*a*b* (D65) to linear sRGB.
std::array<double, 3> linearRgb(const Lab &lab)
{
    const double fy = (lab.l + 16) / 116;
    const double fx = fy + lab.a / 500;
    const double fz = fy - lab.b / 200;
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

double linearChannel(int v)
{
    const double s = v / 255.0;
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
}

double luminance(QRgb rgb)
{
    return 0.2126729 * linearChannel(qRed(rgb)) + 0.7151522 * linearChannel(qGreen(rgb))
        + 0.0721750 * linearChannel(qBlue(rgb));
}

Lab labOf(QRgb rgb)
{
    const double r = linearChannel(qRed(rgb));
    const double g = linearChannel(qGreen(rgb));
    const double b = linearChannel(qBlue(rgb));
    const auto f = [](double t) {
        return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116;
    };
    const double fx = f((0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047);
    const double fy = f(0.2126729 * r + 0.7151522 * g + 0.0721750 * b);
    const double fz = f((0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.08883);
    return { 116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz) };
}

// A colour of that lightness and hue, its chroma lowered until the screen can show it.
QRgb fromLch(double lightness, double chroma, double hueDegrees)
{
    const double h = radians(hueDegrees);
    std::array<double, 3> rgb {};
    for (double c = chroma; c >= 0; c -= 0.5) {
        rgb = linearRgb({ lightness, c * std::cos(h), c * std::sin(h) });
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

// The CIEDE2000 colour difference: how far apart two colours look.
double difference(const Lab &x, const Lab &y)
{
    const double cBar = (std::hypot(x.a, x.b) + std::hypot(y.a, y.b)) / 2;
    const double c7 = std::pow(cBar, 7);
    const double g = 0.5 * (1 - std::sqrt(c7 / (c7 + std::pow(25.0, 7))));
    const double a1 = (1 + g) * x.a;
    const double a2 = (1 + g) * y.a;
    const double c1 = std::hypot(a1, x.b);
    const double c2 = std::hypot(a2, y.b);
    const auto hueOf = [](double b, double a) {
        const double h = degrees(std::atan2(b, a));
        return h < 0 ? h + 360 : h;
    };
    const double h1 = hueOf(x.b, a1);
    const double h2 = hueOf(y.b, a2);
    double dh = h2 - h1;
    if (c1 * c2 == 0)
        dh = 0;
    else if (dh > 180)
        dh -= 360;
    else if (dh < -180)
        dh += 360;
    const double dL = y.l - x.l;
    const double dC = c2 - c1;
    const double dH = 2 * std::sqrt(c1 * c2) * std::sin(radians(dh / 2));
    const double lBar = (x.l + y.l) / 2;
    const double cBarP = (c1 + c2) / 2;
    double hBar = h1 + h2;
    if (c1 * c2 != 0)
        hBar = std::abs(h1 - h2) <= 180 ? hBar / 2
            : hBar < 360                ? (hBar + 360) / 2
                                        : (hBar - 360) / 2;
    const double t = 1 - 0.17 * std::cos(radians(hBar - 30)) + 0.24 * std::cos(radians(2 * hBar))
        + 0.32 * std::cos(radians(3 * hBar + 6)) - 0.20 * std::cos(radians(4 * hBar - 63));
    const double theta = 30 * std::exp(-std::pow((hBar - 275) / 25, 2));
    const double cP7 = std::pow(cBarP, 7);
    const double rC = 2 * std::sqrt(cP7 / (cP7 + std::pow(25.0, 7)));
    const double sL = 1 + 0.015 * std::pow(lBar - 50, 2) / std::sqrt(20 + std::pow(lBar - 50, 2));
    const double sC = 1 + 0.045 * cBarP;
    const double sH = 1 + 0.015 * cBarP * t;
    const double rT = -std::sin(radians(2 * theta)) * rC;
    return std::sqrt(std::pow(dL / sL, 2) + std::pow(dC / sC, 2) + std::pow(dH / sH, 2)
                     + rT * (dC / sC) * (dH / sH));
}

std::array<QRgb, codec::kMaxPortCount> makePalette()
{
    struct Candidate
    {
        QRgb rgb;
        Lab lab;
        double nearest; // the difference to the nearest colour picked so far
    };
    std::vector<Candidate> candidates;
    for (double lightness : kLightness) {
        for (int hue = 0; hue < 360; hue += kHueStep) {
            const QRgb rgb = fromLch(lightness, kChroma, hue);
            if (1.05 / (luminance(rgb) + 0.05) >= kLeastContrast)
                candidates.push_back({ rgb, labOf(rgb), std::numeric_limits<double>::max() });
        }
    }
    std::array<QRgb, codec::kMaxPortCount> palette {};
    QRgb picked = fromLch(kLightness[2], kChroma, kFirstHue);
    for (QRgb &colour : palette) {
        colour = picked;
        const Lab lab = labOf(picked);
        for (Candidate &c : candidates)
            c.nearest = std::min(c.nearest, difference(c.lab, lab));
        picked = std::ranges::max(candidates, {}, &Candidate::nearest).rgb;
    }
    return palette;
}

QString timeOf(const QDateTime &at, bool seconds, bool date)
{
    const QString time = at.toString(seconds ? u"HH:mm:ss" : u"HH:mm");
    return date ? at.toString(u"yyyy-MM-dd ") + time : time;
}

} // namespace

QString plainNumber(float v)
{
    return codec::numberText(v, QLocale::c());
}

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
    return unit.isEmpty() ? plainNumber(value) : plainNumber(value) + QLatin1Char(' ') + unit;
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
