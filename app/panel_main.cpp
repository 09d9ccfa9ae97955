// SPDX-License-Identifier: MIT
// vantor-panel: the control panel window.

#include "quitonsignals.h"

#include <serial/portmap.h>
#include <serial/qtseriallink.h>
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
    parser.setApplicationDescription(QStringLiteral(
        "Reads, watches and configures the Vantor evaluation board over a serial link."));
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") },
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the panel's version and exit."));
    const QCommandLineOption demo(
        QStringLiteral("demo"),
        QStringLiteral("Start the built-in simulated board and map COM1 to it."));
    const QCommandLineOption keep(
        QStringLiteral("keep-board-settings"),
        QStringLiteral("At start, read the board's settings instead of writing the defaults."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(demo);
    parser.addOption(keep);
    const QCommandLineOption record(
        QStringLiteral("record"),
        QStringLiteral("Record every answer to FILE as CSV from the start (appends)."),
        QStringLiteral("FILE"));
    parser.addOption(record);
    QList<QCommandLineOption> comOptions;
    for (int n = 1; n <= vantor::serial::PortMap::kPortCount; ++n) {
        comOptions.append(
            QCommandLineOption(QStringLiteral("com%1").arg(n),
                               QStringLiteral("Serial device behind \"COMM %1\" (default %2).")
                                   .arg(n)
                                   .arg(vantor::serial::PortMap::defaultDevice(n)),
                               QStringLiteral("PATH")));
        parser.addOption(comOptions.last());
    }

    QTextStream out(stdout);
    QTextStream err(stderr);
    // No application object exists yet to name the program in the usage line.
    const auto helpText = [&parser] {
        return parser.helpText().replace(QStringLiteral("<executable_name>"),
                                         QStringLiteral("vantor-panel"));
    };
    if (!parser.parse(arguments)) {
        err << parser.errorText() << "\n" << helpText();
        return 2;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err << "unexpected argument: " << parser.positionalArguments().first() << "\n"
            << helpText();
        return 2;
    }
    if (parser.isSet(help)) {
        out << helpText();
        return 0;
    }
    if (parser.isSet(version)) {
        out << "vantor-panel " << VANTOR_VERSION << "\n";
        return 0;
    }
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

    vantor::serial::QtSerialLink link;
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
