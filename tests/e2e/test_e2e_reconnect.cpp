// SPDX-License-Identifier: MIT
// The whole panel in this process against the simulated board on a pseudo-terminal behind a
// symbolic link, the way udev names an adapter: the board goes away and comes back (the same
// one or a new one), and the panel picks it up by itself, reads it whole before refreshing
// again, writes nothing, and waits without spending CPU. A board that is not there at start is
// picked up the same way by the real executable (test_e2e_process).

#include "e2ewire.h"
#include "sessionseam.h"

#include <bytes.h>
#include <fakes.h>

#include <protocol/timer.h>
#include <serial/portinfo.h>
#include <serial/qtseriallink.h>
#include <session/reconnector.h>
#include <session/session.h>
#include <sim/liveboardmodel.h>
#include <sim/scenario.h>
#include <sim/simulatedboard.h>
#include <window/controls.h>
#include <window/mainwindow.h>
#include <window/numericentry.h>
#include <window/staledisplay.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

#include <memory>

using vantor::e2e::Frame;
using vantor::sim::SimulatedBoard;
using vantor::testing::toByteArray;

namespace {

// From the device's return to the first refresh answered after the whole read.
constexpr int kResumeWithinMs = 3000;
// What waiting may cost, for the whole process (panel and board), over a 30 s absence.
constexpr double kIdleCpuSeconds = 0.1;

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) {
        return double(t.tv_sec) + t.tv_usec / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Real time passes with the event loop idle, as it does on the operator's desk.
void idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A board whose settings differ from the factory's: 16 ports, lower limit 20000 ohms.
std::unique_ptr<vantor::sim::BoardModel> otherBoard()
{
    auto model = std::make_unique<vantor::sim::BoardModel>();
    QByteArray system = toByteArray(model->image(0)).left(vantor::e2e::kSystemBlockSize);
    system[13] = 0;
    system[0] = 16;
    system[5] = static_cast<char>(10000 & 0xFF);
    system[6] = static_cast<char>(10000 >> 8);
    model->applySystemBlock(vantor::testing::bytesOf(system));
    return model;
}

// Declared so that the window goes first, then its link, then the board and its folder.
struct Bench
{
    QString device() const { return dir.filePath(QStringLiteral("usb-bench-if00")); }

    bool startBoard(std::unique_ptr<vantor::sim::BoardModel> model = {})
    {
        board = model ? std::make_unique<SimulatedBoard>(std::move(model))
                      : std::make_unique<SimulatedBoard>();
        board->setPaced(false);
        return board->start(device());
    }

    void openWindow()
    {
        vantor::serial::PortMap map;
        map.setDevice(1, device());
        session = std::make_unique<vantor::session::Session>(link, map);
        window = std::make_unique<vantor::window::MainWindow>(*session);
        window->setPortInfoSource(std::make_shared<vantor::testing::FakePortInfo>());
        window->formLoad();
        window->show();
    }

    // Start-up as designed, both writes taken, and a refresh answered.
    bool startedAndRefreshing()
    {
        openWindow();
        return board->waitFor(
            [this] {
                return board->model().systemWrites() == 1 && board->model().portWrites(0) == 1
                    && !vantor::e2e::framesWithCode(frames(), vantor::e2e::kPortRefresh).isEmpty();
            },
            5000);
    }

    QList<Frame> frames() const { return vantor::e2e::framesFromPanel(board->wireLog()); }

    // Since the board's log was cleared: a whole read first, then at least one refresh that was
    // answered, and nothing else.
    bool readThenRefreshed(int answeredRefreshes) const
    {
        const QList<Frame> f = frames();
        return !f.isEmpty() && f.first().code == vantor::e2e::kWholeRead
            && vantor::e2e::framesWithCode(f, vantor::e2e::kPortRefresh).size() == f.size() - 1
            && answeredRefreshes > 0;
    }

    vantor::window::MainControls &c() { return window->controls(); }

    QTemporaryDir dir;
    std::unique_ptr<SimulatedBoard> board;
    vantor::serial::QtSerialLink link;
    std::unique_ptr<vantor::session::Session> session;
    std::unique_ptr<vantor::window::MainWindow> window;
};

int refreshesAnswered(const QSignalSpy &answered)
{
    int n = 0;
    for (const QList<QVariant> &args : answered)
        n += args.at(0).value<quint8>() == vantor::e2e::kPortRefresh ? 1 : 0;
    return n;
}

QString screenshotDir()
{
    const QString binary = qEnvironmentVariable("VANTOR_BINARY_DIR");
    const QString dir = binary.isEmpty()
        ? QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots")
        : binary + QStringLiteral("/tests/e2e/screenshots");
    QDir().mkpath(dir);
    return dir;
}

} // namespace

class E2EReconnect : public QObject
{
    Q_OBJECT

private slots:
    void returnAfterAbsence_data();
    void returnAfterAbsence();
    void newBoardOnTheSameName();
    void screenshotStale();
};

void E2EReconnect::returnAfterAbsence_data()
{
    QTest::addColumn<int>("absenceMs");
    QTest::newRow("2 s") << 2000;
    QTest::newRow("30 s") << 30000;
}

void E2EReconnect::returnAfterAbsence()
{
    QFETCH(int, absenceMs);
    Bench b;
    QVERIFY2(b.startBoard(), qPrintable(b.board->errorString()));
    QVERIFY(b.startedAndRefreshing());
    const int systemWrites = b.board->model().systemWrites();
    const int portWrites = b.board->model().portWrites(0);

    b.board->hangUp();
    QTRY_VERIFY(b.window->staleDisplay().isStale());
    QVERIFY(!b.link.isOpen());
    QVERIFY(b.window->reconnector().isWaiting());
    const double cpuBefore = cpuSeconds();
    idle(absenceMs);
    const double cpu = cpuSeconds() - cpuBefore;
    qInfo("CPU while the device was away for %d ms: %.3f s", absenceMs, cpu);
    QVERIFY2(cpu < kIdleCpuSeconds, qPrintable(QStringLiteral("%1 s of CPU").arg(cpu)));
    QVERIFY(b.window->reconnector().isWaiting());
    QVERIFY(vantor::testing::SessionSeam::refreshTimer(b.window->session()).isActive());
    QVERIFY(b.window->staleDisplay().isStale());

    QSignalSpy answered(b.board.get(), &SimulatedBoard::answerSent);
    QVERIFY(b.board->restart());
    b.board->clear();
    QTRY_VERIFY_WITH_TIMEOUT(b.readThenRefreshed(refreshesAnswered(answered)), kResumeWithinMs);
    QCOMPARE(b.board->model().systemWrites(), systemWrites);
    QCOMPARE(b.board->model().portWrites(0), portWrites);
    QVERIFY(!b.window->staleDisplay().isStale());
    QVERIFY2(b.window->outcomeText().contains(QStringLiteral(" is back: ")),
             qPrintable(b.window->outcomeText()));
}

// Another board, with other settings, under the same name: after the whole read the window
// shows what this one holds.
void E2EReconnect::newBoardOnTheSameName()
{
    Bench b;
    QVERIFY2(b.startBoard(), qPrintable(b.board->errorString()));
    QVERIFY(b.startedAndRefreshing());
    QCOMPARE(b.c().PD_R_LOW->text(), QStringLiteral("19000"));

    b.board->stop();
    QTRY_VERIFY(b.window->staleDisplay().isStale());
    QVERIFY(b.startBoard(otherBoard()));
    QSignalSpy answered(b.board.get(), &SimulatedBoard::answerSent);
    QTRY_VERIFY_WITH_TIMEOUT(b.readThenRefreshed(refreshesAnswered(answered)), kResumeWithinMs);
    QCOMPARE(b.board->model().systemWrites(), 1); // its own, from otherBoard()
    QCOMPARE(b.board->model().portWrites(0), 0);
    QCOMPARE(b.c().PD_R_LOW->text(), QStringLiteral("20000"));
    QCOMPARE(b.c().SYS_PORT_CNT->currentText(), QStringLiteral("16"));
}

// The demo board running, then unplugged: the readings stay, dimmed, and the status bar says
// since when. Both pictures are kept to be looked at side by side.
void E2EReconnect::screenshotStale()
{
    Bench b;
    QVERIFY(
        b.startBoard(std::make_unique<vantor::sim::LiveBoardModel>(vantor::sim::demoScenario())));
    QVERIFY(b.startedAndRefreshing());
    const auto powered = [&b] {
        int ports = 0;
        for (int p = 0; p < 8; ++p)
            ports += b.c().PORT_FLT_MODE_2[p]->text().endsWith(QStringLiteral(" Sample")) ? 1 : 0;
        return ports;
    };
    QTRY_VERIFY_WITH_TIMEOUT(powered() >= 4, 20000);
    b.c().Update_All->click();
    QTRY_VERIFY(b.window->outcomeText().startsWith(QStringLiteral("Load from Device")));
    QVERIFY(b.window->grab().save(screenshotDir() + QStringLiteral("/current-display.png")));

    b.board->hangUp();
    QTRY_VERIFY(b.window->staleDisplay().isStale());
    QApplication::processEvents();
    const QString file = screenshotDir() + QStringLiteral("/stale-display.png");
    QVERIFY(b.window->grab().save(file));
    qInfo("stale display picture: %s", qPrintable(file));
}

QTEST_MAIN(E2EReconnect)
#include "test_e2e_reconnect.moc"
