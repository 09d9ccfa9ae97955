// SPDX-License-Identifier: MIT
// How long a scrape of /metrics takes while vantor-cli metrics --group all refreshes a live
// simulated 48-port board every 100 ms, one group at a time: from connecting to the server
// closing the connection after the answer. And the exporter's CPU time meanwhile.

#include "clibench.h"

#include <sim/liveboardmodel.h>
#include <sim/scenario.h>
#include <sim/simulatedboard.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <unistd.h>

namespace {

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Milliseconds to the closed connection, and the answer's size; negative on failure.
double scrape(quint16 port, qsizetype &size)
{
    QTcpSocket socket;
    QEventLoop loop;
    QByteArray reply;
    QObject::connect(&socket, &QTcpSocket::connected, &socket,
                     [&] { socket.write("GET /metrics HTTP/1.1\r\nHost: bench\r\n\r\n"); });
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [&] { reply += socket.readAll(); });
    QObject::connect(&socket, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    socket.connectToHost(QHostAddress::LocalHost, port);
    loop.exec();
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    reply += socket.readAll();
    size = reply.size();
    return reply.startsWith("HTTP/1.1 200") && reply.contains("vantor_board_up") ? ms : -1;
}

// The process's user and system CPU time so far, in seconds; negative when unreadable.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // The fields after the command's name, which is in parentheses and may hold spaces.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    // utime and stime are fields 14 and 15 of the whole line.
    return double(fields[11].toLongLong() + fields[12].toLongLong())
        / double(::sysconf(_SC_CLK_TCK));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = vantor::bench::parseRuns(
        app, QStringLiteral("Times /metrics scrapes while vantor-cli metrics refreshes the board."),
        500);

    QTextStream out(stdout);
    QTemporaryDir dir;
    vantor::sim::Scenario scenario = vantor::sim::demoScenario();
    scenario.portCount = vantor::sim::kMaxPortCount;
    vantor::sim::SimulatedBoard board(std::make_unique<vantor::sim::LiveBoardModel>(scenario));
    if (!vantor::bench::startBoard(board, dir, out))
        return 1;

    QProcess cli;
    QString err;
    QObject::connect(&cli, &QProcess::readyReadStandardError,
                     [&] { err += QString::fromLocal8Bit(cli.readAllStandardError()); });
    cli.start(QStringLiteral(VANTOR_CLI_PATH),
              { QStringLiteral("-d"), board.devicePath(), QStringLiteral("--group"),
                QStringLiteral("all"), QStringLiteral("metrics"), QStringLiteral("--listen"),
                QStringLiteral("127.0.0.1:0"), QStringLiteral("--interval"),
                QStringLiteral("100") });
    static const QRegularExpression serving(QStringLiteral("serving http://127.0.0.1:(\\d+)/"));
    QRegularExpressionMatch match;
    for (int i = 0; i < 200 && !(match = serving.match(err)).hasMatch(); ++i)
        spin(25);
    if (!match.hasMatch()) {
        out << "vantor-cli metrics did not start: " << err << "\n";
        return 1;
    }
    const auto port = static_cast<quint16>(match.captured(1).toUInt());
    spin(1000); // a few answers first

    // Refreshes alone, as between the scrapes of a server that asks every 15 s.
    constexpr int kQuietMs = 10000;
    const double cpuQuiet = cpuSeconds(cli.processId());
    spin(kQuietMs);
    const double quiet = cpuSeconds(cli.processId()) - cpuQuiet;

    const double cpuBefore = cpuSeconds(cli.processId());
    QElapsedTimer wall;
    wall.start();
    std::vector<double> times;
    qsizetype size = 0;
    for (int i = 0; i < runs; ++i) {
        const double ms = scrape(port, size);
        if (ms < 0) {
            out << "scrape " << i + 1 << " failed\n" << err;
            return 1;
        }
        times.push_back(ms);
        spin(20);
    }
    const double cpu = cpuSeconds(cli.processId()) - cpuBefore;
    const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    ::kill(static_cast<pid_t>(cli.processId()), SIGTERM);
    cli.waitForFinished(5000);
    out << runs << " scrapes of " << size
        << " bytes, 48 ports, one group refreshed every 100 ms:\n  "
        << vantor::bench::describe(vantor::bench::spread(times)) << "\n"
        << "  the exporter's CPU time: " << QString::number(cpu, 'f', 2) << " s in "
        << QString::number(seconds, 'f', 1) << " s, "
        << QString::number(100 * cpu / seconds, 'f', 1) << " % of one core while scraped, "
        << QString::number(100 * quiet / (kQuietMs / 1000.0), 'f', 1) << " % with no scrapes\n";
    return 0;
}
