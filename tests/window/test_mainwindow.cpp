// SPDX-License-Identifier: MIT
#include <fakes.h>
#include <sessionseam.h>

#include <window/controls.h>
#include <window/ledwidget.h>
#include <window/mainwindow.h>
#include <window/numericentry.h>

#include <protocol/transactionengine.h>
#include <session/session.h>

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <memory>

using namespace vantor;
using protocol::RequestKind;
using window::MainWindow;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

// A window on a fake link with hand-fired timers.
struct Panel
{
    Panel()
    {
        map.setDevice(1, QStringLiteral("/dev/fake-com1"));
        map.setDevice(2, QStringLiteral("/dev/fake-com2"));
        map.setDevice(3, QStringLiteral("/dev/fake-com3"));
        ownSession = std::make_unique<session::Session>(link, map, nullptr, &timer1, &timer2);
        window = std::make_unique<MainWindow>(*ownSession);
    }

    window::MainControls &c() { return window->controls(); }
    protocol::TransactionEngine &engine()
    {
        return testing::SessionSeam::engine(window->session());
    }
    session::Session &session() { return window->session(); }

    // Start-up, then the board acknowledges both writes and takes both blocks.
    void startAndSettle()
    {
        window->formLoad();
        link.feed(bytes({ 0x06 }));
        link.drain();
        link.feed(bytes({ 0x06 }));
        link.drain();
        link.takeWire();
    }

    serial::PortMap map;
    testing::FakeLink link;
    testing::FakeTimer timer1;
    testing::FakeTimer timer2;
    std::unique_ptr<session::Session> ownSession;
    std::unique_ptr<MainWindow> window;
};

QString accessibleName(QWidget *widget)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
    return iface ? iface->text(QAccessible::Name) : QString();
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void startUp();
    void tabRule_data();
    void tabRule();
    void resetGuiDuringWrite();
    void resizeRule_data();
    void resizeRule();
    void resizeFollowsTheWindow();
    void scrollMovesMasterFrame_data();
    void scrollMovesMasterFrame();
    void saveToDevice_data();
    void saveToDevice();
    void requestButtons_data();
    void requestButtons();
    void autoRefreshSwitch();
    void menuChoosesPort_data();
    void menuChoosesPort();
    void resetPort();
    void statusBarTellsWhatTheBoardHides();
    void doubleAmpersandShowsOne_data();
    void doubleAmpersandShowsOne();
    void everyColumnAlike();
    void rowCaptionsLevelWithTheirRows_data();
    void rowCaptionsLevelWithTheirRows();
    void shownAndNotShown_data();
    void shownAndNotShown();
    void valueLabelsLook();
    void versionStaysPut();
    void screenshot();

private:
    // One started, shown window for the tests that only look.
    std::unique_ptr<Panel> m_shown;
};

void MainWindowTest::initTestCase()
{
    m_shown = std::make_unique<Panel>();
    m_shown->window->formLoad();
    m_shown->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_shown->window.get()));
}

void MainWindowTest::cleanupTestCase()
{
    m_shown.reset();
}

// Start-up opens COMM 1, turns auto-refresh on, and sends the whole read, replaced at once by
// the system write. The blocks that follow are checked on the wire against the simulated board.
void MainWindowTest::startUp()
{
    Panel p;
    p.window->formLoad();
    QCOMPARE(p.link.portName(), QStringLiteral("/dev/fake-com1"));
    QCOMPARE(p.link.settings(), QStringLiteral("19200,N,8,1"));
    QCOMPARE(p.link.readLength, 0);
    QCOMPARE(p.link.writes, QList<QByteArray>({ bytes({ 0x08 }), bytes({ 0x18 }) }));
    QVERIFY(p.engine().isPending(RequestKind::PortWrite));
    QVERIFY(!p.engine().isPending(RequestKind::WholeRead));

    window::MainControls &c = p.c();
    QCOMPARE(window::checkValue(c.Interval_Update), 1);
    QVERIFY(p.timer1.isActive());
    QVERIFY(!c.Update_Port_Status->isEnabled());
    QCOMPARE(p.session().portCount(), 8);
    // Group 0 goes to the board at start-up; the other groups start with their ports off.
    for (int e = 0; e < window::kElementCount; ++e) {
        const bool groupZero = e < 8;
        QCOMPARE(window::checkValue(c.PORT_SYS_MGMNT_2[e]), groupZero ? 1 : 0);
        QCOMPARE(window::checkValue(c.PORT_MODE_BYPS[2][e]), 0);
        QCOMPARE(window::checkValue(c.PORT_MODE_BYPS[5][e]), groupZero ? 1 : 0);
        QCOMPARE(c.PORT_LED_DRV[e]->currentText(), QStringLiteral("Hi-Z"));
        QCOMPARE(c.PORT_SYS_MGMNT_3[e]->currentIndex(), 0);
    }
}

void MainWindowTest::tabRule_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("portCount");
    QTest::addColumn<int>("clicked");
    QTest::addColumn<int>("shown");

    QTest::newRow("8 ports: tab 3 falls back to 0") << 0 << 8 << 3 << 0;
    QTest::newRow("16 ports: tab 1 stays") << 0 << 16 << 1 << 1;
    QTest::newRow("16 ports: tab 2 falls back") << 0 << 16 << 2 << 0;
    QTest::newRow("48 ports: tab 5 stays") << 0 << 48 << 5 << 5;
    QTest::newRow("48 ports: tab 6 falls back") << 0 << 48 << 6 << 0;
    // The count dropped while tab 5 was shown: the clicked and the previous tab are both
    // refused, and the selection must settle instead of bouncing between them.
    QTest::newRow("tab 5 of 48, now 8 ports: tab 3 falls back") << 5 << 8 << 3 << 0;
}

void MainWindowTest::tabRule()
{
    QFETCH(int, from);
    QFETCH(int, portCount);
    QFETCH(int, clicked);
    QFETCH(int, shown);

    Panel p;
    p.startAndSettle();
    testing::SessionSeam::setPortCount(p.session(), 48);
    p.c().Port_Control->setCurrentIndex(from);
    testing::SessionSeam::setPortCount(p.session(), portCount);
    QSignalSpy changes(p.c().Port_Control, &QTabWidget::currentChanged);
    p.c().Port_Control->setCurrentIndex(clicked);
    QCOMPARE(p.c().Port_Control->currentIndex(), shown);
    QVERIFY(changes.size() <= 2);
    QVERIFY2(p.link.writes.isEmpty(), "selecting a tab sends nothing");
    QCOMPARE(p.engine().portGroup(), 0);
    if (shown != clicked)
        QVERIFY(p.window->outcomeText().contains(QStringLiteral("beyond")));
}

void MainWindowTest::resetGuiDuringWrite()
{
    Panel p;
    p.window->formLoad();
    p.link.takeWire();
    // The system write waits for its acknowledgement, the port write is pending.
    QCOMPARE(p.engine().state(), protocol::TransactionEngine::State::AwaitingAck);
    p.engine().requestPortRefresh();

    p.window->Reset_GUI_Click();
    window::MainControls &c = p.c();
    QCOMPARE(window::checkValue(c.Interval_Update), 0);
    QVERIFY(!p.timer1.isActive());
    QVERIFY(c.Update_Port_Status->isEnabled());
    for (RequestKind kind : { RequestKind::WholeRead, RequestKind::SystemWrite,
                              RequestKind::PortWrite, RequestKind::PortRefresh })
        QVERIFY(!p.engine().isPending(kind));
    QCOMPARE(p.link.takeWire(), bytes({ 0x08 }));
    QCOMPARE(p.engine().state(), protocol::TransactionEngine::State::AwaitingAnswer);
    QVERIFY(p.timer2.isActive());

    // A late acknowledgement of the dropped write sends no block.
    p.link.feed(bytes({ 0x06 }));
    QVERIFY(p.link.writes.isEmpty());
}

void MainWindowTest::resizeRule_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("scrollBar");

    QTest::newRow("1000 leaves it unchanged") << 1000 << 12015;
    QTest::newRow("1001 makes it 1") << 1001 << 1;
    QTest::newRow("8500 makes it 7500") << 8500 << 7500;
}

void MainWindowTest::resizeRule()
{
    QFETCH(int, height);
    QFETCH(int, scrollBar);

    Panel p;
    p.window->applyWindowHeight(height);
    QCOMPARE(p.window->scrollBarHeightTwips(), scrollBar);
    QCOMPARE(p.c().VScroll1->height(), (scrollBar + 7) / 15);
}

void MainWindowTest::resizeFollowsTheWindow()
{
    Panel p;
    p.window->formLoad();
    p.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(p.window.get()));
    QCOMPARE(p.window->scrollBarHeightTwips(), p.window->frameGeometry().height() * 15 - 1000);
    // The start-up size shows all the content: the port strip ends inside the client area.
    const QRect strip(p.c().Port_Control->mapTo(p.window->centralWidget(), QPoint(0, 0)),
                      p.c().Port_Control->size());
    QVERIFY2(p.window->centralWidget()->rect().contains(strip), "the whole strip fits");

    p.window->resize(p.window->width(), 300);
    QTRY_COMPARE(p.window->scrollBarHeightTwips(), p.window->frameGeometry().height() * 15 - 1000);
}

void MainWindowTest::scrollMovesMasterFrame_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("topPixels");

    QTest::newRow("600") << 600 << -40;
    QTest::newRow("15") << 15 << -1;
    QTest::newRow("back to 0") << 0 << 0;
}

void MainWindowTest::scrollMovesMasterFrame()
{
    QFETCH(int, value);
    QFETCH(int, topPixels);

    Panel p;
    QCOMPARE(p.window->masterFrameTopTwips(), 480);
    // A change is needed before any move: start from elsewhere.
    p.c().VScroll1->setValue(value == 300 ? 600 : 300);
    p.c().VScroll1->setValue(value);
    QCOMPARE(p.window->masterFrameTopTwips(), -value);
    QCOMPARE(p.c().Master_Frame->y(), topPixels);
}

void MainWindowTest::saveToDevice_data()
{
    QTest::addColumn<int>("directWrite");
    QTest::addColumn<QString>("portCount");
    QTest::addColumn<int>("changed");
    QTest::addColumn<bool>("busy");

    QTest::newRow("idle, direct write off, 24 ports") << 0 << "24" << 24 << false;
    QTest::newRow("idle, direct write on, 16 ports") << 1 << "16" << 16 << false;
    QTest::newRow("busy, direct write on, 48 ports") << 1 << "48" << 48 << true;
}

void MainWindowTest::saveToDevice()
{
    QFETCH(int, directWrite);
    QFETCH(QString, portCount);
    QFETCH(int, changed);
    QFETCH(bool, busy);

    Panel p;
    p.startAndSettle();
    window::MainControls &c = p.c();
    // Start from the opposite state everywhere, so that both directions show.
    for (int e = 0; e < window::kElementCount; ++e)
        c.PORT_LED_DRV[e]->setEnabled(directWrite == 0);
    window::setCheckValue(c.COMMON_CTRL_5, directWrite);
    window::setCheckValue(c.COMMON_CTRL_7, 1);
    c.SYS_PORT_CNT->setCurrentText(portCount);
    if (busy)
        p.window->Update_Port_Status_Click();

    p.window->TX_SYS_CTRL_Click();
    QCOMPARE(p.session().portCount(), portCount.toInt());
    for (int e = 0; e < window::kElementCount; ++e) {
        const bool expected = e < changed ? directWrite == 1 : directWrite == 0;
        QVERIFY2(c.PORT_LED_DRV[e]->isEnabled() == expected, qPrintable(QString::number(e)));
    }
    QCOMPARE(window::checkValue(c.COMMON_CTRL_7), 0);

    // Both blocks are built at their own launch: "Calibrate System" (bit 2 of byte 4) rides
    // only on a save made while the link was idle.
    QByteArray wire;
    if (busy) {
        QCOMPARE(p.link.takeWire(), bytes({ 0x28 }));
        p.link.feed(QByteArray(168, '\0'));
    }
    wire += p.link.takeWire();
    QCOMPARE(wire, bytes({ 0x18 }));
    p.link.feed(bytes({ 0x06 }));
    const QByteArray systemBlock = p.link.takeWire();
    QCOMPARE(systemBlock.size(), 14);
    QCOMPARE(bool(systemBlock[4] & 0x04), !busy);
    QCOMPARE(systemBlock.at(0), char(portCount.toInt()));
    p.link.drain();
    QCOMPARE(p.link.takeWire(), bytes({ 0x20 }));
    p.link.feed(bytes({ 0x06 }));
    QCOMPARE(p.link.takeWire().size(), 217);
    p.link.drain();
    QVERIFY(!p.engine().transactionBusy());
}

void MainWindowTest::requestButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("Load from Device") << "Update_All" << bytes({ 0x08 });
    QTest::newRow("Send Port Control") << "TX_PRT_CTRL" << bytes({ 0x20 });
    QTest::newRow("Update Port Status Only") << "Update_Port_Status" << bytes({ 0x28 });
    QTest::newRow("Save to Device") << "TX_SYS_CTRL" << bytes({ 0x18 });
}

void MainWindowTest::requestButtons()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, wire);

    // Without start-up the engine is idle and the buttons are as designed.
    Panel p;
    auto *pushButton = p.window->findChild<QPushButton *>(button);
    QVERIFY(pushButton);
    pushButton->click();
    QCOMPARE(p.link.takeWire(), wire);
}

void MainWindowTest::autoRefreshSwitch()
{
    Panel p;
    window::MainControls &c = p.c();
    QVERIFY(!p.timer1.isActive());
    window::setCheckValue(c.Interval_Update, 1);
    QVERIFY(p.timer1.isActive());
    QVERIFY(!c.Update_Port_Status->isEnabled());
    const int starts = p.timer1.starts;
    window::setCheckValue(c.Interval_Update, 1);
    QCOMPARE(p.timer1.starts, starts);

    c.Interval_Update->click();
    QCOMPARE(window::checkValue(c.Interval_Update), 0);
    QVERIFY(!p.timer1.isActive());
    QVERIFY(c.Update_Port_Status->isEnabled());
}

void MainWindowTest::menuChoosesPort_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("device");

    // COMM 1 is the start-up choice.
    QTest::newRow("COMM 2") << QStringLiteral("Comm2") << QStringLiteral("/dev/fake-com2");
    QTest::newRow("COMM 3") << QStringLiteral("Comm3") << QStringLiteral("/dev/fake-com3");
}

void MainWindowTest::menuChoosesPort()
{
    QFETCH(QString, item);
    QFETCH(QString, device);

    Panel p;
    p.window->formLoad();
    const int closes = p.link.closeCount;
    auto *action = p.window->findChild<QAction *>(item);
    QVERIFY(action);
    action->trigger();
    QCOMPARE(p.link.closeCount, closes + 1);
    QVERIFY(p.link.isOpen());
    QCOMPARE(p.link.portName(), device);
    QCOMPARE(p.window->session().commPortNumber(), item.right(1).toInt());
    QVERIFY2(p.window->portStateText().contains(device), qPrintable(p.window->portStateText()));
    QVERIFY(p.window->portStateText().contains(QStringLiteral("open")));

    p.link.failOpen = true;
    action->trigger();
    QVERIFY(p.window->portStateText().contains(QStringLiteral("not open: cannot open")));
}

void MainWindowTest::resetPort()
{
    Panel p;
    p.window->formLoad();
    p.link.close();
    const int opens = p.link.openCount;
    p.window->COM_Reset_Cmd_Click();
    QCOMPARE(p.link.openCount, opens + 1);
    QVERIFY(p.link.isOpen());
    QCOMPARE(window::checkValue(p.c().PortOn_Chk), 1);
}

void MainWindowTest::statusBarTellsWhatTheBoardHides()
{
    Panel p;
    p.startAndSettle();
    // An entry the write needs is empty: the save sends nothing at all, keeps "Calibrate
    // System" for the next save, and the operator is told why.
    p.c().PD_R_HIGH->setText(QString());
    window::setCheckValue(p.c().COMMON_CTRL_7, 1);
    p.window->TX_SYS_CTRL_Click();
    QVERIFY2(p.window->outcomeText().startsWith(QStringLiteral("Nothing sent for the system")),
             qPrintable(p.window->outcomeText()));
    QVERIFY(p.link.takeWire().isEmpty());
    QVERIFY(!p.engine().transactionBusy());
    QVERIFY(!p.engine().isPending(RequestKind::PortWrite));
    QCOMPARE(window::checkValue(p.c().COMMON_CTRL_7), 1);
    // A refresh that completes leaves the refusal in view.
    p.window->Update_Port_Status_Click();
    p.link.feed(QByteArray(168, '\0'));
    QVERIFY(p.window->outcomeText().startsWith(QStringLiteral("Nothing sent")));

    // A port lost while open says why.
    QVERIFY(p.window->portStateText().contains(QStringLiteral("open,")));
    emit p.link.portFailed(QStringLiteral("the device was removed"));
    p.link.close();
    QCOMPARE(p.window->portStateText(),
             QStringLiteral("COM1 (/dev/fake-com1) not open: the device was removed"));
}

void MainWindowTest::doubleAmpersandShowsOne_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("shown");

    QTest::newRow("System Setup & Control") << "Sys_Ctrl"
                                            << "System Setup & Control";
    QTest::newRow("Fault Enable & Paused") << "Label1_54"
                                           << "Fault Enable & Paused";
}

void MainWindowTest::doubleAmpersandShowsOne()
{
    QFETCH(QString, control);
    QFETCH(QString, shown);

    auto *widget = m_shown->window->findChild<QWidget *>(control);
    QVERIFY(widget);
    QCOMPARE(accessibleName(widget), shown);
}

void MainWindowTest::everyColumnAlike()
{
    // Column 1 of the first page is the model; the exceptions sit in columns 0 and 5 of
    // every page.
    Panel p;
    window::MainControls &c = p.c();
    const auto children = [](QGroupBox *frame) {
        QMap<QString, QWidget *> byRow;
        for (QWidget *child : frame->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            const QString name = child->objectName();
            byRow.insert(name.left(name.lastIndexOf(u'_')), child);
        }
        return byRow;
    };
    const QMap<QString, QWidget *> model = children(c.Port_Frame[1]);
    QCOMPARE(model.size(), 28);
    const QMap<QPair<QString, int>, QRect> exceptions {
        { { QStringLiteral("PORT_SYS_MGMNT_1"), 0 }, QRect(56, 64, 17, 17) },
        { { QStringLiteral("PORT_SYS_MGMNT_1"), 5 }, QRect(48, 56, 17, 17) },
        { { QStringLiteral("PORT_PWR_ORDER_2"), 0 }, QRect(8, 384, 65, 19) },
    };
    QCOMPARE(c.Port_Control->count(), 8);
    for (int g = 0; g < 8; ++g)
        QCOMPARE(c.Port_Control->tabText(g),
                 QStringLiteral("Ports %1-%2").arg(g * 8 + 1).arg(g * 8 + 8));
    for (int e = 0; e < window::kElementCount; ++e) {
        QGroupBox *frame = c.Port_Frame[e];
        QCOMPARE(frame->title(), QStringLiteral("Port %1").arg(e + 1));
        QCOMPARE(frame->parentWidget(), c.Port_Control->widget(e / 8));
        QCOMPARE(frame->geometry().translated(-80 * (e % 8), 0), c.Port_Frame[0]->geometry());
        const QMap<QString, QWidget *> column = children(frame);
        QCOMPARE(column.keys(), model.keys());
        for (auto it = model.cbegin(); it != model.cend(); ++it) {
            QWidget *control = column.value(it.key());
            QCOMPARE(control->objectName(), QStringLiteral("%1_%2").arg(it.key()).arg(e));
            QCOMPARE(control->isHidden(), it.value()->isHidden());
            QCOMPARE(control->isEnabled(), it.value()->isEnabled());
            const QRect expected = exceptions.value({ it.key(), e % 8 }, it.value()->geometry());
            QVERIFY2(control->geometry() == expected,
                     qPrintable(QStringLiteral("%1 of element %2").arg(it.key()).arg(e)));
        }
    }
}

void MainWindowTest::rowCaptionsLevelWithTheirRows_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("row");

    const char *const rows[][3] = {
        { "Port Enable", "Label2_26", "PORT_SYS_MGMNT_2" },
        { "Bypass Classification", "Label1_32", "PORT_MODE_BYPS_2" },
        { "Bypass Detection", "Label1_33", "PORT_MODE_BYPS_1" },
        { "LED Status Indicators", "Label1_48", "Port_LED_Red" },
        { "Fault Status", "Label1_35", "PORT_FLT_MODE_1" },
        { "Mode Status", "Label1_7", "PORT_FLT_MODE_2" },
        { "Discovery R", "Label1_13", "PORT_DISC_R" },
        { "Port Current", "Label1_21", "PORT_CURRENT" },
        { "Port Voltage", "Label1_22", "PORT_VOLTAGE" },
        { "Port Power", "Label1_50", "PORT_POWER" },
        { "Class Current", "Label1_9", "PORT_CLASS_1" },
        { "Determined Class", "Label1_10", "PORT_CLASS_2" },
    };
    for (const auto &[name, caption, row] : rows)
        QTest::newRow(name) << QString::fromLatin1(caption) << QString::fromLatin1(row);
}

void MainWindowTest::rowCaptionsLevelWithTheirRows()
{
    QFETCH(QString, caption);
    QFETCH(QString, row);

    Panel &p = *m_shown;
    testing::SessionSeam::setPortCount(p.session(), 32);
    const auto top = [&p](QWidget *w) {
        return w->mapTo(p.window.get(), QPoint(0, 0)).y();
    };
    auto *label = p.window->findChild<QLabel *>(caption);
    QVERIFY(label);
    for (int tab : { 0, 3 }) {
        p.c().Port_Control->setCurrentIndex(tab);
        for (int column : { 0, 7 }) {
            const int e = tab * 8 + column;
            auto *control = p.window->findChild<QWidget *>(QStringLiteral("%1_%2").arg(row).arg(e));
            QVERIFY(control);
            QVERIFY(control->isVisible());
            QCOMPARE(top(label), top(control));
        }
    }
    p.c().Port_Control->setCurrentIndex(0);
    testing::SessionSeam::setPortCount(p.session(), 8);
}

void MainWindowTest::shownAndNotShown_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("visible");

    const char *shown[]
        = { "COMMON_CTRL_7", "PD_R_HIGH", "PD_R_LOW",         "REV_IDENT_1",   "REV_IDENT_2",
            "Label5",        "BOX_PWR",   "Interval_Update",  "Update_All",    "TX_SYS_CTRL",
            "Image2",        "Image3",    "Port_LED_Green_0", "PORT_CLASS_2_7" };
    for (const char *name : shown)
        QTest::newRow(name) << name << true;
    const char *notShown[]
        = { "VScroll1",           "Image1",        "SYS_PORT_CNT",       "NOISE_MST_EN_1",
            "COMMON_CTRL_1",      "COMMON_CTRL_5", "MAX_SYS_PWR",        "STARTUP_OL_DLY",
            "FLT_PWR_CYCLES_1",   "LEG_SUPP_2",    "TX_PRT_CTRL",        "Update_Port_Status",
            "Reset_GUI",          "COM_Reset_Cmd", "PortOn_Chk",         "m_Port_V_Scale",
            "b_Disc_C_Scale",     "Label4",        "PORT_LED_DRV_0",     "PORT_PWR_ORDER_2_0",
            "PORT_PWR_ORDER_1_3", "PORT_DISC_C_5", "PORT_MODE_BYPS_3_0", "FAULT_PAUSED_7",
            "PORT_SYS_MGMNT_1_5" };
    for (const char *name : notShown)
        QTest::newRow(name) << name << false;
}

void MainWindowTest::shownAndNotShown()
{
    QFETCH(QString, control);
    QFETCH(bool, visible);

    auto *widget = m_shown->window->findChild<QWidget *>(control);
    QVERIFY2(widget, qPrintable(control));
    QCOMPARE(widget->isVisible(), visible);
}

void MainWindowTest::valueLabelsLook()
{
    Panel p;
    window::MainControls &c = p.c();
    const QList<QPair<QLabel *, QRgb>> labels {
        { c.REV_IDENT_2, 0xFF8000 },
        { c.BOX_PWR, 0xFF8000 },
        { c.Label5, 0xFF8000 },
        { c.Label4, 0x00FF00 },
        { c.PORT_FLT_MODE_1[9], 0x00FF00 },
        { c.PORT_VOLTAGE[63], 0xFFFF00 },
    };
    for (const auto &[label, colour] : labels) {
        QCOMPARE(label->palette().color(QPalette::WindowText).rgb() & 0xFFFFFF, colour);
        QCOMPARE(label->palette().color(QPalette::Window), QColor(Qt::black));
        QVERIFY(label->font().bold());
        QVERIFY(label->alignment() & Qt::AlignHCenter);
    }
    QCOMPARE(c.Port_LED_Red[0]->fillColour(), QColor(0xFF0000));
    QCOMPARE(c.Port_LED_Yellow[12]->fillColour(), QColor(0xFFFF00));
    QCOMPARE(c.Port_LED_Green[63]->fillColour(), QColor(0x00FF00));
}

void MainWindowTest::versionStaysPut()
{
    Panel p;
    p.startAndSettle();
    QCOMPARE(p.c().Label5->text(), QStringLiteral("1.21"));
    p.window->Update_All_Click();
    QByteArray snapshot(168, '\0');
    for (int i = 0; i < snapshot.size(); ++i)
        snapshot[i] = static_cast<char>(0x5A + i);
    p.link.feed(snapshot);
    QCOMPARE(p.c().Label5->text(), QStringLiteral("1.21"));
    QCOMPARE(p.window->windowTitle(), QStringLiteral("Vantor Control Panel"));
}

void MainWindowTest::screenshot()
{
    Panel p;
    p.window->formLoad();
    p.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(p.window.get()));
    // Into the build tree, never the sources: ctest names it; run by hand, next to the test.
    const QString binary = qEnvironmentVariable("VANTOR_BINARY_DIR");
    const QString dir = binary.isEmpty()
        ? QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots")
        : binary + QStringLiteral("/tests/window/screenshots");
    QVERIFY(QDir().mkpath(dir));
    const QString file = dir + QStringLiteral("/mainwindow.png");
    QVERIFY(p.window->grab().save(file));
    qInfo("window picture: %s", qPrintable(file));
}

QTEST_MAIN(MainWindowTest)
#include "test_mainwindow.moc"
