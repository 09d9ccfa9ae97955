// SPDX-License-Identifier: MIT
#pragma once

// Small helpers shared by the command line's benchmarks.

#include <sim/simulatedboard.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QString>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace vantor::bench {

struct Spread
{
    double median = 0;
    double p95 = 0;
    double min = 0;
    double max = 0;
};

inline Spread spread(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    if (n == 0)
        return {};
    const double median = n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    return { median, v[std::min(n - 1, n * 95 / 100)], v.front(), v.back() };
}

inline QString describe(const Spread &s, const char *unit = "ms")
{
    return QStringLiteral("median %1 %5 (p95 %2, min %3, max %4)")
        .arg(s.median, 0, 'f', 2)
        .arg(s.p95, 0, 'f', 2)
        .arg(s.min, 0, 'f', 2)
        .arg(s.max, 0, 'f', 2)
        .arg(QLatin1StringView(unit));
}

// The benchmark's --runs N (at least 1), after quieting the board's own log.
inline int parseRuns(const QCoreApplication &app, const QString &description, int defaultRuns)
{
    QLoggingCategory::setFilterRules(QStringLiteral("vantor.sim.info=false"));
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    const QCommandLineOption runs(QStringLiteral("runs"),
                                  QStringLiteral("Measured runs (default %1).").arg(defaultRuns),
                                  QStringLiteral("N"), QString::number(defaultRuns));
    parser.addOption(runs);
    parser.process(app);
    return std::max(1, parser.value(runs).toInt());
}

// Starts the board on a pseudo-terminal named in dir, or says on out why it did not.
inline bool startBoard(sim::SimulatedBoard &board, const QTemporaryDir &dir, QTextStream &out)
{
    if (dir.isValid() && board.start(dir.filePath(QStringLiteral("board"))))
        return true;
    out << "the board did not start: " << board.errorString() << "\n";
    return false;
}

} // namespace vantor::bench
