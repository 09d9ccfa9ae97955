// SPDX-License-Identifier: MIT
// The trend history: rings that stay bounded, extremes that survive the oldest dropping out
// and the reduction to pixel columns, and readings taken from an answer as the window shows them.

#include <examples.h>

#include <session/decodedanswer.h>
#include <views/trendlabels.h>
#include <views/trendstore.h>

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

using namespace vantor;
using views::ColumnExtent;
using views::Lane;
using views::Tier;

namespace {

QList<float> sequence(const QString &shape, int n)
{
    QList<float> values;
    QRandomGenerator rng(7);
    for (int i = 0; i < n; ++i) {
        if (shape == u"rising")
            values << float(i);
        else if (shape == u"falling")
            values << float(n - i);
        else if (shape == u"early spike")
            values << (i == 3 ? 1000.0f : i == 5 ? -1000.0f : 1.0f);
        else if (shape == u"constant")
            values << 48.0f;
        else
            values << float(rng.bounded(2000)) / 10.0f - 100.0f;
    }
    return values;
}

// A lane of one series, one reading every `stepMs` from t0.
Lane laneOf(const QList<float> &values, qint64 t0, qint64 stepMs, std::size_t raw = 100'000,
            std::size_t minutes = 1000)
{
    Lane lane(1, raw, minutes);
    for (qsizetype i = 0; i < values.size(); ++i)
        lane.append(t0 + i * stepMs, std::span(&values[i], 1));
    return lane;
}

// CIE L*a*b* (D65) of an sRGB colour, and its relative luminance.
struct Lab
{
    double l, a, b, luminance;
};

Lab labOf(const QColor &c)
{
    const auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    const double r = linear(c.red());
    const double g = linear(c.green());
    const double b = linear(c.blue());
    const double x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047;
    const double y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
    const double z = (0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.08883;
    const auto f = [](double t) {
        return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116;
    };
    return { 116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z)), y };
}

constexpr qint64 kNoon = 1'765'022'460'000; // 2025-12-06 12:01:00 UTC
constexpr qint64 kMinuteMs = 60'000;

} // namespace

class TestTrendStore : public QObject
{
    Q_OBJECT

private slots:
    void ringKeepsTheNewest_data()
    {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("pushes");
        QTest::newRow("part full") << 8 << 5;
        QTest::newRow("exactly full") << 8 << 8;
        QTest::newRow("wrapped once") << 8 << 13;
        QTest::newRow("wrapped many times") << 7 << 1000;
    }

    void ringKeepsTheNewest()
    {
        QFETCH(int, capacity);
        QFETCH(int, pushes);
        views::Ring<int> ring(static_cast<std::size_t>(capacity));
        int dropped = 0;
        for (int i = 0; i < pushes; ++i) {
            if (const auto out = ring.push(i)) {
                QCOMPARE(*out, dropped);
                ++dropped;
            }
        }
        const int held = std::min(capacity, pushes);
        QCOMPARE(int(ring.size()), held);
        QCOMPARE(int(ring.capacity()), capacity);
        for (int i = 0; i < held; ++i)
            QCOMPARE(ring[std::size_t(i)], pushes - held + i);
    }

    // The cached extremes equal a scan of what the ring holds after every push.
    void extremesSurviveDropping_data()
    {
        QTest::addColumn<QString>("shape");
        QTest::newRow("rising") << "rising";
        QTest::newRow("falling") << "falling";
        QTest::newRow("spikes drop out") << "early spike";
        QTest::newRow("constant") << "constant";
        QTest::newRow("noise") << "noise";
    }

    void extremesSurviveDropping()
    {
        QFETCH(QString, shape);
        const QList<float> values = sequence(shape, 200);
        views::Series series(16);
        for (qsizetype i = 0; i < values.size(); ++i) {
            series.push(values[i]);
            const auto held
                = values.mid(std::max<qsizetype>(0, i - 15), std::min<qsizetype>(16, i + 1));
            QCOMPARE(series.min(), *std::min_element(held.begin(), held.end()));
            QCOMPARE(series.max(), *std::max_element(held.begin(), held.end()));
        }
    }

    // A week at two readings a second takes no more memory than the first minute.
    void memoryStaysBounded()
    {
        views::TrendStore store;
        session::DecodedAnswer answer;
        answer.group = 2;
        answer.receivedUtcMs = 1'700'000'000'000;
        store.add(answer);
        const std::size_t first = store.memoryBytes();
        QVERIFY(first < 40u * 1024 * 1024);
        for (int i = 0; i < 25'000; ++i) {
            answer.receivedUtcMs += 30'000; // half-minute steps: more than a week
            store.add(answer);
        }
        QCOMPARE(store.memoryBytes(), first);
        const Lane *lane = store.find({ 17, views::Quantity::Voltage }).lane;
        QVERIFY(lane);
        QCOMPARE(lane->rawTimes().size(), views::TrendStore::kRawCapacity);
        QCOMPARE(lane->minuteCount(), views::TrendStore::kMinuteCapacity + 1);
        QCOMPARE(lane->rawTimes().back(), answer.receivedUtcMs);
    }

    // Every column holds the minimum and maximum of the readings in it, at any density.
    void reductionKeepsExtremes_data()
    {
        QTest::addColumn<int>("readings");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("shape");
        QTest::newRow("dense noise") << 50'000 << 1280 << "noise";
        QTest::newRow("spikes among flat readings") << 20'000 << 97 << "early spike";
        QTest::newRow("sparser than the pixels") << 300 << 1280 << "rising";
    }

    void reductionKeepsExtremes()
    {
        QFETCH(int, readings);
        QFETCH(int, width);
        QFETCH(QString, shape);
        const QList<float> values = sequence(shape, readings);
        const qint64 t0 = 1'000'000;
        const Lane lane = laneOf(values, t0, 500);
        const qint64 from = t0;
        const qint64 to = t0 + qint64(readings) * 500;
        std::vector<ColumnExtent> columns;
        views::reduce(lane, 0, Tier::Raw, from, to, width, columns);

        std::map<int, std::pair<float, float>> expected;
        for (int i = 0; i < readings; ++i) {
            const int c
                = std::min(width - 1, int(double(i * 500) * (double(width) / double(to - from))));
            auto [it, fresh] = expected.try_emplace(c, values[i], values[i]);
            it->second.first = std::min(it->second.first, values[i]);
            it->second.second = std::max(it->second.second, values[i]);
        }
        QCOMPARE(columns.size(), expected.size());
        for (const ColumnExtent &c : columns) {
            QCOMPARE(c.low, expected[c.column].first);
            QCOMPARE(c.high, expected[c.column].second);
        }
        QVERIFY(columns.size() <= std::size_t(width));
    }

    // Over the minute tier each column spans the lowest minimum and the highest maximum of its
    // minutes, whether a column holds many minutes or one.
    void minuteColumnsKeepExtremes_data()
    {
        QTest::addColumn<int>("readings");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("shape");
        // A reading every 20 s: three to a minute.
        QTest::newRow("two days in 97 columns") << 8640 << 97 << "noise";
        QTest::newRow("a spike among flat minutes") << 900 << 40 << "early spike";
        QTest::newRow("fewer minutes than columns") << 180 << 1280 << "noise";
    }

    void minuteColumnsKeepExtremes()
    {
        QFETCH(int, readings);
        QFETCH(int, width);
        QFETCH(QString, shape);
        constexpr qint64 kStepMs = 20'000;
        const QList<float> values = sequence(shape, readings);
        // The raw ring holds too little to reach back: the plot reads minutes.
        const Lane lane = laneOf(values, 0, kStepMs, 16, 10'000);
        const qint64 to = qint64(readings) * kStepMs;
        QCOMPARE(lane.tierFor(0), Tier::Minutes);
        std::vector<ColumnExtent> columns;
        views::reduce(lane, 0, Tier::Minutes, 0, to, width, columns);

        // Each reading lands in the column of its minute's start.
        std::map<int, std::pair<float, float>> expected;
        for (int i = 0; i < readings; ++i) {
            const qint64 minute = (i * kStepMs) / 60'000 * 60'000;
            const int c = std::min(width - 1, int(double(minute) * (double(width) / double(to))));
            auto [it, fresh] = expected.try_emplace(c, values[i], values[i]);
            it->second.first = std::min(it->second.first, values[i]);
            it->second.second = std::max(it->second.second, values[i]);
        }
        QCOMPARE(columns.size(), expected.size());
        for (const ColumnExtent &c : columns) {
            QCOMPARE(c.low, expected[c.column].first);
            QCOMPARE(c.high, expected[c.column].second);
        }
    }

    // A line is not drawn across a silence: the first column after it is marked.
    void silenceBreaksTheLine()
    {
        Lane lane(1, 100, 100);
        const float v = 1;
        for (qint64 t : { 0, 500, 1000, 9000, 9500 })
            lane.append(100'000 + t, std::span(&v, 1));
        std::vector<ColumnExtent> columns;
        views::reduce(lane, 0, Tier::Raw, 100'000, 110'000, 100, columns);
        QList<bool> gaps;
        for (const ColumnExtent &c : columns)
            gaps << c.gapBefore;
        QCOMPARE(gaps, (QList<bool> { true, false, false, true, false }));
    }

    // Each minute keeps its minimum, mean and maximum; long spans read them once the raw
    // readings no longer reach back far enough.
    void minuteTier()
    {
        const QList<float> values { 1, 3, 5, 10, 20, 2, 4 };
        // Readings at 0, 20, 40 s (minute 0), 60, 80, 100 s (minute 1), 120 s (minute 2).
        const Lane lane = laneOf(values, 0, 20'000, 4);
        QCOMPARE(lane.minuteCount(), std::size_t(3));
        const std::array<views::MinuteStat, 3> expected {
            { { 1, 3, 5 }, { 2, 32.0f / 3, 20 }, { 4, 4, 4 } }
        };
        for (std::size_t i = 0; i < expected.size(); ++i) {
            QCOMPARE(lane.minuteTime(i), qint64(i) * 60'000);
            QCOMPARE(lane.minute(0, i).min, expected[i].min);
            QCOMPARE(lane.minute(0, i).mean, expected[i].mean);
            QCOMPARE(lane.minute(0, i).max, expected[i].max);
        }
        QCOMPARE(lane.tierFor(0), Tier::Minutes); // the raw ring holds the last four only
        QCOMPARE(lane.tierFor(60'000), Tier::Raw);
        const auto at = views::sampleAt(lane, 0, Tier::Minutes, 70'000);
        QVERIFY(at);
        QCOMPARE(at->high, 20.0f);
    }

    // An answer's readings as the window shows them with its designed scales.
    void readingsFromAnAnswer()
    {
        QByteArray block(168, '\0');
        testing::setBytes(block, testing::kPortZeroExample);
        block[16] = char(0x9F); // total power 15.9 W
        session::DecodedAnswer answer;
        answer.group = 1;
        answer.receivedUtcMs = 5'000;
        answer.snapshot = *codec::decodeSnapshot(testing::bytesOf(block));
        views::TrendStore store;
        store.add(answer);
        const auto last = [&store](int port, views::Quantity q) {
            const views::TrendStore::Place place = store.find({ port, q });
            return place.lane->raw(place.series).values().back();
        };
        QCOMPARE(last(9, views::Quantity::Power), 15.9f);
        QCOMPARE(last(9, views::Quantity::Current), 350.5f);
        QCOMPARE(last(9, views::Quantity::Voltage), 48.0f);
        QCOMPARE(last(10, views::Quantity::Voltage), 0.0f);
        QCOMPARE(last(0, views::Quantity::BoardPower), 15.9f);
        QVERIFY(!store.find({ 1, views::Quantity::Power }).lane);
        QCOMPARE(store.firstTime(), std::optional<qint64>(5'000));
    }
    // The first n ports' colours are told apart at a glance (CIE76 distance) and each reads on
    // the plots' white (contrast 3:1 at least, as for lines and marks).
    void paletteIsDistinct_data()
    {
        QTest::addColumn<int>("ports");
        QTest::addColumn<double>("leastDistance");
        QTest::newRow("one group") << 8 << 30.0;
        QTest::newRow("two groups") << 16 << 20.0;
        QTest::newRow("three groups") << 24 << 15.0;
        QTest::newRow("a full board") << 48 << 8.0;
    }

    void paletteIsDistinct()
    {
        QFETCH(int, ports);
        QFETCH(double, leastDistance);
        for (int i = 1; i <= ports; ++i) {
            const Lab a = labOf(views::portColour(i));
            const double contrast = 1.05 / (a.luminance + 0.05);
            QVERIFY2(
                contrast >= 3.0,
                qPrintable(QStringLiteral("port %1: contrast %2 on white").arg(i).arg(contrast)));
            for (int j = 1; j < i; ++j) {
                const Lab b = labOf(views::portColour(j));
                const double distance = std::hypot(a.l - b.l, a.a - b.a, a.b - b.b);
                QVERIFY2(distance >= leastDistance,
                         qPrintable(QStringLiteral("ports %1 and %2 are %3 apart")
                                        .arg(j)
                                        .arg(i)
                                        .arg(distance)));
            }
        }
    }

    // The read-out names the series by its caption and gives the value in its unit.
    void readingText_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<views::Quantity>("quantity");
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("port power") << 1 << views::Quantity::Power << 6.0f << "Port 1 power 6 W";
        QTest::newRow("port current")
            << 12 << views::Quantity::Current << 350.5f << "Port 12 current 350.5 mA";
        QTest::newRow("port voltage")
            << 48 << views::Quantity::Voltage << 47.96f << "Port 48 voltage 47.96 V";
        QTest::newRow("total power")
            << 0 << views::Quantity::BoardPower << 23.4f << "Total Port Power 23.4 W";
    }

    void readingText()
    {
        QFETCH(int, port);
        QFETCH(views::Quantity, quantity);
        QFETCH(float, value);
        QFETCH(QString, text);
        QCOMPARE(views::readingText({ port, quantity }, value), text);
    }

    // The span is named as what is shown: a fixed span ending now by its length, anything else
    // by its times.
    void rangeText_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<bool>("endsNow");
        QTest::addColumn<QString>("text");
        QTest::newRow("last minute") << kNoon << kNoon + kMinuteMs << true << "last 1 min";
        QTest::newRow("last ten minutes")
            << kNoon << kNoon + 10 * kMinuteMs << true << "last 10 min";
        QTest::newRow("last hour") << kNoon << kNoon + 60 * kMinuteMs << true << "last 1 h";
        QTest::newRow("half an hour since start")
            << kNoon << kNoon + 30 * kMinuteMs << false << "12:01-12:31 UTC";
        QTest::newRow("paused minute, with seconds")
            << kNoon + 10'000 << kNoon + 70'000 << false << "12:01:10-12:02:10 UTC";
        QTest::newRow("across midnight")
            << kNoon + 11 * 60 * kMinuteMs << kNoon + 12 * 60 * kMinuteMs << false
            << "2025-12-06 23:01 - 2025-12-07 00:01 UTC";
    }

    void rangeText()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(bool, endsNow);
        QFETCH(QString, text);
        QCOMPARE(views::rangeText(from, to, endsNow), text);
    }

    // The total power's axis starts at 0 so that it reads against its limit; the others fit
    // their readings with a little room.
    void axisRange_data()
    {
        QTest::addColumn<views::Quantity>("quantity");
        QTest::addColumn<bool>("anyShown");
        QTest::addColumn<float>("low");
        QTest::addColumn<float>("high");
        QTest::addColumn<float>("axisLow");
        QTest::addColumn<float>("axisHigh");
        QTest::newRow("total power")
            << views::Quantity::BoardPower << true << 12.0f << 20.0f << 0.0f << 21.0f;
        QTest::newRow("flat total power")
            << views::Quantity::BoardPower << true << 15.0f << 15.0f << 0.0f << 15.75f;
        QTest::newRow("no total power yet")
            << views::Quantity::BoardPower << false << 0.0f << 0.0f << 0.0f << 1.05f;
        QTest::newRow("port power")
            << views::Quantity::Power << true << 12.0f << 20.0f << 11.6f << 20.4f;
        QTest::newRow("flat voltage")
            << views::Quantity::Voltage << true << 48.0f << 48.0f << 46.9f << 49.1f;
    }

    void axisRange()
    {
        QFETCH(views::Quantity, quantity);
        QFETCH(bool, anyShown);
        QFETCH(float, low);
        QFETCH(float, high);
        QFETCH(float, axisLow);
        QFETCH(float, axisHigh);
        const auto [l, h] = views::axisRange(
            quantity, anyShown ? std::optional(std::pair { low, high }) : std::nullopt);
        QVERIFY2(std::abs(l - axisLow) < 1e-4f && std::abs(h - axisHigh) < 1e-4f,
                 qPrintable(QStringLiteral("%1 to %2").arg(l).arg(h)));
    }

    void titleStrip()
    {
        QCOMPARE(views::titleStripText(QStringLiteral("Trends"), QStringLiteral("/dev/ttyUSB0"),
                                       kNoon + 30 * kMinuteMs, QStringLiteral("last 10 min")),
                 QStringLiteral("Trends  \u00b7  /dev/ttyUSB0  \u00b7  2025-12-06 12:31:00 UTC  "
                                "\u00b7  last 10 min"));
    }
};

QTEST_GUILESS_MAIN(TestTrendStore)
#include "test_trendstore.moc"
