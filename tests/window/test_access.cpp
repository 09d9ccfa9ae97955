// SPDX-License-Identifier: MIT

// What assistive technology gets from the window, through Qt's accessibility interface: the
// value labels name their current value and describe what it is, and every change of value
// or hover text raises the event a screen reader listens for.

#include <panelrig.h>

#include <examples.h>

#include <window/ledwidget.h>

#include <QAccessible>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>

using namespace vantor;
using testing::ShownPanel;

namespace {

QString accessibleText(QObject *object, QAccessible::Text kind)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(kind) : QStringLiteral("(no interface)");
}

QByteArray portZeroExample()
{
    QByteArray snapshot(168, '\0');
    testing::setBytes(snapshot, testing::kPortZeroExample);
    return snapshot;
}

// The events raised while the handler is installed, as "objectName type".
QStringList g_events;

void recordEvent(QAccessibleEvent *event)
{
    if (event->object())
        g_events << QStringLiteral("%1 %2").arg(event->object()->objectName()).arg(event->type());
}

} // namespace

class AccessTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void namesAndDescriptions_data();
    void namesAndDescriptions();
    void changesAreAnnounced();

private:
    std::unique_ptr<ShownPanel> m_panel;
};

void AccessTest::initTestCase()
{
    m_panel = std::make_unique<ShownPanel>();
    QVERIFY(m_panel->exposed());
    m_panel->loadFromDevice(portZeroExample());
    QCOMPARE(m_panel->c().PORT_CURRENT[0]->text(), QStringLiteral("350.5"));
}

void AccessTest::cleanupTestCase()
{
    m_panel.reset();
}

void AccessTest::namesAndDescriptions_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");

    const char *const rows[][3] = {
        // Values: the value is the name, what it is the description.
        { "PORT_CURRENT_0", "350.5", "Port 1 Port Current (mA)" },
        { "PORT_VOLTAGE_0", "48", "Port 1 Port Voltage (V)" },
        { "PORT_CLASS_2_0", "2: 7W", "Port 1 Determined Class" },
        { "PORT_FLT_MODE_1_0", "Null", "Port 1 Fault Status: Null State" },
        { "PORT_FLT_MODE_2_0", "Ramp Up", "Port 1 Mode Status: Ramp Port Voltage Up" },
        { "PORT_DISC_R_1", "0", "Port 2 Discovery R (ohms)" },
        { "PORT_POWER_15", "(W)", "Port 16 Port Power (W)" },
        { "BOX_PWR", "0", "Total Port Power (W)" },
        { "Label5", "1.21", "Utility Version" },
        { "Port_LED_Green_0", "Green LED", "Port 1 LED Status Indicators" },
        // Controls keep their captions as names.
        { "PORT_SYS_MGMNT_2_0", "Port Enable", "Port 1" },
        { "PORT_MODE_BYPS_1_9", "Bypass Detection", "Port 10" },
        { "COMMON_CTRL_7", "Calibrate System", "" },
        { "Interval_Update", "Enable Auto-Refresh", "" },
        { "PD_R_HIGH", "Upper Limit", "" },
        { "PD_R_LOW", "Lower Limit", "" },
        { "Update_All", "Load from Device", "Load from Device (F5)" },
        { "TX_SYS_CTRL", "Save to Device", "Save to Device (Ctrl+S)" },
        { "Label1_52", "Calibrate System", "" },
    };
    for (const auto &[control, name, description] : rows) {
        QTest::newRow(control) << QString::fromLatin1(control) << QString::fromLatin1(name)
                               << QString::fromLatin1(description);
    }
}

void AccessTest::namesAndDescriptions()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(QString, description);

    auto *widget = m_panel->window->findChild<QWidget *>(control);
    QVERIFY(widget);
    QCOMPARE(accessibleText(widget, QAccessible::Name), name);
    QCOMPARE(accessibleText(widget, QAccessible::Description), description);
}

void AccessTest::changesAreAnnounced()
{
    // Qt raises change events only while a bridge to assistive technology is active: the
    // AT-SPI bridge under scripts/atspi-session (the test_access_atspi run), none offscreen.
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        QSKIP("no accessibility bridge offscreen; test_access_atspi runs this");
    QTRY_VERIFY_WITH_TIMEOUT(QAccessible::isActive(), 5000);
    QAccessible::installUpdateHandler(recordEvent);
    g_events.clear();
    QByteArray snapshot = portZeroExample();
    snapshot[110] = 0x0E; // port 0 current 376.1 mA
    snapshot[157] = 0x44; // port 0 "Overload", still "Ramp Up"
    m_panel->loadFromDevice(snapshot);
    QAccessible::installUpdateHandler(nullptr);

    window::MainControls &c = m_panel->c();
    QCOMPARE(c.PORT_FLT_MODE_1[0]->text(), QStringLiteral("Overload"));
    const auto raised = [](QWidget *widget, QAccessible::Event type) {
        return g_events.contains(QStringLiteral("%1 %2").arg(widget->objectName()).arg(type));
    };
    QVERIFY2(raised(c.PORT_CURRENT[0], QAccessible::NameChanged), qPrintable(g_events.join(u'\n')));
    QVERIFY(raised(c.PORT_FLT_MODE_1[0], QAccessible::NameChanged));
    QVERIFY(raised(c.PORT_FLT_MODE_1[0], QAccessible::DescriptionChanged));
    QCOMPARE(accessibleText(c.PORT_FLT_MODE_1[0], QAccessible::Description),
             QStringLiteral("Port 1 Fault Status: Overload fault- Port average current limited to "
                            "475mA > 50msec"));
    // The mode hover text stayed the same: nothing to announce.
    QVERIFY(!raised(c.PORT_FLT_MODE_2[0], QAccessible::DescriptionChanged));
}

QTEST_MAIN(AccessTest)
#include "test_access.moc"
