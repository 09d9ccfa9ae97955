// SPDX-License-Identifier: MIT
// `vantor-cli read` from process start to exit against a simulated board paced at 19200 bit/s
// in this process, next to `vantor-cli --version` (the cost of starting the process at all).
// One request byte and 168 answer bytes take 169 x 10 / 19200 = 88.0 ms on the wire.

#include "clibench.h"

#include <sim/simulatedboard.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

namespace {

constexpr double kWireMs = 169.0 * 10.0 / 19200.0 * 1000.0;

// Milliseconds from start to exit, or a negative number when it failed.
double timeRun(const QStringList &arguments, QString &why)
{
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(VANTOR_CLI_PATH), arguments);
    loop.exec();
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    if (process.state() != QProcess::NotRunning || process.exitCode() != 0) {
        process.kill();
        process.waitForFinished();
        why = QString::fromLocal8Bit(process.readAllStandardError());
        return -1;
    }
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = vantor::bench::parseRuns(
        app, QStringLiteral("Times vantor-cli read from process start to exit on a paced board."),
        20);

    QTextStream out(stdout);
    QTemporaryDir dir;
    vantor::sim::SimulatedBoard board;
    board.setPaced(true);
    if (!vantor::bench::startBoard(board, dir, out))
        return 1;

    QString why;
    const QStringList read { QStringLiteral("-d"), board.devicePath(), QStringLiteral("read") };
    const QStringList version { QStringLiteral("--version") };
    // Not counted: brings the executable and its libraries into the cache.
    if (timeRun(read, why) < 0) {
        out << "read failed: " << why << "\n";
        return 1;
    }
    std::vector<double> reads;
    std::vector<double> versions;
    for (int i = 0; i < runs; ++i) {
        const double r = timeRun(read, why);
        const double v = timeRun(version, why);
        if (r < 0 || v < 0) {
            out << "run " << i + 1 << " failed: " << why << "\n";
            return 1;
        }
        reads.push_back(r);
        versions.push_back(v);
    }
    const vantor::bench::Spread r = vantor::bench::spread(reads);
    out << "over " << runs << " runs, from process start to exit:\n"
        << "  read (paced board):  " << vantor::bench::describe(r) << "\n"
        << "  --version:           " << vantor::bench::describe(vantor::bench::spread(versions))
        << "\n"
        << QStringLiteral("  wire time of a whole read %1 ms; target 1.3 x = %2 ms; median read "
                          "= %3 x the wire time\n")
               .arg(kWireMs, 0, 'f', 1)
               .arg(1.3 * kWireMs, 0, 'f', 1)
               .arg(r.median / kWireMs, 0, 'f', 2);
    return 0;
}
