// SPDX-License-Identifier: MIT
// vantor-sim: the simulated board on a pseudo-terminal, for a panel in another process.

#include "commandline.h"
#include "quitonsignals.h"

#include <codec/echotext.h>
#include <serial/listenaddress.h>
#include <sim/boardserver.h>
#include <sim/liveboardmodel.h>
#include <sim/scenario.h>
#include <sim/simulatedboard.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <memory>
#include <optional>
#include <unistd.h>

namespace {

QString formatEntry(const vantor::sim::WireEntry &entry)
{
    const bool fromPanel = entry.direction == vantor::sim::Direction::FromPanel;
    return QStringLiteral("%1.%2 %3 %4\n")
        .arg(entry.timeUs / 1'000'000, 6)
        .arg(entry.timeUs % 1'000'000, 6, 10, QLatin1Char('0'))
        .arg(fromPanel ? QStringLiteral("panel>board") : QStringLiteral("board>panel"))
        .arg(QString::fromLatin1(entry.bytes.toHex(' ')));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantor-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));

    QCommandLineParser parser;
    const QCommandLineOption linkOption(
        QStringLiteral("link"), QStringLiteral("make a symbolic link at PATH to the serial end"),
        QStringLiteral("PATH"));
    const QCommandLineOption unpacedOption(
        QStringLiteral("unpaced"), QStringLiteral("answer at once instead of at 19200 bit/s"));
    const QCommandLineOption logOption(
        QStringLiteral("log"),
        QStringLiteral("write every byte on the line to FILE (time, direction, hex)"),
        QStringLiteral("FILE"));
    const QCommandLineOption scenarioOption(
        QStringLiteral("scenario"),
        QStringLiteral("run the ports live with the loads of the JSON scenario FILE"),
        QStringLiteral("FILE"));
    const QCommandLineOption demoOption(
        QStringLiteral("demo"),
        QStringLiteral("run the ports live with the built-in demo scenario"));
    const QCommandLineOption seedOption(
        QStringLiteral("seed"),
        QStringLiteral("seed the live board's noise with N instead of the scenario's seed"),
        QStringLiteral("N"));
    const QCommandLineOption listenOption(
        QStringLiteral("listen"),
        QStringLiteral("serve the board as raw TCP instead of a pseudo-terminal, one client at a "
                       "time: PORT on loopback, ADDRESS:PORT on that address, :PORT on every "
                       "interface (0: any free port)"),
        QStringLiteral("[ADDRESS:]PORT"));
    const ProgramHelp help {
        QStringLiteral("vantor-sim"),
        QStringLiteral("[OPTIONS]"),
        QStringLiteral("Plays the Vantor evaluation board on a pseudo-terminal and prints the path "
                       "of its serial end, or with --listen serves it as raw TCP and prints its "
                       "tcp:// URL. Serves until interrupted."),
        QStringLiteral("Exit status: 0 interrupted after serving; 1 a scenario, log, "
                       "pseudo-terminal or listening port that could not be had; 2 a usage "
                       "error. See vantor-sim(1)."),
    };
    if (const std::optional<int> status
        = parseCommandLine(parser,
                           { linkOption, unpacedOption, logOption, scenarioOption, demoOption,
                             seedOption, listenOption },
                           QCoreApplication::arguments(), help))
        return *status;

    QTextStream out(stdout);
    QTextStream err(stderr);

    // Without a scenario the board is the static one: it keeps what is written, nothing moves.
    std::optional<vantor::sim::Scenario> scenario;
    if (parser.isSet(scenarioOption) && parser.isSet(demoOption)) {
        err << "vantor-sim: --scenario and --demo exclude each other" << Qt::endl;
        return 2;
    }
    if (parser.isSet(scenarioOption)) {
        const vantor::sim::ScenarioResult result
            = vantor::sim::loadScenarioFile(parser.value(scenarioOption));
        if (!result.scenario) {
            err << "vantor-sim: " << vantor::codec::escapeControls(result.error) << Qt::endl;
            return 1;
        }
        scenario = result.scenario;
    } else if (parser.isSet(demoOption)) {
        scenario = vantor::sim::demoScenario();
    }
    if (parser.isSet(seedOption)) {
        bool ok = false;
        const uint seed = parser.value(seedOption).toUInt(&ok);
        if (!ok) {
            err << "vantor-sim: --seed wants a number from 0 to 4294967295, not \""
                << parser.value(seedOption) << "\"" << Qt::endl;
            return 2;
        }
        if (!scenario) {
            err << "vantor-sim: --seed needs --scenario or --demo" << Qt::endl;
            return 2;
        }
        scenario->seed = seed;
    }

    std::optional<vantor::serial::ListenAddress> listen;
    if (parser.isSet(listenOption)) {
        listen = vantor::serial::parseListenAddress(parser.value(listenOption));
        if (!listen) {
            err << "vantor-sim: --listen wants PORT, ADDRESS:PORT or :PORT, not \""
                << parser.value(listenOption) << "\"" << Qt::endl;
            return 2;
        }
        if (parser.isSet(linkOption)) {
            err << "vantor-sim: --listen and --link exclude each other" << Qt::endl;
            return 2;
        }
    }

    QFile logFile;
    QTextStream log;
    if (parser.isSet(logOption)) {
        logFile.setFileName(parser.value(logOption));
        if (!logFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
            err << "vantor-sim: cannot write " << logFile.fileName() << ": "
                << logFile.errorString() << Qt::endl;
            return 1;
        }
        log.setDevice(&logFile);
    }

    vantor::sim::SimulatedBoard board;
    if (scenario)
        board.setModel(std::make_unique<vantor::sim::LiveBoardModel>(*scenario));
    board.setPaced(!parser.isSet(unpacedOption));
    if (logFile.isOpen()) {
        QObject::connect(&board, &vantor::sim::SimulatedBoard::wireTraffic, &app,
                         [&log](const vantor::sim::WireEntry &entry) {
                             log << formatEntry(entry);
                             log.flush();
                         });
    }

    if (!quitOnSignals(app)) {
        err << "vantor-sim: cannot watch for signals" << Qt::endl;
        return 1;
    }
    if (!board.start(parser.value(linkOption))) {
        err << "vantor-sim: " << board.errorString() << Qt::endl;
        return 1;
    }

    vantor::sim::BoardServer server(board);
    if (listen) {
        if (!server.listen(listen->address, listen->port)) {
            err << "vantor-sim: cannot listen on " << parser.value(listenOption) << ": "
                << server.errorString() << Qt::endl;
            return 1;
        }
        QObject::connect(
            &server, &vantor::sim::BoardServer::clientRefused, &app, [&err](const QString &peer) {
                err << "vantor-sim: refused " << peer << ": one client at a time" << Qt::endl;
            });
        out << "tcp://" << vantor::serial::urlHost(server.address()) << ':' << server.port()
            << Qt::endl;
    } else {
        out << board.devicePath() << Qt::endl;
    }
    const int status = app.exec();
    server.close();
    board.stop();
    return status;
}
