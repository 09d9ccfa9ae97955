// SPDX-License-Identifier: MIT
// Settings files: every writable setting of the table at the edges of its range, wrong types,
// unknown keys and one-shot actions refused with nothing changed, and the round trip
// profile -> blocks -> the board's snapshot -> profile.

#include <bytes.h>

#include <codec/storecodec.h>
#include <session/profile.h>
#include <sim/boardmodel.h>
#include <sim/scenario.h>

#include <QTest>

using namespace vantor;
using codec::Kind;
using codec::Scope;
using codec::Setting;
using codec::SettingRow;

namespace {

QString key(const SettingRow &row)
{
    return QString::fromLatin1(row.key.data(), static_cast<qsizetype>(row.key.size()));
}

// A profile with one key set to a JSON value, in the system or for port 11.
QByteArray profileWith(const SettingRow &row, const QByteArray &json)
{
    const QByteArray pair = '"' + key(row).toLatin1() + "\": " + json;
    if (row.scope == Scope::System)
        return R"({"format": 1, "system": {)" + pair + "}}";
    return R"({"format": 1, "ports": [{"port": 11, )" + pair + "}]}";
}

QByteArray choiceJson(const SettingRow &row, int index)
{
    const auto &c = row.choices[static_cast<std::size_t>(index)];
    return '"' + QByteArray(c.data(), static_cast<qsizetype>(c.size())) + '"';
}

} // namespace

class TestProfile : public QObject
{
    Q_OBJECT

private slots:
    // Generated from the setting table: each writable setting's lowest and highest value are
    // taken, one past each and a wrong type are refused naming the key.
    void everySettingAtItsEdges_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("setting");
        QTest::addColumn<int>("value"); // -1: refused
        for (const SettingRow &row : codec::kSettings) {
            if (row.access == codec::Access::OneShot)
                continue;
            const auto add = [&](const char *what, const QByteArray &v, int expected) {
                QTest::addRow("%s %s", row.key.data(), what)
                    << profileWith(row, v) << int(row.setting) << expected;
            };
            switch (row.kind) {
            case Kind::Flag:
                add("true", "true", 1);
                add("false", "false", 0);
                add("as a number", "1", -1);
                break;
            case Kind::Choice:
                add("first", choiceJson(row, 0), 0);
                add("last", choiceJson(row, row.maximum), row.maximum);
                add("by index", "0", -1);
                add("unknown caption", "\"Off\"", -1);
                break;
            case Kind::Number:
                add("lowest", QByteArray::number(row.minimum), row.minimum);
                add("highest", QByteArray::number(row.maximum), row.maximum);
                add("below", QByteArray::number(row.minimum - 1), -1);
                add("above", QByteArray::number(row.maximum + 1), -1);
                add("as text", '"' + QByteArray::number(row.minimum) + '"', -1);
                add("fraction", QByteArray::number(row.minimum) + ".5", -1);
                break;
            }
        }
        // The issue's own example: a port power limit of 300 W must not wrap to 44.
        QTest::newRow("power limit 300")
            << profileWith(codec::settingRow(Setting::PORT_PWR_LMT), "300")
            << int(Setting::PORT_PWR_LMT) << -1;
        QTest::newRow("port count off its step")
            << profileWith(codec::settingRow(Setting::SYS_PORT_CNT), "12")
            << int(Setting::SYS_PORT_CNT) << -1;
    }

    void everySettingAtItsEdges()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, setting);
        QFETCH(int, value);
        const auto s = static_cast<Setting>(setting);
        const session::ProfileReading r = session::parseProfile(json);
        const int element = codec::isPortSetting(s) ? 10 : 0;
        codec::MemoryStore store;
        if (value < 0) {
            QVERIFY2(!r.ok(), json.constData());
            QVERIFY2(r.error.contains(key(codec::settingRow(s))), qPrintable(r.error));
            return;
        }
        QVERIFY2(r.ok(), qPrintable(r.error));
        session::applyProfile(r.profile, store);
        QCOMPARE(store.value(s, element).value, value);
    }

    // A bad file changes nothing at all, however much of it was good.
    void refusedFiles_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("named");
        QTest::newRow("no format") << QByteArray(R"({"system": {}})") << "format";
        QTest::newRow("format 2") << QByteArray(R"({"format": 2})") << "format";
        QTest::newRow("unknown top key") << QByteArray(R"({"format": 1, "board": 1})") << "board";
        QTest::newRow("unknown system key")
            << QByteArray(R"({"format": 1, "system": {"master_enable": true, "colour": 1}})")
            << "colour";
        QTest::newRow("one-shot action")
            << QByteArray(R"({"format": 1, "system": {"calibrate_system": true}})")
            << "calibrate_system";
        QTest::newRow("port 49") << QByteArray(R"({"format": 1, "ports": [{"port": 49}]})")
                                 << "port";
        QTest::newRow("port twice")
            << QByteArray(R"({"format": 1, "ports": [{"port": 2}, {"port": 2}]})") << "twice";
        QTest::newRow("bad value after good ones")
            << QByteArray(R"({"format": 1, "system": {"master_enable": false},
                             "ports": [{"port": 1, "port_enable": false, "priority": 9}]})")
            << "priority";
        QTest::newRow("not JSON") << QByteArray("{\"format\": 1,") << "JSON";
        QTest::newRow("too large") << QByteArray(session::kMaxProfileBytes + 1, ' ') << "larger";
    }

    void refusedFiles()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, named);
        const session::ProfileReading r = session::parseProfile(json);
        QVERIFY(!r.ok());
        QVERIFY2(r.error.contains(named), qPrintable(r.error));
        QCOMPARE(r.profile, session::Profile {});
    }

    // Qt's parser would keep the last of two equal keys: both readers refuse them, by name,
    // wherever they are and however they are spelt; equal keys in different objects are fine.
    void duplicateKeys_data()
    {
        QTest::addColumn<bool>("scenario"); // else a profile
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("twice"); // empty: taken

        QTest::newRow("profile: port twice in one entry")
            << false << QByteArray(R"({"format": 1, "ports": [{"port": 1, "port": 9}]})") << "port";
        QTest::newRow("profile: two port lists")
            << false << QByteArray(R"({"format": 1, "ports": [], "ports": [{"port": 2}]})")
            << "ports";
        QTest::newRow("profile: format twice")
            << false << QByteArray(R"({"format": 2, "format": 1})") << "format";
        QTest::newRow("profile: a setting twice")
            << false
            << QByteArray(R"({"format": 1, "system": {"master_enable": true, "fault_cycles": 2,
                                                       "master_enable": false}})")
            << "master_enable";
        QTest::newRow("profile: spelt once with an escape")
            << false << QByteArray(R"({"format": 1, "ports": [{"port": 3, "port_enable": true,
                                                      "port\u005fenable": false}]})")
            << "port_enable";
        QTest::newRow("profile: the same keys in two entries")
            << false << QByteArray(R"({"format": 1, "ports": [{"port": 1, "priority": 1},
                                                     {"port": 2, "priority": 1}]})")
            << QString();
        QTest::newRow("scenario: seed twice")
            << true << QByteArray(R"({"seed": 1, "portCount": 8, "seed": 2})") << "seed";
        QTest::newRow("scenario: load twice in a port")
            << true
            << QByteArray(R"({"ports": [{"group": 0, "port": 1, "load": "pd", "load": "short"}]})")
            << "load";
        QTest::newRow("scenario: two port lists")
            << true << QByteArray(R"({"ports": [], "ports": []})") << "ports";
        QTest::newRow("scenario: a description with braces and quotes")
            << true
            << QByteArray("{\"description\": \"{\\\"seed\\\": 1, \\\"seed\\\": 2}\", \"seed\": 3}")
            << QString();
    }

    void duplicateKeys()
    {
        QFETCH(bool, scenario);
        QFETCH(QByteArray, json);
        QFETCH(QString, twice);

        const QString error
            = scenario ? sim::parseScenario(json).error : session::parseProfile(json).error;
        if (twice.isEmpty()) {
            QVERIFY2(!error.contains(u"twice"), qPrintable(error));
            return;
        }
        QVERIFY2(error.contains(QStringLiteral("key \"%1\" appears twice").arg(twice)),
                 qPrintable(error));
    }

    // Keys left out keep their values; one-shot actions are cleared by any profile.
    void partialProfileKeepsTheRest()
    {
        codec::MemoryStore store;
        store.setValue(Setting::MAX_SYS_PWR, 0, 100);
        store.setValue(Setting::PORT_PWR_LMT, 9, 15);
        store.setValue(Setting::COMMON_CTRL_7, 0, 1);
        const session::ProfileReading r
            = session::parseProfile(R"({"format": 1, "ports": [{"port": 10, "priority": 3}]})");
        QVERIFY2(r.ok(), qPrintable(r.error));
        QVERIFY(!r.profile.hasSystem());
        QCOMPARE(r.profile.groups(), std::set<int> { 1 });
        session::applyProfile(r.profile, store);
        QCOMPARE(store.value(Setting::PORT_SYS_MGMNT_3, 9).value, 3);
        QCOMPARE(store.value(Setting::PORT_PWR_LMT, 9).value, 15);
        QCOMPARE(store.value(Setting::MAX_SYS_PWR).value, 100);
        QCOMPARE(store.value(Setting::COMMON_CTRL_7).value, 0);
    }

    // The one loading rule of window and command line: a profile clears a paused-fault mark,
    // but sets only one the board has reported; the rest of the profile is applied as it is.
    void pauseMarksAsReported_data()
    {
        QTest::addColumn<QByteArray>("paused"); // the profile's fault_paused for port 3
        QTest::addColumn<int>("reported");
        QTest::addColumn<int>("written");
        QTest::addColumn<int>("keptClear");
        QTest::newRow("set, reported") << QByteArray("true") << 1 << 1 << 0;
        QTest::newRow("set, not reported") << QByteArray("true") << 0 << 0 << 1;
        QTest::newRow("cleared, reported") << QByteArray("false") << 1 << 0 << 0;
        QTest::newRow("cleared, not reported") << QByteArray("false") << 0 << 0 << 0;
    }

    void pauseMarksAsReported()
    {
        QFETCH(QByteArray, paused);
        QFETCH(int, reported);
        QFETCH(int, written);
        QFETCH(int, keptClear);
        const session::ProfileReading r = session::parseProfile(
            R"({"format": 1, "ports": [{"port": 3, "power_limit_w": 20, "fault_paused": )" + paused
            + "}]}");
        QVERIFY2(r.ok(), qPrintable(r.error));
        codec::MemoryStore board;
        board.setValue(Setting::FAULT_PAUSED, 2, reported);
        codec::MemoryStore store = board;
        // What the command line does between its read and the overlay.
        store.setValue(Setting::FAULT_PAUSED, 2, 0);
        QCOMPARE(session::applyAsReported(r.profile, store, board), keptClear);
        QCOMPARE(store.value(Setting::FAULT_PAUSED, 2).value, written);
        QCOMPARE(store.value(Setting::PORT_PWR_LMT, 2).value, 20);
    }

    // A file that cannot be read is refused naming it, as one that is not a profile is.
    void readProfileFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QStringLiteral("/nonexistent/p.json")
                                 << QStringLiteral("/nonexistent/p.json: ");
        QTest::newRow("a directory: a read error") << QStringLiteral("/") << QStringLiteral("/: ");
        QTest::newRow("not a profile")
            << QStringLiteral("/dev/null") << QStringLiteral("/dev/null: not JSON");
    }

    void readProfileFile()
    {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        const session::ProfileReading r = session::readProfile(path);
        QVERIFY(!r.ok());
        QVERIFY2(r.error.startsWith(reason) && r.error.size() > reason.size(), qPrintable(r.error));
    }

    // Written out, sent to a board, read back and written out again: the same file, for every
    // setting a read shows (write-only ones are not reported by the board).
    void roundTripThroughTheBoard()
    {
        codec::MemoryStore sent;
        const int groups[] = { 0, 1 };
        sent.setValue(Setting::SYS_PORT_CNT, 0, 16);
        sent.setValue(Setting::NOISE_MST_EN_1, 0, 2);
        sent.setValue(Setting::Brellik_I2C_ADDR, 0, 31);
        sent.setValue(Setting::PD_R_LOW, 0, 131070);
        sent.setValue(Setting::MAX_SYS_PWR, 0, 2047);
        sent.setValue(Setting::STARTUP_OL_DLY, 0, 255);
        for (int e = 0; e < 16; ++e) {
            sent.setValue(Setting::PORT_SYS_MGMNT_2, e, e % 2);
            sent.setValue(Setting::PORT_SYS_MGMNT_3, e, e % 8);
            sent.setValue(Setting::PORT_PWR_LMT, e, 255 - e);
            sent.setValue(Setting::PORT_PWR_ORDER_2, e, e * 3);
            sent.setValue(Setting::PORT_LED_DRV, e, e % 4);
            sent.setValue(Setting::PORT_MODE_BYPS_4, e, 1);
        }
        const session::ProfileWriting first = session::writeProfile(sent, groups);
        QVERIFY(!first.refusal);

        const session::ProfileReading parsed = session::parseProfile(first.json);
        QVERIFY2(parsed.ok(), qPrintable(parsed.error));
        codec::MemoryStore loaded;
        session::applyProfile(parsed.profile, loaded);

        sim::BoardModel board;
        protocol::SystemBlock system {};
        QVERIFY(!codec::buildSystemBlock(loaded, 0, system));
        QVERIFY(board.applySystemBlock(system));
        codec::MemoryStore readBack;
        for (int g : groups) {
            protocol::PortBlock ports {};
            QVERIFY(!codec::buildPortBlock(loaded, g, ports));
            QVERIFY(board.applyPortBlock(g, ports));
            codec::readBack(readBack, codec::Snapshot(board.image(g)), g, 16);
        }
        const session::ProfileWriting second = session::writeProfile(readBack, groups);
        QVERIFY(!second.refusal);
        QCOMPARE(second.json, first.json);
    }

    // A setting a profile cannot hold is named, not bent into range.
    void unwritableSettingIsNamed()
    {
        codec::MemoryStore store;
        store.setValue(Setting::PORT_PWR_LMT, 3, 300);
        const int groups[] = { 0 };
        const session::ProfileWriting w = session::writeProfile(store, groups);
        QVERIFY(w.refusal);
        QCOMPARE(w.refusal->message,
                 QStringLiteral("Set Port Power Limit (W) of Port 4 must be 0 to 255"));
    }
};

QTEST_GUILESS_MAIN(TestProfile)
#include "test_profile.moc"
