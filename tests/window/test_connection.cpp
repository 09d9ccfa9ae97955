// SPDX-License-Identifier: MIT
// The window's side of the link: the status line, the stale display, the confirmations, the
// port menu with the ports present (from a fake list, since the system's leaves
// pseudo-terminals out), the remembered port and the adapter check. Fake link, timers fired
// by hand; the panel's settings go to a scratch folder set before the application exists.

#include <panelrig.h>

#include <window/ledwidget.h>
#include <window/portpicker.h>
#include <window/staledisplay.h>
#include <window/statusline.h>

#include <serial/portinfo.h>
#include <session/reconnector.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>

using namespace vantor;
using window::StaleDisplay;

namespace {

const QByteArray kAck(1, '\x06');
// A snapshot the board may send: 8 ports, nothing else set.
const QByteArray kSnapshot = QByteArray(1, '\x08') + QByteArray(167, '\0');

// The window with a fake list of ports and a hand-fired retry timer.
struct Panel : testing::FakePanel
{
    explicit Panel(const QString &com1 = QStringLiteral("/dev/fake-com1"))
        : FakePanel(com1)
    {
        window->setPortInfoSource(ports);
        window->reconnector().setRetryTimer(retry);
    }
    // The window goes before the timer its reconnector holds.
    ~Panel() { window.reset(); }

    QMenu *setPortMenu()
    {
        return window->menuBar()->findChild<QMenu *>(QStringLiteral("SetPort"));
    }
    // What the menu shows as it opens.
    void openMenu() { emit setPortMenu()->aboutToShow(); }

    testing::FakeTimer retry;
    std::shared_ptr<testing::FakePortInfo> ports = std::make_shared<testing::FakePortInfo>();
};

QString accessibleDescription(QWidget *widget)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
    return iface ? iface->text(QAccessible::Description) : QString();
}

// Where a reading stands and what state it is in: none of it may change with staleness.
QString placeAndState(QWidget *w)
{
    return QString::asprintf("%d %d %dx%d %d %d", w->x(), w->y(), w->width(), w->height(),
                             w->isEnabled(), w->isVisibleTo(w->parentWidget()));
}

QColor ownColour(QWidget *w)
{
    if (auto *led = qobject_cast<window::LedWidget *>(w))
        return led->fillColour();
    return w->palette().color(QPalette::WindowText);
}

const QList<serial::PortInfo> kTwoAdapters {
    { QStringLiteral("/dev/serial/by-id/usb-Bench_USB_Serial_A10K1234-if00-port0"),
      QStringLiteral("/dev/ttyUSB0"), QStringLiteral("USB Serial"), QStringLiteral("Bench"),
      QStringLiteral("A10K1234") },
    { QStringLiteral("/dev/ttyS4"), QStringLiteral("/dev/ttyS4"), QString(), QString(), QString() },
};

} // namespace

class ConnectionTest : public QObject
{
    Q_OBJECT

private slots:
    void statusLineNeverClips_data();
    void statusLineNeverClips();
    void conditionsEndWithTheirCause_data();
    void conditionsEndWithTheirCause();
    void staleWhileTheBoardCannotAnswer_data();
    void staleWhileTheBoardCannotAnswer();
    void confirmations_data();
    void confirmations();
    void portMenu();
    void choosingAListedPort();
    void choosingANetworkBoard();
    void anotherAdapterIsLeftClosed();
};

void ConnectionTest::statusLineNeverClips_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("elided");
    QTest::newRow("fits") << 20 << false;
    QTest::newRow("far too long") << 400 << true;
}

// Whatever its length, a message leaves the window's size alone and can be read whole, also by
// a screen reader.
void ConnectionTest::statusLineNeverClips()
{
    QFETCH(int, length);
    QFETCH(bool, elided);
    Panel p;
    p.window->formLoad();
    p.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(p.window.get()));
    const QSize size = p.window->size();
    const QString message = QStringLiteral("word ").repeated(length / 5).trimmed();

    p.window->statusLine().show(message, window::StatusKind::Problem);
    p.window->statusLine().setPortState(message);
    QApplication::processEvents();
    QCOMPARE(p.window->size(), size);
    QVERIFY(p.window->minimumSizeHint().width() <= size.width());
    for (const char *name : { "OutcomeStatus", "PortStatus" }) {
        auto *label = p.window->findChild<window::ElidingLabel *>(QString::fromLatin1(name));
        QVERIFY(label);
        QCOMPARE(label->text(), message);
        QCOMPARE(label->isElided(), elided);
        QVERIFY(label->geometry().right() <= p.window->statusBar()->width());
        QCOMPARE(label->toolTip(), elided ? message : QString());
        if (elided)
            QVERIFY(label->shownText().endsWith(QChar(0x2026)));
        QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name), message);
    }
    QCOMPARE(p.window->outcomeText(), message);
}

void ConnectionTest::conditionsEndWithTheirCause_data()
{
    QTest::addColumn<QStringList>("steps"); // "set key text", "clear key", "show text"
    QTest::addColumn<QString>("shown");
    QTest::newRow("a condition ends: blank")
        << QStringList { "set answer silent", "clear answer" } << QString();
    QTest::newRow("the newest still on comes back")
        << QStringList { "set link lost", "set answer silent", "clear answer" } << "lost";
    QTest::newRow("a condition not in view ends unseen")
        << QStringList { "set link lost", "set answer silent", "clear link" } << "silent";
    QTest::newRow("a message after a condition stays when it ends")
        << QStringList { "set answer silent", "show sent", "clear answer" } << "sent";
    QTest::newRow("changed: in view again")
        << QStringList { "set link lost", "set answer silent", "set link gone" } << "gone";
    QTest::newRow("told again alike: newer messages stay")
        << QStringList { "set link lost", "show note", "set link lost" } << "note";
}

void ConnectionTest::conditionsEndWithTheirCause()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, shown);
    QStatusBar bar;
    window::StatusLine line(&bar);
    for (const QString &step : std::as_const(steps)) {
        const QStringList w = step.split(u' ');
        if (w[0] == QStringLiteral("set"))
            line.setCondition(w[1], w[2]);
        else if (w[0] == QStringLiteral("clear"))
            line.clearCondition(w[1]);
        else
            line.show(w[1]);
    }
    QCOMPARE(line.text(), shown);
}

void ConnectionTest::staleWhileTheBoardCannotAnswer_data()
{
    QTest::addColumn<QString>("cause");
    QTest::newRow("no answer within the time-out") << QStringLiteral("silent");
    QTest::newRow("link lost") << QStringLiteral("lost");
    QTest::newRow("port could not be opened") << QStringLiteral("failed");
    QTest::newRow("port closed by a menu choice") << QStringLiteral("closed");
}

// The readings dim and say "stale" to assistive technology, the status bar says since when,
// nothing moves or changes state; the first good answer brings them back as designed.
void ConnectionTest::staleWhileTheBoardCannotAnswer()
{
    QFETCH(QString, cause);
    Panel p;
    p.startAndSettle();
    window::MainControls &c = p.c();
    StaleDisplay &stale = p.window->staleDisplay();
    QCOMPARE(stale.readings().size(), 4 + window::kElementCount * 13);
    QHash<QWidget *, QColor> designed;
    QHash<QWidget *, QString> placed;
    for (QWidget *w : stale.readings()) {
        designed.insert(w, ownColour(w));
        placed.insert(w, placeAndState(w));
    }
    QVERIFY(!stale.isStale());

    if (cause == QStringLiteral("silent")) {
        p.window->Update_Port_Status_Click();
        p.timer2.fire();
    } else if (cause == QStringLiteral("lost")) {
        p.link.lose(QStringLiteral("/dev/fake-com1: device removed"));
    } else if (cause == QStringLiteral("failed")) {
        p.link.failOpen = true;
        p.window->Comm1_Click();
        // The link's own words, which name the kind of failure, reach the operator whole.
        QCOMPARE(p.window->portStateText(),
                 QStringLiteral("COM1 (/dev/fake-com1) not open: cannot open"));
        QVERIFY(p.window->outcomeText().startsWith(QStringLiteral("cannot open")));
    } else {
        p.link.close();
    }

    QVERIFY(stale.isStale());
    QVERIFY(p.window->statusLine().staleText().contains(
        QRegularExpression(QStringLiteral("^Readings stale since \\d\\d:\\d\\d:\\d\\d$"))));
    QVERIFY(
        p.window->findChild<QWidget *>(QStringLiteral("StaleStatus"))->isVisibleTo(p.window.get()));
    for (QWidget *w : stale.readings()) {
        QCOMPARE(placeAndState(w), placed.value(w));
        QVERIFY(window::isReadingStale(w));
        QVERIFY2(accessibleDescription(w).endsWith(QStringLiteral("stale")),
                 qPrintable(accessibleDescription(w)));
    }
    QCOMPARE(ownColour(c.REV_IDENT_1), StaleDisplay::greyed(QColor(0xFF8000), Qt::black));
    QCOMPARE(ownColour(c.PORT_VOLTAGE[0]), StaleDisplay::greyed(QColor(0xFFFF00), Qt::black));
    QCOMPARE(ownColour(c.Port_LED_Green[7]),
             StaleDisplay::greyed(QColor(0x00FF00), QColor(window::LedWidget::kRimColour)));
    // Clearly grey, every value and LED, yet still readable: not blacked out.
    for (QWidget *w : stale.readings())
        QVERIFY2(ownColour(w).hsvSaturation() == 0, qPrintable(w->objectName()));
    QVERIFY(ownColour(c.PORT_CURRENT[3]).value() >= 100);

    // Back and answering: the first good answer restores them.
    p.link.failOpen = false;
    if (!p.link.isOpen())
        p.window->COM_Reset_Cmd_Click();
    QVERIFY(stale.isStale());
    // After a loss or a failed open the port's return brings a read of its own.
    if (!p.engine().transactionBusy())
        p.window->Update_Port_Status_Click();
    p.link.feed(kSnapshot);
    QVERIFY(!stale.isStale());
    QCOMPARE(p.window->statusLine().staleText(), QString());
    // (The decoders show and hide the LEDs by the answer, as always.)
    for (QWidget *w : stale.readings()) {
        QCOMPARE(ownColour(w), designed.value(w));
        QCOMPARE(placeAndState(w).section(u' ', 0, 3), placed.value(w).section(u' ', 0, 3));
        QVERIFY(!window::isReadingStale(w));
        QVERIFY(!accessibleDescription(w).contains(QStringLiteral("stale")));
    }
}

void ConnectionTest::confirmations_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("board"); // what the board does, stage by stage
    QTest::addColumn<QString>("shown");

    const QString ack = QStringLiteral("ack");
    const QString silent = QStringLiteral("silent");
    QTest::newRow("Load from Device, answered")
        << "Update_All" << QStringList { "answer" } << "Load from Device: read at";
    QTest::newRow("Load from Device, unanswered")
        << "Update_All" << QStringList { silent } << "No answer to the whole read within 2 s";
    QTest::newRow("Save to Device, both blocks sent")
        << "TX_SYS_CTRL" << QStringList { ack, ack } << "Save to Device: sent at";
    QTest::newRow("Save to Device, system write unanswered")
        << "TX_SYS_CTRL" << QStringList { silent, ack } << "Save to Device: port settings sent at";
    QTest::newRow("Save to Device, port write unanswered")
        << "TX_SYS_CTRL" << QStringList { ack, silent }
        << "No answer to the port control write within 2 s";
    QTest::newRow("Send Port Control is not confirmed")
        << "TX_PRT_CTRL" << QStringList { ack } << QString();
}

// Confirmed when the answer is shown or the blocks have gone out, never before; "sent", since
// the board does not confirm a write.
void ConnectionTest::confirmations()
{
    QFETCH(QString, button);
    QFETCH(QStringList, board);
    QFETCH(QString, shown);
    Panel p;
    p.startAndSettle();
    p.window->findChild<QPushButton *>(button)->click();
    QCOMPARE(p.window->outcomeText(), QString());
    for (const QString &stage : std::as_const(board)) {
        if (stage == QStringLiteral("silent")) {
            p.timer2.fire();
        } else if (stage == QStringLiteral("ack")) {
            p.link.feed(kAck);
            p.link.drain();
        } else {
            p.link.feed(kSnapshot);
        }
    }
    QVERIFY(!p.engine().transactionBusy());
    QVERIFY2(shown.isEmpty() ? p.window->outcomeText().isEmpty()
                             : p.window->outcomeText().startsWith(shown),
             qPrintable(p.window->outcomeText()));
    if (button == QStringLiteral("TX_SYS_CTRL") && board.first() == QStringLiteral("silent"))
        QVERIFY(p.window->outcomeText().endsWith(QStringLiteral("system settings not")));

    // "Reset GUI" drops what was asked for: nothing is confirmed afterwards.
    p.window->Update_All_Click();
    p.window->Reset_GUI_Click();
    p.link.feed(QByteArray(168, '\0'));
    QVERIFY(!p.window->outcomeText().startsWith(QStringLiteral("Load from Device")));
}

// "Set Port" as it opens: the designed items with their devices, the open one checked, then
// the ports present, listed afresh each time.
void ConnectionTest::portMenu()
{
    Panel p;
    p.startAndSettle();
    p.ports->list = kTwoAdapters;
    p.openMenu();
    window::MainControls &c = p.c();
    QCOMPARE(c.Comm1->text().remove(u'&'), QStringLiteral("COMM 1"));
    QCOMPARE(c.Comm2->toolTip(), QStringLiteral("/dev/fake-com2"));
    QCOMPARE(c.Comm3->statusTip(), QStringLiteral("/dev/fake-com3"));
    QVERIFY(c.Comm1->isChecked());
    QVERIFY(!c.Comm2->isChecked() && !c.Comm3->isChecked());

    QList<QAction *> listed = p.window->portPicker().portActions();
    QCOMPARE(listed.size(), 2);
    QCOMPARE(listed[0]->text(),
             QStringLiteral("/dev/ttyUSB0 \u2013 USB Serial, Bench, serial A10K1234"));
    QCOMPARE(listed[0]->data().toString(), kTwoAdapters[0].device);
    QCOMPARE(listed[0]->toolTip(), QStringLiteral("Open %1 as COMM 1").arg(kTwoAdapters[0].device));
    QCOMPARE(listed[1]->text(), QStringLiteral("/dev/ttyS4"));
    QVERIFY(!listed[0]->isChecked());
    QVERIFY(p.setPortMenu()->actions().contains(listed[1]));

    // Unplugged: the next opening lists nothing, and says so.
    p.ports->list.clear();
    p.openMenu();
    listed = p.window->portPicker().portActions();
    QCOMPARE(listed.size(), 1);
    QVERIFY(!listed[0]->isEnabled());
    QCOMPARE(listed[0]->text(), QStringLiteral("No serial adapters found"));
    // COMM 1..3, a separator, the one "none" item, a separator, "Network Board...".
    QCOMPARE(p.setPortMenu()->actions().size(), 3 + 1 + 1 + 1 + 1);
    QCOMPARE(p.setPortMenu()->actions().last(), p.window->portPicker().networkBoardAction());

    // Closed: nothing checked.
    p.link.close();
    p.openMenu();
    QVERIFY(!c.Comm1->isChecked());
}

// A listed port becomes COM1's device and opens as "COMM 1" does; "Reset Port" reopens it;
// it is what the next start opens.
void ConnectionTest::choosingAListedPort()
{
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("usb-Bench_USB_Serial_A10K1234-if00"));
    QVERIFY(QFile(device).open(QIODevice::WriteOnly));
    Panel p;
    p.startAndSettle();
    p.ports->list = { { device, device, QStringLiteral("USB Serial"), {}, {} } };
    p.openMenu();
    const int closes = p.link.closeCount;
    p.window->portPicker().portActions().first()->trigger();
    QCOMPARE(p.link.closeCount, closes + 1);
    QVERIFY(p.link.isOpen());
    // Nothing had gone wrong: the menu's choice reads nothing by itself, as designed.
    QVERIFY(p.link.takeWire().isEmpty());
    QCOMPARE(p.link.portName(), device);
    QCOMPARE(p.window->session().commPortNumber(), 1);
    QCOMPARE(p.window->session().chosenDevice(), device);
    QVERIFY2(p.window->portStateText().startsWith(QStringLiteral("COM1 (%1) open").arg(device)),
             qPrintable(p.window->portStateText()));
    QCOMPARE(window::rememberedPort(), device);

    p.openMenu();
    QVERIFY(p.window->portPicker().portActions().first()->isChecked());
    QCOMPARE(p.c().Comm1->toolTip(), device);

    const int opens = p.link.openCount;
    p.window->COM_Reset_Cmd_Click();
    QCOMPARE(p.link.openCount, opens + 1);
    QCOMPARE(p.link.portName(), device);
}

// "Network Board..." comes after the listed ports; the name it is given becomes COM1's device,
// is opened as "COMM 1" is, and is what the next start opens; cancelling changes nothing.
void ConnectionTest::choosingANetworkBoard()
{
    Panel p;
    p.startAndSettle();
    p.ports->list = kTwoAdapters;
    p.openMenu();
    QAction *network = p.window->portPicker().networkBoardAction();
    QVERIFY(network);
    const QList<QAction *> actions = p.setPortMenu()->actions();
    QCOMPARE(actions.last(), network);
    QVERIFY(actions.indexOf(network)
            > actions.indexOf(p.window->portPicker().portActions().last()));
    QCOMPARE(network->text().remove(u'&'), QStringLiteral("Network Board..."));
    QVERIFY(!network->isChecked());

    QStringList offered;
    QString answer;
    p.window->portPicker().setNetworkBoardAsker([&](const QString &current) {
        offered.append(current);
        return answer;
    });
    const int opens = p.link.openCount;
    network->trigger();
    QCOMPARE(p.link.openCount, opens);
    QCOMPARE(offered, QStringList { QString() });

    answer = QStringLiteral("rfc2217://lab-host:4001");
    network->trigger();
    QCOMPARE(p.link.openCount, opens + 1);
    QVERIFY(p.link.isOpen());
    QCOMPARE(p.link.portName(), answer);
    QCOMPARE(p.window->session().chosenDevice(), answer);
    QCOMPARE(window::rememberedPort(), answer);
    QCOMPARE(window::rememberedNetworkBoard(), answer);
    QVERIFY2(p.window->portStateText().startsWith(QStringLiteral("COM1 (%1) open").arg(answer)),
             qPrintable(p.window->portStateText()));

    p.openMenu();
    QVERIFY(network->isChecked());
    QCOMPARE(network->text().remove(u'&'),
             QStringLiteral("Network Board (rfc2217://lab-host:4001)..."));
    QCOMPARE(p.c().Comm1->toolTip(), answer);

    // Asked again, it starts from the board in use.
    answer.clear();
    network->trigger();
    QCOMPARE(offered.last(), QStringLiteral("rfc2217://lab-host:4001"));
    QCOMPARE(p.link.portName(), QStringLiteral("rfc2217://lab-host:4001"));
}

// The name comes back as another adapter: it stays closed, the status bar says why and how to
// take it, and choosing it from the menu opens it.
void ConnectionTest::anotherAdapterIsLeftClosed()
{
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("ttyUSB0"));
    QVERIFY(QFile(device).open(QIODevice::WriteOnly));
    Panel p(device);
    p.ports->list
        = { { device, device, QStringLiteral("USB Serial"), {}, QStringLiteral("A10K") } };
    p.link.close();
    p.startAndSettle();
    QCOMPARE(p.window->reconnector().expectedSerialNumber(), QStringLiteral("A10K"));

    p.link.lose(device + QStringLiteral(": device removed or no longer available"));
    QVERIFY(p.window->outcomeText().startsWith(QStringLiteral("Link lost at ")));
    p.ports->list.first().serialNumber = QStringLiteral("B20Z");
    p.retry.fire();
    QVERIFY(!p.link.isOpen());
    QCOMPARE(p.window->outcomeText(),
             QStringLiteral("%1 is another adapter now (serial B20Z, not A10K): left closed; "
                            "Serial Link Setup > Set Port uses it")
                 .arg(device));

    p.openMenu();
    p.window->portPicker().portActions().first()->trigger();
    QVERIFY(p.link.isOpen());
    QVERIFY(!p.window->outcomeText().contains(QStringLiteral("another adapter")));
    QCOMPARE(p.window->reconnector().expectedSerialNumber(), QStringLiteral("B20Z"));
}

// The panel's settings go to a scratch folder that no other run shares.
int main(int argc, char *argv[])
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    ConnectionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "sessionseam.h"
#include "test_connection.moc"
