// SPDX-License-Identifier: MIT
// The real vantor-share in front of a simulated board paced at 19200 bit/s (in this process),
// with 1, 4 and 16 raw TCP clients that each ask a port status refresh every 500 ms the way
// the panel's auto-refresh does (a tick while its request is open is kept pending and sent at
// its answer; an unanswered request is given up after 2 s). Per client count: the board's
// transactions a second, every client's interval between answers (median and p95) and the
// share's CPU time as a share of one core.

#include "clibench.h"

#include <sim/simulatedboard.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <unistd.h>

namespace {

constexpr int kRefreshMs = 500;
constexpr int kTimeoutMs = 2000;
constexpr qsizetype kSnapshot = 168;

class Viewer : public QObject
{
public:
    Viewer(quint16 port, int phaseMs)
    {
        socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket.connectToHost(QHostAddress::LocalHost, port);
        connect(&socket, &QTcpSocket::readyRead, this, [this] { onReadable(); });
        tick.setInterval(kRefreshMs);
        connect(&tick, &QTimer::timeout, this, [this] { request(); });
        QTimer::singleShot(phaseMs, this, [this] { tick.start(); });
        clock.start();
    }

    void request()
    {
        if (waiting && clock.elapsed() - askedMs < kTimeoutMs) {
            pending = true;
            return;
        }
        waiting = true;
        pending = false;
        received.clear();
        askedMs = clock.elapsed();
        socket.write("\x28", 1);
    }

    void onReadable()
    {
        received += socket.readAll();
        if (!waiting || received.size() < kSnapshot)
            return;
        waiting = false;
        const qint64 now = clock.elapsed();
        if (lastAnswerMs >= 0 && measuring)
            intervals.push_back(double(now - lastAnswerMs));
        lastAnswerMs = now;
        if (pending)
            request();
    }

    QTcpSocket socket;
    QTimer tick;
    QElapsedTimer clock;
    QByteArray received;
    bool waiting = false;
    bool pending = false;
    bool measuring = false;
    qint64 askedMs = 0;
    qint64 lastAnswerMs = -1;
    std::vector<double> intervals;
};

// User and system CPU time of a process, in seconds.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // Fields after the command's closing parenthesis; utime and stime are the 14th and 15th.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble())
        / double(::sysconf(_SC_CLK_TCK));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = vantor::bench::parseRuns(
        app,
        QStringLiteral("vantor-share with 1, 4 and 16 clients refreshing every 500 ms; --runs is "
                       "the measured seconds per client count."),
        30);
    QTextStream out(stdout);

    for (const int clients : { 1, 4, 16 }) {
        QTemporaryDir dir;
        vantor::sim::SimulatedBoard board;
        board.setPaced(true);
        if (!vantor::bench::startBoard(board, dir, out))
            return 1;
        QProcess share;
        share.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        share.start(QStringLiteral(VANTOR_SHARE_PATH),
                    { "--device", board.devicePath(), "--listen", "0" });
        QByteArray announced;
        if (!QTest::qWaitFor(
                [&] {
                    announced += share.readAllStandardOutput();
                    return announced.contains('\n');
                },
                10000)) {
            out << "vantor-share did not start\n";
            return 1;
        }
        const quint16 port = quint16(announced.mid(7, announced.indexOf('\n') - 7).toUInt());

        std::vector<std::unique_ptr<Viewer>> viewers;
        for (int i = 0; i < clients; ++i)
            viewers.push_back(std::make_unique<Viewer>(
                port, int(QRandomGenerator::global()->bounded(kRefreshMs))));
        // Warm up, then measure.
        QTest::qWait(2000);
        int commands = 0;
        QObject::connect(&board, &vantor::sim::SimulatedBoard::commandReceived, &app,
                         [&commands] { ++commands; });
        for (auto &v : viewers)
            v->measuring = true;
        const double cpuBefore = cpuSeconds(share.processId());
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(seconds * 1000);
        const double elapsed = double(wall.elapsed()) / 1000.0;
        const double cpu = cpuSeconds(share.processId()) - cpuBefore;

        std::vector<double> all;
        double worstP95 = 0;
        for (auto &v : viewers) {
            v->measuring = false;
            all.insert(all.end(), v->intervals.begin(), v->intervals.end());
            worstP95 = std::max(worstP95, vantor::bench::spread(v->intervals).p95);
        }
        out << clients << " client(s), " << seconds << " s: board "
            << QString::number(commands / elapsed, 'f', 2) << " transactions/s; refresh interval "
            << vantor::bench::describe(vantor::bench::spread(all)) << ", worst client's p95 "
            << QString::number(worstP95, 'f', 1) << " ms; share CPU "
            << QString::number(100.0 * cpu / elapsed, 'f', 2) << " % of a core\n";
        out.flush();
        viewers.clear();
        share.terminate();
        share.waitForFinished();
    }
    return 0;
}
