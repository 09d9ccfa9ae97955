// SPDX-License-Identifier: MIT
// Start-up of vantor-panel: from process start to the first byte on the wire and to the window
// shown, with the panel offscreen on a paced simulated board in this process.

#include <sim/boardmodel.h>
#include <sim/simulatedboard.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <optional>
#include <vector>

namespace {

constexpr int kGiveUpMs = 20000;

struct Run
{
    double startedMs = 0;   // the process exists (fork and exec done)
    double firstByteMs = 0; // the board read the panel's first byte
    double shownMs = 0;     // the panel logged "window shown"
};

double msSince(const QElapsedTimer &clock)
{
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// QSerialPort leaves its lock file when the panel is ended by a signal; remove ours.
void removeLockFile(const QString &device)
{
    QString name = device;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char *dir : { "/var/lock", "/tmp" })
        QFile::remove(QDir(QString::fromLatin1(dir)).filePath(QStringLiteral("LCK..") + name));
}

std::optional<Run> measure(const QString &panel, QString &why)
{
    QTemporaryDir dir;
    vantor::sim::SimulatedBoard board(std::make_unique<vantor::sim::BoardModel>());
    if (!dir.isValid() || !board.start(dir.filePath(QStringLiteral("com1")))) {
        why = board.errorString();
        return std::nullopt;
    }

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vantor.app.info=true"));
    process.setProcessEnvironment(env);

    QElapsedTimer clock;
    Run run { -1, -1, -1 };
    QByteArray err;
    QObject::connect(&process, &QProcess::started, [&] { run.startedMs = msSince(clock); });
    QObject::connect(&board, &vantor::sim::SimulatedBoard::wireTraffic,
                     [&](const vantor::sim::WireEntry &entry) {
                         if (run.firstByteMs < 0
                             && entry.direction == vantor::sim::Direction::FromPanel)
                             run.firstByteMs = msSince(clock);
                     });
    QObject::connect(&process, &QProcess::readyReadStandardError, [&] {
        err += process.readAllStandardError();
        if (run.shownMs < 0 && err.contains("vantor.app: window shown"))
            run.shownMs = msSince(clock);
    });

    clock.start();
    process.start(panel, { QStringLiteral("--com1"), board.devicePath() });
    const QDeadlineTimer deadline(kGiveUpMs);
    while ((run.firstByteMs < 0 || run.shownMs < 0) && !deadline.hasExpired()
           && process.state() != QProcess::NotRunning)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);

    process.terminate();
    process.waitForFinished(5000);
    removeLockFile(board.devicePath());
    if (run.firstByteMs < 0 || run.shownMs < 0) {
        why = QStringLiteral("no first byte or no \"window shown\" within %1 ms: %2")
                  .arg(kGiveUpMs)
                  .arg(QString::fromLocal8Bit(err));
        return std::nullopt;
    }
    return run;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The board's own notes would drown the table.
    QLoggingCategory::setFilterRules(QStringLiteral("vantor.sim.info=false"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Times vantor-panel from process start to its first byte on the line and to its window "
        "shown, against a paced simulated board."));
    parser.addHelpOption();
    const QCommandLineOption runsOption(QStringLiteral("runs"),
                                        QStringLiteral("Measured runs (default 10)."),
                                        QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption panelOption(QStringLiteral("panel"),
                                         QStringLiteral("The panel executable (default: the one "
                                                        "built with this benchmark)."),
                                         QStringLiteral("PATH"), QStringLiteral(VANTOR_PANEL_PATH));
    parser.addOption(runsOption);
    parser.addOption(panelOption);
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    bool ok = false;
    const int runs = parser.value(runsOption).toInt(&ok);
    if (!ok || runs < 1) {
        err << "--runs needs a positive number\n";
        return 2;
    }
    const QString panel = parser.value(panelOption);

    // One run first that is not counted: it brings the panel and its libraries into the cache.
    QString why;
    if (!measure(panel, why)) {
        err << "warm-up failed: " << why << "\n";
        return 1;
    }

    std::vector<double> started;
    std::vector<double> firstByte;
    std::vector<double> shown;
    out << "run  started  first byte  window shown  (ms from process start)\n";
    for (int i = 0; i < runs; ++i) {
        const std::optional<Run> run = measure(panel, why);
        if (!run) {
            err << "run " << i + 1 << " failed: " << why << "\n";
            return 1;
        }
        started.push_back(run->startedMs);
        firstByte.push_back(run->firstByteMs);
        shown.push_back(run->shownMs);
        out << QStringLiteral("%1  %2  %3  %4\n")
                   .arg(i + 1, 3)
                   .arg(run->startedMs, 7, 'f', 1)
                   .arg(run->firstByteMs, 10, 'f', 1)
                   .arg(run->shownMs, 12, 'f', 1);
        out.flush();
    }
    const auto range = [](const std::vector<double> &v) {
        const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
        return QStringLiteral("median %1 ms (min %2, max %3)")
            .arg(median(v), 0, 'f', 1)
            .arg(*lo, 0, 'f', 1)
            .arg(*hi, 0, 'f', 1);
    };
    out << "\nover " << runs << " runs:\n"
        << "  process started:     " << range(started) << "\n"
        << "  first byte on wire:  " << range(firstByte) << "\n"
        << "  window shown:        " << range(shown) << "\n";
    return 0;
}
