// SPDX-License-Identifier: MIT
// The trend plots over a synthetic day: 48 ports (six groups) with power, current and voltage
// at two readings a second each for 24 hours, plus the board's total. Prints the history's
// memory (its own count and the process's resident growth) and the repaint time of a
// 1280-pixel-wide plot for each span, following "now" as the live plot does (every repaint a
// new window, so every series is reduced again), for the default choice (ports 1-8, four
// quantities) and for all 48 ports. With an argument, saves the plot of each span for the
// default choice as PNG files with that prefix, to look at.

#include <codec/configuration.h>
#include <session/decodedanswer.h>
#include <views/trendplot.h>
#include <views/trendstore.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace vantor;

namespace {

constexpr qint64 kStart = 1'765'000'000'000;
constexpr qint64 kDayMs = 24LL * 3600 * 1000;
constexpr qint64 kStepMs = 500;

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// The answers of the six groups at one moment: slow swings, noise, and a rare spike, like
// ports powering up, drawing and faulting; the board's total is the same in all six.
class Synthetic
{
public:
    void add(views::TrendStore &store, qint64 t)
    {
        const double hours = static_cast<double>(t - kStart) / 3.6e6;
        const int total = static_cast<int>(600 + 200 * std::sin(hours)) + next() % 8;
        for (int g = 0; g < views::TrendStore::kGroupLanes; ++g) {
            m_answer.group = g;
            m_answer.code = static_cast<std::uint8_t>(40 + g);
            m_answer.receivedUtcMs = t + g * 10;
            for (int p = 0; p < 8; ++p) {
                codec::PortStatus &s = m_answer.snapshot.portStatus[static_cast<std::size_t>(p)];
                const bool spike = next() == 0;
                s.PORT_POWER = static_cast<int>(80 + 60 * std::sin(hours + p + g)) + next() % 4
                    + (spike ? 100 : 0);
                s.PORT_CURRENT = s.PORT_POWER * 21 + next() % 20;
                s.PORT_VOLTAGE = 4790 + next() % 20;
            }
            m_answer.snapshot.status.BOX_PWR = total;
            store.add(m_answer);
        }
    }

private:
    int next()
    {
        m_noise = m_noise * 1664525u + 1013904223u;
        return static_cast<int>(m_noise >> 24);
    }

    session::DecodedAnswer m_answer;
    std::uint32_t m_noise = 12345;
};

struct Timing
{
    double median = 0;
    double max = 0;
};

// Each repaint half a second later, with the answers of that half second in the history.
Timing repaint(views::TrendPlot &plot, QImage &image, Synthetic &answers, views::TrendStore &store,
               qint64 &now, int runs)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        now += kStepMs;
        answers.add(store, now - kStepMs);
        QElapsedTimer clock;
        clock.start();
        plot.render(&image);
        ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return { ms[ms.size() / 2], ms.back() };
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);

    const long before = residentKiB();
    views::TrendStore store;
    QElapsedTimer filling;
    filling.start();
    Synthetic answers;
    for (qint64 t = kStart; t < kStart + kDayMs; t += kStepMs)
        answers.add(store, t);
    const long after = residentKiB();
    out << "24 h of 48 ports x 3 quantities + total at 2 readings/s, filled in "
        << filling.elapsed() / 1000.0 << " s\n";
    out << "history: " << store.memoryBytes() / (1024.0 * 1024.0)
        << " MiB counted, resident growth " << (after - before) / 1024.0 << " MiB (limit 40 MiB)\n";

    qint64 now = kStart + kDayMs;
    views::TrendPlot plot(store);
    plot.setClock([&now] { return now; });
    plot.resize(1280 + 62 + 12, 800);
    QImage image(plot.size(), QImage::Format_ARGB32_Premultiplied);

    const std::array<std::pair<views::TrendPlot::Span, const char *>, 4> spans { {
        { views::TrendPlot::Span::OneMinute, "1 min" },
        { views::TrendPlot::Span::TenMinutes, "10 min" },
        { views::TrendPlot::Span::OneHour, "1 h" },
        { views::TrendPlot::Span::All, "all (24 h)" },
    } };
    const QList<views::Quantity> quantities { views::Quantity::Power, views::Quantity::Current,
                                              views::Quantity::Voltage,
                                              views::Quantity::BoardPower };
    plot.setQuantities(quantities);
    for (const int ports : { 8, 48 }) {
        QList<int> chosen;
        for (int p = 1; p <= ports; ++p)
            chosen << p;
        plot.setPorts(chosen);
        out << "repaint, 1280 px plot, " << ports << " ports x 3 + total ("
            << plot.shownSeries().size() << " series), median / max of 41:\n";
        for (const auto &[span, name] : spans) {
            plot.setSpan(span);
            repaint(plot, image, answers, store, now, 3);
            const Timing t = repaint(plot, image, answers, store, now, 41);
            if (argc > 1 && ports == 8)
                image.save(QStringLiteral("%1-%2.png")
                               .arg(QString::fromLocal8Bit(argv[1]))
                               .arg(static_cast<int>(span)));
            out << "  " << qSetFieldWidth(11) << Qt::left << name << qSetFieldWidth(0) << t.median
                << " ms / " << t.max << " ms\n";
        }
    }
    out << "target: under 8 ms\n";
    return 0;
}
