// SPDX-License-Identifier: MIT
// The panel with every view open (event log, trends, registers) while it auto-refreshes
// against a live board: its CPU share of one core after a warm-up, and optionally pictures of
// each view. The board is either another process (--device, e.g. `vantor-sim --demo --link`)
// or, as `vantor-panel --demo` runs it, the built-in demo board in this process (--demo; its
// own work then counts too). --open chooses the views, to compare.

#include <serial/devicelink.h>
#include <session/session.h>
#include <sim/liveboardmodel.h>
#include <sim/scenario.h>
#include <sim/simulatedboard.h>
#include <views/eventlog.h>
#include <views/eventlogwindow.h>
#include <views/registerwindow.h>
#include <views/settingsdialog.h>
#include <views/trendplot.h>
#include <views/trendwindow.h>
#include <views/views.h>
#include <window/mainwindow.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHeaderView>
#include <QLoggingCategory>
#include <QMenuBar>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>
#include <QTextStream>
#include <QTimer>
#include <QToolTip>

#include <sys/resource.h>

#include <map>

using namespace vantor;

namespace {

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the event loop for ms: waiting, not spinning, as the panel's own loop does.
void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool save(const QPixmap &picture, const QString &dir, const QString &name, QTextStream &out)
{
    const QString path = QDir(dir).filePath(name);
    const bool ok = picture.save(path, "PNG");
    out << (ok ? "saved " : "could not save ") << path << "\n";
    return ok;
}

// Every view, and the screen with a menu open and a register's hover text.
void takePictures(window::MainWindow &window, views::Views &views, const QString &dir,
                  QTextStream &out)
{
    QDir().mkpath(dir);
    save(window.grab(), dir, QStringLiteral("panel.png"), out);
    views::EventLogWindow *log = views.showEventLog();
    save(log->grab(), dir, QStringLiteral("event-log.png"), out);
    views::TrendWindow *trends = views.showTrends();
    trends->plot().setCursorTime(QDateTime::currentMSecsSinceEpoch() - 20'000);
    settle(600);
    save(trends->grab(), dir, QStringLiteral("trends.png"), out);
    views::RegisterWindow *registers = views.showRegisters();
    save(registers->grab(), dir, QStringLiteral("registers.png"), out);
    views::AllSettingsDialog *dialog = views.showAllSettings();
    settle(300);
    save(dialog->grab(), dir, QStringLiteral("all-settings.png"), out);
    dialog->findChild<QTabWidget *>()->setCurrentIndex(1);
    settle(300);
    save(dialog->grab(), dir, QStringLiteral("all-settings-ports.png"), out);
    dialog->reject();

    QScreen *screen = QGuiApplication::primaryScreen();
    registers->move(0, 0);
    registers->raise();
    settle(300);
    QTableView &table = registers->table();
    const QModelIndex fault = table.model()->index(157 / 16, 157 % 16);
    const QRect cell = table.visualRect(fault);
    QToolTip::showText(table.viewport()->mapToGlobal(cell.center()),
                       fault.data(Qt::ToolTipRole).toString(), table.viewport());
    settle(500);
    save(screen->grabWindow(0), dir, QStringLiteral("registers-hover.png"), out);
    QToolTip::hideText();

    window.move(0, 0);
    window.raise();
    window.activateWindow();
    settle(300);
    for (const char *name : { "FileMenu", "ViewMenu" }) {
        QMenu *menu = window.findChild<QMenu *>(QString::fromLatin1(name));
        QAction *action = menu->menuAction();
        const QRect at = window.menuBar()->actionGeometry(action);
        menu->popup(window.menuBar()->mapToGlobal(at.bottomLeft()));
        settle(400);
        save(screen->grabWindow(0), dir, QStringLiteral("menu-%1.png").arg(QLatin1String(name)),
             out);
        menu->hide();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("vantor.*.info=false"));
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption device(QStringLiteral("device"),
                                    QStringLiteral("The board's serial device."),
                                    QStringLiteral("PATH"));
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("The demo board in this process."));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("Measured seconds (default 60)."),
                                     QStringLiteral("N"), QStringLiteral("60"));
    const QCommandLineOption warmUp(QStringLiteral("warm-up"),
                                    QStringLiteral("Seconds before measuring (default 10)."),
                                    QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption shots(QStringLiteral("shots"),
                                   QStringLiteral("Save pictures of every view into DIR."),
                                   QStringLiteral("DIR"));
    const QCommandLineOption open(
        QStringLiteral("open"),
        QStringLiteral("The views to open: any of log, trends, registers (default all; none for "
                       "the window alone)."),
        QStringLiteral("LIST"), QStringLiteral("log,trends,registers"));
    const QCommandLineOption span(
        QStringLiteral("span"),
        QStringLiteral("The trend span: 0 1 min, 1 10 min (as the window opens), 2 1 h, 3 all."),
        QStringLiteral("N"), QStringLiteral("1"));
    parser.addOptions({ device, demo, seconds, warmUp, shots, open, span });
    parser.process(app);
    QTextStream out(stdout);

    serial::PortMap map;
    std::unique_ptr<sim::SimulatedBoard> board;
    if (parser.isSet(demo)) {
        board = std::make_unique<sim::SimulatedBoard>(
            std::make_unique<sim::LiveBoardModel>(sim::demoScenario()));
        if (!board->start()) {
            out << "the demo board could not start: " << board->errorString() << "\n";
            return 1;
        }
        map.setDevice(1, board->devicePath());
    } else if (parser.isSet(device)) {
        map.setDevice(1, parser.value(device));
    } else {
        out << "give --device PATH or --demo\n";
        return 2;
    }

    serial::DeviceLink link;
    session::Session session(link, map);
    window::MainWindow window(session);
    auto *views = new views::Views(session, window);
    window.formLoad();
    window.show();
    const QStringList opened = parser.value(open).split(QLatin1Char(','));
    if (opened.contains(QStringLiteral("log")))
        views->showEventLog();
    if (opened.contains(QStringLiteral("trends")))
        views->showTrends()->plot().setSpan(
            static_cast<views::TrendPlot::Span>(parser.value(span).toInt()));
    if (opened.contains(QStringLiteral("registers")))
        views->showRegisters();

    settle(parser.value(warmUp).toInt() * 1000);
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    settle(parser.value(seconds).toInt() * 1000);
    const double cpu = cpuSeconds() - cpu0;
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    out << "window and views " << parser.value(open) << " (trend span " << parser.value(span)
        << "), " << (board ? "demo board in this process" : "board in another process") << ": CPU "
        << 100.0 * cpu / elapsed << " % of one core over " << elapsed << " s\n";
    out << "target: under 2 %\n";
    // How fast the log fills: entries by kind and port over the whole run.
    std::map<QString, int> byKind;
    const views::EventLog &log = views->eventLog();
    for (int i = 0; i < log.size(); ++i)
        ++byKind[QStringLiteral("%1 port %2")
                     .arg(views::eventKindName(log.at(i).kind))
                     .arg(log.at(i).port)];
    int rows = 0;
    for (int i = 0; i < log.size(); ++i)
        rows += log.folder().role(i) != views::EventFolder::Role::Member;
    out << "event log: " << log.size() << " entries, shown as " << rows << " rows\n";
    for (const auto &[what, n] : byKind)
        out << "  " << what << ": " << n << "\n";

    if (parser.isSet(shots))
        takePictures(window, *views, parser.value(shots), out);
    return 0;
}
