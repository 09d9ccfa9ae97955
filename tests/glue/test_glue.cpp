// SPDX-License-Identifier: MIT
// Answers decoded through the session into the real window, and write blocks built from it.

#include "../codec/roundtripmask.h"
#include "sessionseam.h"

#include <examples.h>
#include <fakes.h>

#include <codec/storecodec.h>
#include <session/session.h>
#include <window/controls.h>
#include <window/ledwidget.h>
#include <window/mainwindow.h>
#include <window/numericentry.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QTest>

#include <memory>

using namespace vantor;
using testing::setBytes;
using window::MainControls;

namespace {

constexpr std::uint8_t kWholeRead = 8;
constexpr std::uint8_t kRefresh = 40;

// A snapshot of an eight-port board, zero but for the given bytes.
QByteArray snapshotWith(std::initializer_list<std::pair<int, int>> bytes)
{
    QByteArray block(168, '\0');
    block[0] = 8;
    for (const auto &[offset, value] : bytes)
        block[offset] = static_cast<char>(value);
    return block;
}

template<std::size_t N> QByteArray blockBytes(const std::array<std::uint8_t, N> &block)
{
    return QByteArray(reinterpret_cast<const char *>(block.data()), static_cast<qsizetype>(N));
}

// Where a paused-fault mark is recomputed.
enum class PauseStep { Refresh, SystemBuild, PortBuild };

// The documented system example in bytes 0..14, and the documented port-0 example.
QByteArray workedExample()
{
    // Port 0 enabled, so its green LED may show.
    QByteArray block = snapshotWith({ { 27, 0x20 } });
    setBytes(block, vantor::testing::kPortZeroExample);
    block.replace(0, 15, QByteArray::fromHex("081030a5961c25c2330d5a010a150c"));
    return block;
}

// What a control shows, as one text: captions and entry texts, the selected item, or the
// check value.
QString shown(QWidget *w)
{
    if (auto *box = qobject_cast<QCheckBox *>(w))
        return QString::number(window::checkValue(box));
    if (auto *list = qobject_cast<QComboBox *>(w))
        return list->currentText();
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text();
    if (auto *entry = qobject_cast<QLineEdit *>(w))
        return entry->text();
    return QStringLiteral("?");
}

} // namespace

Q_DECLARE_METATYPE(PauseStep)

class TestGlue : public QObject
{
    Q_OBJECT

private:
    serial::PortMap m_map;
    std::unique_ptr<testing::FakeLink> m_link;
    std::unique_ptr<testing::FakeTimer> m_timer1;
    std::unique_ptr<testing::FakeTimer> m_timer2;
    std::unique_ptr<session::Session> m_session;
    std::unique_ptr<window::MainWindow> m_window;

    MainControls &c() { return m_window->controls(); }
    QWidget *control(const QString &name) { return m_window->findChild<QWidget *>(name); }
    codec::SettingsStore &store() { return m_window->session().store(); }

    // The request for code's kind in group, and the board's answer to it.
    void decode(std::uint8_t code, const QByteArray &block, int group = 0, int portCount = 8)
    {
        session::Session &s = m_window->session();
        testing::SessionSeam::setPortCount(s, portCount);
        s.usePortGroup(group);
        if (code == kWholeRead)
            s.loadFromDevice();
        else
            s.refresh();
        m_link->feed(block);
    }

    std::optional<codec::Refusal> buildSystemBlock(protocol::SystemBlock &block)
    {
        return codec::buildSystemBlock(store(), 0, block);
    }
    std::optional<codec::Refusal> buildPortBlock(protocol::PortBlock &block)
    {
        return codec::buildPortBlock(store(), 0, block);
    }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QLoggingCategory::setFilterRules(QStringLiteral("vantor.window.info=false"));
    }

    void init()
    {
        m_link = std::make_unique<testing::FakeLink>();
        m_timer1 = std::make_unique<testing::FakeTimer>();
        m_timer2 = std::make_unique<testing::FakeTimer>();
        m_session = std::make_unique<session::Session>(*m_link, m_map, nullptr, m_timer1.get(),
                                                       m_timer2.get());
        m_window = std::make_unique<window::MainWindow>(*m_session);
    }

    void cleanup()
    {
        m_window.reset();
        m_session.reset();
    }

    // The worked example by whole read and by refresh, and single bytes beyond it.
    void shownAfterDecoding_data()
    {
        QTest::addColumn<std::uint8_t>("code");
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<int>("group");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");

        const QByteArray example = workedExample();
        const auto row = [](const char *step, std::uint8_t code, const QByteArray &block, int group,
                            const char *name, const char *text) {
            QTest::addRow("%s %s", step, name)
                << code << block << group << QString::fromLatin1(name) << QString::fromLatin1(text);
        };
        const auto whole = [&](const char *name, const char *text) {
            row("whole read", kWholeRead, example, 0, name, text);
        };
        const auto both = [&](const char *name, const char *text) {
            whole(name, text);
            row("refresh", kRefresh, example, 0, name, text);
        };
        whole("SYS_PORT_CNT", "8");
        whole("NOISE_MST_EN_1", "50 Hz");
        whole("NOISE_MST_EN_2", "0");
        whole("Brellik_I2C_ADDR", "48");
        whole("FLT_PWR_CYCLES_1", "10");
        whole("FLT_PWR_CYCLES_2", "5");
        whole("COMMON_CTRL_1", "1");
        whole("COMMON_CTRL_2", "0");
        whole("COMMON_CTRL_3", "0");
        whole("COMMON_CTRL_5", "1");
        whole("COMMON_CTRL_6", "0");
        whole("PD_R_LOW", "19000");
        whole("PD_R_HIGH", "26500");
        whole("LEG_SUPP_1", "1");
        whole("LEG_SUPP_2", "1");
        whole("LEG_SUPP_3", "0");
        whole("LEG_SUPP_4", "1");
        whole("MAX_SYS_PWR", "346");
        whole("STARTUP_OL_DLY", "10");
        whole("REV_IDENT_1", "1.21");
        whole("REV_IDENT_2", "1.5");
        whole("PORT_SYS_MGMNT_2_0", "1");
        whole("PORT_PWR_ORDER_2_0", "3");
        whole("PORT_LED_DRV_0", "Green");
        both("COMMON_CTRL_4", "1");
        both("PORT_SVC_NUM", "0");
        both("BOX_PWR", "0");
        both("PORT_PWR_ORDER_1_0", "3");
        both("PORT_DISC_C_0", "0.1");
        both("PORT_DISC_R_0", "25000");
        both("PORT_CLASS_2_0", "2: 7W");
        both("PORT_CLASS_1_0", "10");
        both("PORT_CURRENT_0", "350.5");
        both("PORT_VOLTAGE_0", "48");
        both("PORT_POWER_0", "15.9");
        both("PORT_FLT_MODE_1_0", "Null");
        both("PORT_FLT_MODE_2_0", "Ramp Up");
        both("PORT_CLASS_2_1", "0: 15.4W");
        both("PORT_FLT_MODE_2_7", "Port Off");

        row("0xFFFF refresh", kRefresh, snapshotWith({ { 16, 0xFF }, { 17, 0xFF } }), 0, "BOX_PWR",
            "204.7");
        const QByteArray classes = snapshotWith({ { 85, 6 }, { 86, 5 } });
        row("class bytes 6, 5", kRefresh, classes, 0, "PORT_CLASS_2_0", "Error");
        row("class bytes 6, 5", kRefresh, classes, 0, "PORT_CLASS_2_1", "5: 15.4W");
        row("0x30 whole read", kWholeRead, snapshotWith({ { 1, 0x30 } }), 0, "NOISE_MST_EN_1",
            "Err");
        // Texts the board reports are shown whole, even beyond what the operator may type.
        row("order 200 whole read", kWholeRead, snapshotWith({ { 35 + 4, 200 } }), 0,
            "PORT_PWR_ORDER_2_4", "200");
        const QByteArray groupOne = snapshotWith({ { 35, 7 }, { 157 + 7, 0x34 } });
        row("group 1 refresh", kRefresh, groupOne, 1, "PORT_PWR_ORDER_1_8", "7");
        row("group 1 refresh", kRefresh, groupOne, 1, "PORT_FLT_MODE_1_15", "OI Short");
        row("group 1 refresh", kRefresh, groupOne, 1, "PORT_PWR_ORDER_1_0", "(Order)");
    }

    void shownAfterDecoding()
    {
        QFETCH(std::uint8_t, code);
        QFETCH(QByteArray, block);
        QFETCH(int, group);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        // A refresh shows the port as enabled only if the window already says so.
        window::setCheckValue(c().PORT_SYS_MGMNT_2[0], 1);
        decode(code, block, group);
        QWidget *w = control(name);
        QVERIFY2(w, qPrintable(name + QStringLiteral(" does not exist")));
        QCOMPARE(shown(w), expected);
        QCOMPARE(m_window->outcomeText(), QString());
    }

    void workedExampleLedsAndHoverTexts()
    {
        window::setCheckValue(c().PORT_SYS_MGMNT_2[0], 1);
        decode(kRefresh, workedExample());
        QVERIFY(!c().Port_LED_Green[0]->isHidden());
        QVERIFY(c().Port_LED_Red[0]->isHidden());
        QVERIFY(c().Port_LED_Yellow[0]->isHidden());
        QCOMPARE(c().PORT_FLT_MODE_1[0]->toolTip(), QStringLiteral("Null State"));
        QCOMPARE(c().PORT_FLT_MODE_2[0]->toolTip(), QStringLiteral("Ramp Port Voltage Up"));
    }

    // Each LED lights by its code and the port's "Port Enable" box; offset 51 = 0x1B gives
    // codes 3, 2, 1, 0 to ports 0..3.
    void ledIndication_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("portEnable");
        QTest::addColumn<QString>("lit");

        QTest::newRow("code 3 lights nothing") << 0 << 1 << QString();
        QTest::newRow("code 2 enabled is green") << 1 << 1 << QStringLiteral("green");
        QTest::newRow("code 2 disabled is yellow") << 1 << 0 << QStringLiteral("yellow");
        QTest::newRow("code 2 partly enabled is green") << 1 << 2 << QStringLiteral("green");
        QTest::newRow("code 1 is red") << 2 << 1 << QStringLiteral("red");
        QTest::newRow("code 0 is yellow") << 3 << 0 << QStringLiteral("yellow");
    }

    // A whole read sets "Port Enable" before the port's LEDs are worked out from it.
    void wholeReadEnablesBeforeLeds()
    {
        window::setCheckValue(c().PORT_SYS_MGMNT_2[1], 0);
        decode(kWholeRead, snapshotWith({ { 51, 0x08 }, { 28, 0x20 } }));
        QVERIFY(!c().Port_LED_Green[1]->isHidden());
        QVERIFY(c().Port_LED_Yellow[1]->isHidden());
        window::setCheckValue(c().PORT_SYS_MGMNT_2[1], 1);
        decode(kWholeRead, snapshotWith({ { 51, 0x08 }, { 28, 0x00 } }));
        QVERIFY(c().Port_LED_Green[1]->isHidden());
        QVERIFY(!c().Port_LED_Yellow[1]->isHidden());
    }

    void ledIndication()
    {
        QFETCH(int, port);
        QFETCH(int, portEnable);
        QFETCH(QString, lit);
        window::setCheckValue(c().PORT_SYS_MGMNT_2[port], portEnable);
        decode(kRefresh, snapshotWith({ { 51, 0x1B } }));
        QCOMPARE(!c().Port_LED_Green[port]->isHidden(), lit == QLatin1String("green"));
        QCOMPARE(!c().Port_LED_Red[port]->isHidden(), lit == QLatin1String("red"));
        QCOMPARE(!c().Port_LED_Yellow[port]->isHidden(), lit == QLatin1String("yellow"));
    }

    // A refresh recomputes only the disabled paused-fault boxes; a whole read recomputes all.
    void pausedFaultLatch()
    {
        QCheckBox *box = c().FAULT_PAUSED[0];
        window::setCheckValue(c().COMMON_CTRL_1, 1);
        window::setCheckValue(c().PORT_SYS_MGMNT_2[0], 1);
        const QByteArray paused = snapshotWith({ { 167, 0x01 } });
        const QByteArray clear = snapshotWith({});

        decode(kRefresh, paused);
        QCOMPARE(window::checkValue(box), 1);
        QVERIFY(box->isEnabled());

        decode(kRefresh, clear);
        QCOMPARE(window::checkValue(box), 1);
        QVERIFY(box->isEnabled());

        // The operator clears the mark; the device still reports it, and refreshes keep the
        // operator's choice.
        window::setCheckValue(box, 0);
        decode(kRefresh, paused);
        QCOMPARE(window::checkValue(box), 0);
        QVERIFY(box->isEnabled());

        // Master enable and port enable come from the snapshot in a whole read.
        decode(kWholeRead, snapshotWith({ { 4, 0x80 }, { 27, 0x20 }, { 167, 0x00 } }));
        QCOMPARE(window::checkValue(box), 0);
        QVERIFY(!box->isEnabled());

        // A disabled box follows every refresh.
        decode(kRefresh, paused);
        QCOMPARE(window::checkValue(box), 1);
        QVERIFY(box->isEnabled());
    }

    void pausedFaultsByWholeRead_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QList<int>>("values");

        QTest::newRow("all bits without Master Enable")
            << snapshotWith({ { 4, 0x00 }, { 27, 0x20 }, { 28, 0x20 }, { 167, 0xFF } })
            << QList<int> { 0, 0, 0, 0, 0, 0, 0, 0 };
        QTest::newRow("port 0 paused") << snapshotWith({ { 4, 0x80 }, { 27, 0x20 }, { 167, 0x01 } })
                                       << QList<int> { 1, 0, 0, 0, 0, 0, 0, 0 };
        QTest::newRow("port 5 paused but not enabled")
            << snapshotWith({ { 4, 0x80 }, { 27 + 5, 0x40 }, { 167, 0x20 } })
            << QList<int> { 0, 0, 0, 0, 0, 0, 0, 0 };
        QTest::newRow("ports 6 and 7 paused")
            << snapshotWith({ { 4, 0x80 }, { 33, 0x20 }, { 34, 0x27 }, { 167, 0xC0 } })
            << QList<int> { 0, 0, 0, 0, 0, 0, 1, 1 };
    }

    void pausedFaultsByWholeRead()
    {
        QFETCH(QByteArray, block);
        QFETCH(QList<int>, values);
        for (int p = 0; p < 8; ++p) {
            // Whatever the boxes held, and enabled or not, a whole read sets them.
            window::setCheckValue(c().FAULT_PAUSED[p], 1 - values[p]);
            c().FAULT_PAUSED[p]->setEnabled(p % 2 == 0);
        }
        decode(kWholeRead, block);
        for (int p = 0; p < 8; ++p) {
            QCOMPARE(window::checkValue(c().FAULT_PAUSED[p]), values[p]);
            QCOMPARE(c().FAULT_PAUSED[p]->isEnabled(), values[p] == 1);
        }
    }

    // Port 3's mark is its bit (refresh) or its box (writes) AND "Master Enable" AND "Port
    // Enable", and for the port block "Fault Enable" too, bit by bit: a partly set box (2)
    // ANDs to nothing. The box is enabled only while the mark is set.
    void pauseMarkRule_data()
    {
        QTest::addColumn<PauseStep>("step");
        QTest::addColumn<int>("master");
        QTest::addColumn<int>("portEnable");
        QTest::addColumn<int>("faultEnable");
        QTest::addColumn<int>("expected");

        const auto row = [](const char *name, PauseStep step, int master, int portEnable,
                            int faultEnable, int expected) {
            QTest::newRow(name) << step << master << portEnable << faultEnable << expected;
        };
        row("refresh, all set", PauseStep::Refresh, 1, 1, 0, 1);
        row("refresh without Master Enable", PauseStep::Refresh, 0, 1, 0, 0);
        row("refresh, Master Enable partly set", PauseStep::Refresh, 2, 1, 0, 0);
        row("refresh, port not enabled", PauseStep::Refresh, 1, 0, 0, 0);
        row("save, all set", PauseStep::SystemBuild, 1, 1, 0, 1);
        row("save without Master Enable", PauseStep::SystemBuild, 0, 1, 0, 0);
        row("save, Master Enable partly set", PauseStep::SystemBuild, 2, 1, 0, 0);
        row("save, port not enabled", PauseStep::SystemBuild, 1, 0, 0, 0);
        row("port write, all set", PauseStep::PortBuild, 1, 1, 1, 1);
        row("port write without Master Enable", PauseStep::PortBuild, 0, 1, 1, 0);
        row("port write without Fault Enable", PauseStep::PortBuild, 1, 1, 0, 0);
    }

    void pauseMarkRule()
    {
        QFETCH(PauseStep, step);
        QFETCH(int, master);
        QFETCH(int, portEnable);
        QFETCH(int, faultEnable);
        QFETCH(int, expected);
        const bool refresh = step == PauseStep::Refresh;
        window::setCheckValue(c().COMMON_CTRL_1, master);
        for (int p = 0; p < 8; ++p) {
            window::setCheckValue(c().PORT_SYS_MGMNT_2[p], p == 3 ? portEnable : 1);
            window::setCheckValue(c().FAULT_ENABLE[p], faultEnable);
            // Only port 3 is marked. A refresh recomputes the disabled boxes only, a write
            // every box.
            window::setCheckValue(c().FAULT_PAUSED[p], !refresh && p == 3 ? 1 : 0);
            c().FAULT_PAUSED[p]->setEnabled(!refresh);
        }
        protocol::SystemBlock system {};
        protocol::PortBlock ports {};
        switch (step) {
        case PauseStep::Refresh:
            decode(kRefresh, snapshotWith({ { 167, 0x08 } }));
            break;
        case PauseStep::SystemBuild:
            QVERIFY(!buildSystemBlock(system));
            break;
        case PauseStep::PortBuild:
            QVERIFY(!buildPortBlock(ports));
            QCOMPARE(ports[35], expected << 3);
            break;
        }
        for (int p = 0; p < 8; ++p) {
            QCOMPARE(window::checkValue(c().FAULT_PAUSED[p]), p == 3 ? expected : 0);
            QCOMPARE(c().FAULT_PAUSED[p]->isEnabled(), p == 3 && expected == 1);
        }
    }

    void refreshTouchesOnlyStatus()
    {
        c().PD_R_LOW->setText(QStringLiteral("12345"));
        window::setCheckValue(c().PORT_MODE_BYPS[0][0], 1);
        decode(kRefresh, snapshotWith({ { 4, 0x10 }, { 5, 0x11 }, { 19, 0x00 } }));
        QCOMPARE(c().PD_R_LOW->text(), QStringLiteral("12345"));
        QCOMPARE(window::checkValue(c().PORT_MODE_BYPS[0][0]), 1);
        QCOMPARE(window::checkValue(c().COMMON_CTRL_4), 1);
    }

    void portCountNotInTheList()
    {
        c().SYS_PORT_CNT->setCurrentIndex(1);
        decode(kWholeRead, snapshotWith({ { 0, 12 } }));
        QCOMPARE(c().SYS_PORT_CNT->currentText(), QStringLiteral("16"));
        QCOMPARE(c().SYS_PORT_CNT->count(), 6);
        // Shown all the same, and said to be implausible.
        QCOMPARE(m_window->outcomeText(),
                 QStringLiteral("Implausible answer to the whole read: Ports in "
                                "System 12 (the board reports 8 to 48 in steps of 8)"));
        // The stale item is never written as the port count: the save sends nothing at all.
        m_link->takeWire();
        QVERIFY(m_window->session().saveToDevice()->outcome()
                == session::Request::Outcome::Refused);
        QVERIFY(m_link->takeWire().isEmpty());
        QVERIFY2(m_window->outcomeText().contains(QStringLiteral("12 ports")),
                 qPrintable(m_window->outcomeText()));
        QCOMPARE(m_window->session().portCount(), 8);
        // A listed count read back makes it writable again.
        decode(kWholeRead, snapshotWith({ { 0, 16 } }));
        m_link->takeWire();
        QVERIFY(!m_window->session().saveToDevice()->isFinished());
        QCOMPARE(m_link->takeWire().left(1), QByteArray(1, char(0x18)));
    }

    void ledDriveListsFollowDirectWrite_data()
    {
        QTest::addColumn<int>("portCount");
        QTest::addColumn<int>("touched");

        QTest::newRow("8 ports") << 8 << 8;
        QTest::newRow("16 ports") << 16 << 16;
        QTest::newRow("more ports than lists") << 200 << 64;
    }

    void ledDriveListsFollowDirectWrite()
    {
        QFETCH(int, portCount);
        QFETCH(int, touched);
        for (QComboBox *list : c().PORT_LED_DRV)
            list->setEnabled(true);
        // Bit 1 of offset 4 clear disables the lists; their items are still set.
        decode(kWholeRead, snapshotWith({ { 4, 0x00 }, { 51, 0xE4 } }), 0, portCount);
        for (int e = 0; e < 64; ++e)
            QCOMPARE(c().PORT_LED_DRV[e]->isEnabled(), e >= touched);
        QCOMPARE(c().PORT_LED_DRV[3]->currentText(), QStringLiteral("Err"));
        decode(kWholeRead, snapshotWith({ { 4, 0x02 } }), 0, portCount);
        for (int e = 0; e < 64; ++e)
            QVERIFY(c().PORT_LED_DRV[e]->isEnabled());
    }

    void shortAnswerShowsNothing()
    {
        const QByteArray block = workedExample().left(167);
        decode(kWholeRead, block);
        m_timer2->fire();
        QCOMPARE(c().REV_IDENT_1->text(), QStringLiteral("FW Ver."));
        QCOMPARE(c().PORT_VOLTAGE[0]->text(), QStringLiteral("(V)"));
        QVERIFY2(m_window->outcomeText().startsWith(QStringLiteral("No answer")),
                 qPrintable(m_window->outcomeText()));
    }

    void scaleFieldsAtDecodingTime()
    {
        c().Port_V_Scale.m->setText(QStringLiteral("2"));
        c().Port_V_Scale.b->setText(QStringLiteral("5"));
        c().Disc_R_Scale.m->setText(QString());
        decode(kRefresh, snapshotWith({ { 125, 0xE8 }, { 126, 0x03 }, { 69, 0x10 } }));
        QCOMPARE(c().PORT_VOLTAGE[0]->text(), QStringLiteral("20.05"));
        QCOMPARE(c().PORT_DISC_R[0]->text(), QStringLiteral("0"));
    }

    // Settings read back and saved unchanged: the blocks carry the snapshot's own bits and no
    // others. Run 0 is the documented system example with the port-0 example.
    void roundTripThroughTheWindow()
    {
        const QByteArray systemMask = testing::systemRoundTripMask();
        const QByteArray portMask = testing::portRoundTripMask();
        const auto masked = [](QByteArray bytes, const QByteArray &mask) {
            for (qsizetype i = 0; i < mask.size(); ++i)
                bytes[i] = static_cast<char>(bytes[i] & mask[i]);
            return bytes;
        };
        QRandomGenerator rng(31337);
        const int counts[] = { 8, 16, 24, 32, 40, 48 };
        for (int run = 0; run < 2000; ++run) {
            QByteArray snapshot = workedExample();
            if (run > 0) {
                for (char &b : snapshot)
                    b = static_cast<char>(rng.bounded(256));
                snapshot[0] = static_cast<char>(counts[rng.bounded(6)]);
                // Three-digit powered orders round-trip as well.
                snapshot[35 + run % 8] = static_cast<char>(100 + rng.bounded(156));
            }
            decode(kWholeRead, snapshot);

            protocol::SystemBlock system {};
            protocol::PortBlock ports {};
            QVERIFY(!buildSystemBlock(system));
            QVERIFY(!buildPortBlock(ports));
            const QByteArray sentSystem = blockBytes(system).left(systemMask.size());
            const QByteArray sentPorts = blockBytes(ports).left(portMask.size());

            // Without a window: the snapshot as typed settings in memory gives the same blocks.
            codec::MemoryStore memory;
            codec::readBack(memory, *codec::asSnapshot(testing::bytesOf(snapshot)), 0, 8);
            protocol::SystemBlock memorySystem {};
            protocol::PortBlock memoryPorts {};
            QVERIFY(!codec::buildSystemBlock(memory, 0, memorySystem));
            QVERIFY(!codec::buildPortBlock(memory, 0, memoryPorts));
            QCOMPARE(blockBytes(memorySystem), blockBytes(system));
            QCOMPARE(blockBytes(memoryPorts), blockBytes(ports));
            if (run == 0) {
                // I2C address 48 keeps five bits; byte 4 loses the unreported bit 2.
                QCOMPARE(sentSystem.toHex(' '),
                         QByteArray::fromHex("0810 10a5 92 1c25c233 0d5a010a").toHex(' '));
            }
            QVERIFY2(sentSystem == masked(snapshot.left(systemMask.size()), systemMask),
                     qPrintable(QStringLiteral("run %1: system block %2")
                                    .arg(run)
                                    .arg(QString::fromLatin1(sentSystem.toHex(' ')))));
            QVERIFY2(sentPorts == masked(snapshot.mid(19, portMask.size()), portMask),
                     qPrintable(QStringLiteral("run %1: port block %2")
                                    .arg(run)
                                    .arg(QString::fromLatin1(sentPorts.toHex(' ')))));
        }
        QCOMPARE(m_window->outcomeText(), QString());
    }

    void refusalChangesNothing_data()
    {
        QTest::addColumn<bool>("systemBlock");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");

        QTest::newRow("delay above 255")
            << true << QStringLiteral("STARTUP_OL_DLY") << QStringLiteral("256")
            << QStringLiteral("Startup Overload Delay (ms) must be 0 to 255");
        QTest::newRow("empty power limit")
            << false << QStringLiteral("PORT_PWR_LMT_3") << QString()
            << QStringLiteral("Set Port Power Limit (W) of Port 4 is empty");
    }

    void refusalChangesNothing()
    {
        QFETCH(bool, systemBlock);
        QFETCH(QString, entry);
        QFETCH(QString, text);
        QFETCH(QString, message);
        // A mark the build would clear: port 1 is not enabled.
        window::setCheckValue(c().FAULT_PAUSED[1], 1);
        c().FAULT_PAUSED[1]->setEnabled(true);
        auto *field = m_window->findChild<QLineEdit *>(entry);
        QVERIFY(field);
        field->setText(text);

        protocol::SystemBlock system;
        protocol::PortBlock ports;
        system.fill(0xAA);
        ports.fill(0xAA);
        const std::optional<codec::Refusal> refusal
            = systemBlock ? buildSystemBlock(system) : buildPortBlock(ports);
        QVERIFY(refusal);
        QCOMPARE(refusal->message, message);
        QCOMPARE(blockBytes(system), QByteArray(system.size(), '\xAA'));
        QCOMPARE(blockBytes(ports), QByteArray(ports.size(), '\xAA'));
        QCOMPARE(window::checkValue(c().FAULT_PAUSED[1]), 1);
        QVERIFY(c().FAULT_PAUSED[1]->isEnabled());
        QCOMPARE(field->text(), text);
    }
};

QTEST_MAIN(TestGlue)
#include "test_glue.moc"
