// SPDX-License-Identifier: MIT
// vantor-panel: the control panel window.

#include "commandline.h"
#include "quitonsignals.h"

#include <serial/devicelink.h>
#include <serial/portmap.h>
#include <sim/liveboardmodel.h>
#include <sim/simulatedboard.h>
#include <views/views.h>
#include <window/mainwindow.h>
#include <window/portpicker.h>
#include <window/screenfit.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <memory>

Q_LOGGING_CATEGORY(lcApp, "vantor.app", QtInfoMsg)

namespace {

struct Options
{
    vantor::serial::PortMap map;
    bool demo = false;
    bool com1Given = false;
    vantor::session::StartMode startMode = vantor::session::StartMode::WriteDefaults;
    QString recordPath;
};

// Parsed before the application object exists, so --help and --version need no display.
std::optional<int> parseOptions(const QStringList &arguments, Options &options)
{
    QCommandLineParser parser;
    const QCommandLineOption demo(
        QStringLiteral("demo"),
        QStringLiteral("start the built-in simulated board and map COM1 to it"));
    const QCommandLineOption keep(
        QStringLiteral("keep-board-settings"),
        QStringLiteral("at start, read the board's settings instead of writing the defaults"));
    const QCommandLineOption record(
        QStringLiteral("record"),
        QStringLiteral("record every answer to FILE as CSV from the start (appends)"),
        QStringLiteral("FILE"));
    QList<QCommandLineOption> comOptions;
    for (int n = 1; n <= vantor::serial::PortMap::kPortCount; ++n) {
        comOptions.append(
            QCommandLineOption(QStringLiteral("com%1").arg(n),
                               QStringLiteral("serial device behind \"COMM %1\" (default %2); "
                                              "tcp://HOST:PORT or rfc2217://HOST:PORT for a "
                                              "board on the network")
                                   .arg(n)
                                   .arg(vantor::serial::PortMap::defaultDevice(n)),
                               QStringLiteral("DEVICE")));
    }
    const ProgramHelp help {
        QStringLiteral("vantor-panel"),
        QStringLiteral("[OPTIONS]"),
        QStringLiteral("Reads, watches and configures the Vantor evaluation board over a serial "
                       "link."),
        QStringLiteral("Exit status: 0 the window was closed; 1 the simulated board could not "
                       "start; 2 a usage error. See vantor-panel(1)."),
    };
    if (const std::optional<int> status = parseCommandLine(
            parser, QList<QCommandLineOption> { demo, keep, record } + comOptions, arguments, help))
        return status;
    for (int n = 1; n <= vantor::serial::PortMap::kPortCount; ++n) {
        if (parser.isSet(comOptions[n - 1]))
            options.map.setDevice(n, parser.value(comOptions[n - 1]));
    }
    options.demo = parser.isSet(demo);
    options.com1Given = parser.isSet(comOptions[0]);
    if (parser.isSet(keep))
        options.startMode = vantor::session::StartMode::KeepBoardSettings;
    options.recordPath = parser.value(record);
    return std::nullopt;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("vantor-panel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));
    // Wayland desktops find the window's launcher entry, and so its icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(VANTOR_APP_ID));

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    Options options;
    if (const auto exitCode = parseOptions(arguments, options))
        return *exitCode;

    QApplication app(argc, argv);
    // Warnings and errors reach standard error; the routine diagnostics stay in their categories
    // until QT_LOGGING_RULES asks for them.
    QLoggingCategory::setFilterRules(QStringLiteral("vantor.*.debug=false\nvantor.*.info=false"));
    if (!quitOnSignals(app))
        QTextStream(stderr) << "vantor-panel: SIGTERM will not close the port cleanly\n";

    std::unique_ptr<vantor::sim::SimulatedBoard> board;
    if (options.demo) {
        board = std::make_unique<vantor::sim::SimulatedBoard>(
            std::make_unique<vantor::sim::LiveBoardModel>(vantor::sim::demoScenario()));
        if (!board->start()) {
            QTextStream(stderr) << "vantor-panel: the simulated board could not start: "
                                << board->errorString() << "\n";
            return 1;
        }
        options.map.setDevice(1, board->devicePath());
    } else if (!options.com1Given) {
        // The port last chosen in the window, unless the command line names one.
        const QString remembered = vantor::window::rememberedPort();
        if (!remembered.isEmpty())
            options.map.setDevice(1, remembered);
    }

    vantor::serial::DeviceLink link;
    vantor::session::Session session(link, options.map);
    vantor::window::MainWindow window(session);
    auto *views = new vantor::views::Views(session, window);
    QObject::connect(views, &vantor::views::Views::reported, &window,
                     &vantor::window::MainWindow::showOutcome);
    // A file that cannot be opened is told in the status bar; the panel runs on.
    if (!options.recordPath.isEmpty())
        views->startRecording(options.recordPath);
    window.formLoad(options.startMode);
    vantor::window::keepOnScreen(window);
    window.show();
    // Runs once the event loop has shown the window; the start-up benchmark waits for it.
    QTimer::singleShot(0, &window, [] { qCInfo(lcApp) << "window shown"; });
    return app.exec();
}
