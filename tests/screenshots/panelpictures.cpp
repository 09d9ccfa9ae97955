// SPDX-License-Identifier: MIT
// The window on a fake link drawn into PNG files, for a person to look at after changing how
// it is drawn: as it starts, with "Set Port" open on two adapters, and the demo board's
// readings current and then stale after the link was lost.
// Usage: panel-pictures OUTDIR (run with QT_QPA_PLATFORM=offscreen, as scripts/screenshots does)

#include <fakes.h>

#include <serial/portinfo.h>
#include <session/reconnector.h>
#include <sim/liveboardmodel.h>
#include <sim/scenario.h>
#include <window/controls.h>
#include <window/mainwindow.h>
#include <window/portpicker.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

using namespace vantor;

namespace {

const QList<serial::PortInfo> kTwoAdapters {
    { QStringLiteral("/dev/serial/by-id/usb-Bench_USB_Serial_A10K1234-if00-port0"),
      QStringLiteral("/dev/ttyUSB0"), QStringLiteral("USB Serial"), QStringLiteral("Bench"),
      QStringLiteral("A10K1234") },
    { QStringLiteral("/dev/ttyS4"), QStringLiteral("/dev/ttyS4"), QString(), QString(), QString() },
};

struct Panel
{
    Panel()
    {
        map.setDevice(1, QStringLiteral("/dev/fake-com1"));
        session = std::make_unique<session::Session>(link, map, nullptr, &timer1, &timer2);
        window = std::make_unique<window::MainWindow>(*session);
        window->setPortInfoSource(ports);
        window->reconnector().setRetryTimer(retry);
        window->formLoad();
        for (int write = 0; write < 2; ++write) {
            link.feed(QByteArray(1, '\x06'));
            link.drain();
        }
        window->show();
        shown = QTest::qWaitForWindowExposed(window.get());
    }
    ~Panel() { window.reset(); }

    serial::PortMap map;
    testing::FakeLink link;
    testing::FakeTimer timer1;
    testing::FakeTimer timer2;
    testing::FakeTimer retry;
    std::shared_ptr<testing::FakePortInfo> ports = std::make_shared<testing::FakePortInfo>();
    std::unique_ptr<session::Session> session;
    std::unique_ptr<window::MainWindow> window;
    bool shown = false;
};

bool exposed(bool shown, const char *what)
{
    if (!shown)
        std::fprintf(stderr, "panel-pictures: the %s was never shown\n", what);
    return shown;
}

bool save(const QPixmap &picture, const QString &file)
{
    if (!picture.save(file)) {
        std::fprintf(stderr, "panel-pictures: cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

bool startUp(const QDir &out)
{
    Panel p;
    return exposed(p.shown, "window")
        && save(p.window->grab(), out.filePath(QStringLiteral("mainwindow.png")));
}

// The menu bar with "Set Port" open on the designed items and two adapters found.
bool portMenu(const QDir &out)
{
    Panel p;
    p.ports->list = kTwoAdapters;
    QMenuBar *bar = p.window->menuBar();
    auto *portSet = bar->findChild<QMenu *>(QStringLiteral("PortSet"));
    auto *setPort = bar->findChild<QMenu *>(QStringLiteral("SetPort"));
    const QPoint topLeft = p.window->mapToGlobal(QPoint(0, 0));
    portSet->popup(bar->mapToGlobal(bar->actionGeometry(portSet->menuAction()).bottomLeft()));
    if (!exposed(p.shown && QTest::qWaitForWindowExposed(portSet), "Serial Link Setup menu"))
        return false;
    setPort->popup(portSet->mapToGlobal(portSet->actionGeometry(setPort->menuAction()).topRight()));
    if (!exposed(QTest::qWaitForWindowExposed(setPort), "Set Port menu"))
        return false;
    setPort->setActiveAction(p.window->portPicker().portActions().first());
    QApplication::processEvents();

    // The window with both menus drawn where they stand on the screen.
    QPixmap shot(p.window->frameGeometry().size().expandedTo(
        QSize(setPort->geometry().right() - topLeft.x() + 8, 0)));
    shot.fill(Qt::darkGray);
    QPainter painter(&shot);
    painter.drawPixmap(0, 0, p.window->grab());
    painter.drawPixmap(portSet->pos() - topLeft, portSet->grab());
    painter.drawPixmap(setPort->pos() - topLeft, setPort->grab());
    painter.end();
    setPort->hide();
    portSet->hide();
    return save(shot, out.filePath(QStringLiteral("port-menu.png")));
}

// The demo board after 20 s, read whole; then the adapter pulled: the readings stay, dimmed,
// and the status bar says since when. Both pictures, to be looked at side by side.
bool staleDisplay(const QDir &out)
{
    Panel p;
    if (!exposed(p.shown, "window"))
        return false;
    sim::LiveBoardModel board(sim::demoScenario());
    for (int ms = 0; ms < 20000; ms += 500)
        board.advance(500);
    const sim::Snapshot snapshot = board.snapshot(0);
    p.window->controls().Update_All->click();
    p.link.feed(QByteArray(reinterpret_cast<const char *>(snapshot.data()),
                           static_cast<qsizetype>(snapshot.size())));
    QApplication::processEvents();
    if (!save(p.window->grab(), out.filePath(QStringLiteral("current-display.png"))))
        return false;
    p.link.lose(QStringLiteral("The device was removed"));
    QApplication::processEvents();
    return save(p.window->grab(), out.filePath(QStringLiteral("stale-display.png")));
}

} // namespace

int main(int argc, char *argv[])
{
    // The panel's remembered port goes to a scratch folder, never the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: panel-pictures OUTDIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "panel-pictures: cannot create %s\n", argv[1]);
        return 1;
    }
    return startUp(out) && portMenu(out) && staleDisplay(out) ? 0 : 1;
}
