// SPDX-License-Identifier: MIT
// Measurements of the link:
//  - the round trip of one port refresh over a pseudo-terminal, from the request to the decoded
//    answer, against the wire's own limit at 19200 bit/s (and unpaced, for the overhead alone);
//  - with --ser2net, the same round trip through a real ser2net on loopback (raw TCP and
//    RFC 2217) in front of the same paced board's pty, as a ratio to the pty itself;
//  - the transaction engine's own CPU time per transaction, on a fake link and fake timers.

#include "fakes.h"
#include "ser2netrig.h"

#include <protocol/transactionengine.h>
#include <serial/devicelink.h>
#include <session/session.h>
#include <sim/simulatedboard.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <vector>

using vantor::protocol::RequestKind;
using vantor::protocol::TransactionEngine;

namespace {

// One request byte and a 168-byte answer, 10 bits a byte at 19200 bit/s.
constexpr double kWireLimitMs = (1 + 168) * 10 * 1000.0 / 19200;

struct Stats
{
    double median = 0;
    double min = 0;
    double max = 0;
};

Stats statsOf(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    if (samples.empty())
        return {};
    return { samples[samples.size() / 2], samples.front(), samples.back() };
}

double threadCpuNs()
{
    timespec ts {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

// Round trips of port refreshes through the real link and engine; empty on failure.
std::vector<double> roundTrips(const QString &device, int runs, QTextStream &err)
{
    vantor::serial::DeviceLink link;
    link.setPortName(device);
    bool opened = false;
    // ser2net lets its device go a moment after the last client left: busy is tried again.
    for (int attempt = 0; attempt < 20 && !opened; ++attempt) {
        if (attempt > 0) {
            QEventLoop pause;
            QTimer::singleShot(100, &pause, &QEventLoop::quit);
            pause.exec();
        }
        opened = link.open();
        if (opened && !link.isOpen()) {
            // A network board opens in the background.
            QEventLoop wait;
            QObject::connect(&link, &vantor::serial::SerialLink::openChanged, &wait,
                             &QEventLoop::quit);
            QObject::connect(&link, &vantor::serial::SerialLink::portFailed, &wait,
                             &QEventLoop::quit);
            wait.exec();
            opened = link.isOpen();
        }
        if (link.openFailure() != vantor::serial::OpenFailure::Busy)
            break;
    }
    if (!opened) {
        err << "cannot open " << device << ": " << link.errorString() << Qt::endl;
        return {};
    }
    int decoded = 0;
    vantor::protocol::Hooks hooks;
    hooks.decodeAnswer = [&decoded](std::uint8_t, std::span<const std::uint8_t>) {
        ++decoded;
    };
    vantor::protocol::QtTimer timer2;
    TransactionEngine engine(link, timer2, hooks);

    std::vector<double> samples;
    constexpr int kWarmUp = 2;
    for (int run = 0; run < runs + kWarmUp; ++run) {
        QEventLoop loop;
        const auto done = QObject::connect(&engine, &TransactionEngine::requestCompleted, &loop,
                                           &QEventLoop::quit);
        const auto lost = QObject::connect(&engine, &TransactionEngine::requestTimedOut, &loop,
                                           &QEventLoop::quit);
        const int before = decoded;
        QElapsedTimer clock;
        clock.start();
        engine.requestPortRefresh();
        loop.exec();
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        QObject::disconnect(done);
        QObject::disconnect(lost);
        if (decoded != before + 1) {
            err << "refresh " << run << " got no answer" << Qt::endl;
            return {};
        }
        if (run >= kWarmUp)
            samples.push_back(ms);
    }
    return samples;
}

// CPU time of the engine alone per transaction, in microseconds: median over batches.
Stats engineCpu(RequestKind kind, int batches, int perBatch)
{
    using vantor::testing::FakeLink;
    using vantor::testing::FakeTimer;
    FakeLink link;
    FakeTimer timer2;
    std::size_t sink = 0;
    vantor::protocol::Hooks hooks;
    hooks.decodeAnswer = [&sink](std::uint8_t code, std::span<const std::uint8_t> answer) {
        sink += code + answer[167];
    };
    hooks.buildSystemBlock
        = [&sink](vantor::protocol::SystemBlock &block) -> std::optional<QString> {
        block[0] = 8;
        ++sink;
        return std::nullopt;
    };
    hooks.buildPortBlock = [&sink](vantor::protocol::PortBlock &block) -> std::optional<QString> {
        block[0] = 0x20;
        ++sink;
        return std::nullopt;
    };
    hooks.portGroup = [] {
        return 0;
    };
    TransactionEngine engine(link, timer2, hooks);

    const QByteArray answer(168, char(0x5a));
    const QByteArray ack(1, char(0x06));
    std::vector<double> samples;
    for (int b = 0; b < batches; ++b) {
        const double start = threadCpuNs();
        for (int i = 0; i < perBatch; ++i) {
            engine.request(kind);
            if (kind == RequestKind::PortRefresh) {
                link.feed(answer);
            } else {
                link.feed(ack);
                link.drain();
            }
            link.writes.clear();
        }
        samples.push_back((threadCpuNs() - start) / perBatch / 1000.0);
    }
    // Every transaction ended, and each kind did its work (a decode or a built block).
    if (engine.transactionBusy() || sink == 0)
        return {};
    return statsOf(samples);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures the serial link and the engine."));
    parser.addHelpOption();
    const QCommandLineOption runsOption(QStringLiteral("runs"),
                                        QStringLiteral("Round trips to time (default 30)."),
                                        QStringLiteral("N"), QStringLiteral("30"));
    const QCommandLineOption deviceOption(
        QStringLiteral("device"),
        QStringLiteral("Time a board already on PATH (vantor-sim or real) instead of the built-in "
                       "one."),
        QStringLiteral("PATH"));
    const QCommandLineOption ser2netOption(
        QStringLiteral("ser2net"),
        QStringLiteral("Also time the paced board through ser2net on loopback, raw TCP and "
                       "RFC 2217, against its own pty (needs ser2net)."));
    parser.addOptions({ runsOption, deviceOption, ser2netOption });
    parser.process(app);
    QLoggingCategory::setFilterRules(QStringLiteral("vantor.*.info=false"));

    QTextStream out(stdout);
    QTextStream err(stderr);
    const int runs = qMax(1, parser.value(runsOption).toInt());
    out.setRealNumberNotation(QTextStream::FixedNotation);

    const auto report = [&out](const QString &what, const Stats &s, const QString &unit) {
        out.setRealNumberPrecision(s.median < 10 ? 2 : 1);
        out << what << ": median " << s.median << ' ' << unit << " (min " << s.min << ", max "
            << s.max << ")" << Qt::endl;
    };

    if (parser.isSet(ser2netOption)) {
        QTemporaryDir dir;
        vantor::sim::SimulatedBoard board;
        board.setPaced(true);
        if (!board.start(dir.filePath(QStringLiteral("board")))) {
            err << "cannot start the board: " << board.errorString() << Qt::endl;
            return 1;
        }
        if (vantor::testing::ser2netExecutable().isEmpty()) {
            err << "ser2net is not installed" << Qt::endl;
            return 1;
        }
        vantor::testing::Ser2net ser2net;
        if (!ser2net.start(board.devicePath())) {
            err << ser2net.why << Qt::endl;
            return 1;
        }
        // Interleaved, so that the load of a shared machine falls on all three alike.
        std::vector<double> direct;
        std::vector<double> raw;
        std::vector<double> telnet;
        constexpr int kRounds = 3;
        const int perRound = qMax(1, runs / kRounds);
        for (int round = 0; round < kRounds; ++round) {
            for (auto [name, samples] : { std::pair { board.devicePath(), &direct },
                                          std::pair { ser2net.rawUrl(), &raw },
                                          std::pair { ser2net.rfc2217Url(), &telnet } }) {
                const auto got = roundTrips(name, perRound, err);
                if (got.empty())
                    return 1;
                samples->insert(samples->end(), got.begin(), got.end());
                // ser2net holds (and reads) the pty for a moment after its client left: the
                // next one waits for it to let go.
                QEventLoop pause;
                QTimer::singleShot(500, &pause, &QEventLoop::quit);
                pause.exec();
            }
        }
        const Stats d = statsOf(direct);
        const Stats r = statsOf(raw);
        const Stats t = statsOf(telnet);
        const QString n = QStringLiteral(", 19200 bit/s, %1 runs").arg(direct.size());
        report(QStringLiteral("port refresh round trip, pty") + n, d, QStringLiteral("ms"));
        report(QStringLiteral("port refresh round trip, ser2net raw TCP") + n, r,
               QStringLiteral("ms"));
        report(QStringLiteral("port refresh round trip, ser2net RFC 2217") + n, t,
               QStringLiteral("ms"));
        out.setRealNumberPrecision(3);
        out << "ratio to the pty (medians): raw TCP " << r.median / d.median << ", RFC 2217 "
            << t.median / d.median << Qt::endl;
        return 0;
    }

    if (parser.isSet(deviceOption)) {
        const auto samples = roundTrips(parser.value(deviceOption), runs, err);
        if (samples.empty())
            return 1;
        report(QStringLiteral("port refresh round trip, %1 runs").arg(runs), statsOf(samples),
               QStringLiteral("ms"));
    } else {
        QTemporaryDir dir;
        for (const bool paced : { true, false }) {
            vantor::sim::SimulatedBoard board;
            board.setPaced(paced);
            if (!board.start(dir.filePath(QStringLiteral("board")))) {
                err << "cannot start the board: " << board.errorString() << Qt::endl;
                return 1;
            }
            const auto samples = roundTrips(board.devicePath(), runs, err);
            if (samples.empty())
                return 1;
            report(QStringLiteral("port refresh round trip, %1, %2 runs")
                       .arg(paced ? QStringLiteral("19200 bit/s") : QStringLiteral("unpaced"))
                       .arg(runs),
                   statsOf(samples), QStringLiteral("ms"));
        }
    }
    out.setRealNumberPrecision(1);
    out << "wire limit: 169 bytes x 10 bits / 19200 bit/s = " << kWireLimitMs << " ms" << Qt::endl;

    constexpr int kBatches = 51;
    constexpr int kPerBatch = 2000;
    const QString batches = QStringLiteral(", %1 x %2").arg(kBatches).arg(kPerBatch);
    report(QStringLiteral("engine CPU per port refresh") + batches,
           engineCpu(RequestKind::PortRefresh, kBatches, kPerBatch), QStringLiteral("us"));
    report(QStringLiteral("engine CPU per system write") + batches,
           engineCpu(RequestKind::SystemWrite, kBatches, kPerBatch), QStringLiteral("us"));
    report(QStringLiteral("engine CPU per port write") + batches,
           engineCpu(RequestKind::PortWrite, kBatches, kPerBatch), QStringLiteral("us"));
    return 0;
}
