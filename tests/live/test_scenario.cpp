// SPDX-License-Identifier: MIT
#include <sim/scenario.h>

#include <QTemporaryDir>
#include <QTest>

#include <set>

using vantor::sim::Load;
using vantor::sim::LoadKind;
using vantor::sim::Scenario;
using vantor::sim::ScenarioResult;

class TestScenario : public QObject
{
    Q_OBJECT

private slots:
    void parsesPorts_data();
    void parsesPorts();
    void topLevel();
    void refused_data();
    void refused();
    void demoShowsEverything();
    void files();
};

void TestScenario::parsesPorts_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("classCode");
    QTest::addColumn<int>("milliwatts");
    QTest::addColumn<int>("ohms");
    QTest::addColumn<int>("tenthsUf");
    QTest::addColumn<int>("afterMs");
    QTest::addColumn<int>("reconnectAfterMs");
    QTest::addColumn<bool>("enabled");

    const auto row = [](const char *name, const char *entry, LoadKind kind, int cls, int mw,
                        int ohms, int tenths, int after, int reconnect, bool enabled = true) {
        QTest::newRow(name) << QByteArray(entry) << int(kind) << cls << mw << ohms << tenths
                            << after << reconnect << enabled;
    };
    row("pd class 2, defaults", R"("load": "pd", "class": 2)", LoadKind::PoweredDevice, 2, 6000,
        25000, 1, 0, -1);
    row("pd class 4, 12.5 W", R"("load": "pd", "class": 4, "watts": 12.5)", LoadKind::PoweredDevice,
        4, 12500, 25000, 1, 0, -1);
    row("legacy ignores the class", R"("load": "legacy", "class": 3, "capacitanceUf": 22.5)",
        LoadKind::Legacy, 0, 6000, 8000, 225, 0, -1);
    row("invalid 33 kOhm", R"("load": "invalid", "ohms": 33000)", LoadKind::InvalidSignature, 0,
        6000, 33000, 1, 0, -1);
    row("overload defaults", R"("load": "overload", "class": 1)", LoadKind::Overload, 1, 3000,
        25000, 1, 2000, -1);
    row("short after 1.5 s", R"("load": "short", "afterMs": 1500)", LoadKind::Short, 0, 6000, 25000,
        1, 1500, -1);
    row("disconnect and return",
        R"("load": "disconnect", "class": 3, "afterMs": 4000, "reconnectAfterMs": 2500)",
        LoadKind::Disconnect, 3, 10500, 25000, 1, 4000, 2500);
    row("nothing, disabled", R"("load": "none", "enabled": false)", LoadKind::None, 0, 0, 0, 0, 0,
        -1, false);
}

void TestScenario::parsesPorts()
{
    QFETCH(QByteArray, entry);
    QFETCH(int, kind);
    QFETCH(int, classCode);
    QFETCH(int, milliwatts);
    QFETCH(int, ohms);
    QFETCH(int, tenthsUf);
    QFETCH(int, afterMs);
    QFETCH(int, reconnectAfterMs);
    QFETCH(bool, enabled);

    const QByteArray json = R"({ "ports": [ { "group": 2, "port": 5, )" + entry + " } ] }";
    const ScenarioResult result = vantor::sim::parseScenario(json);
    QVERIFY2(result.scenario, qPrintable(result.error));
    QCOMPARE(result.scenario->ports.size(), 1);
    const vantor::sim::PortLoad port = result.scenario->at(2, 5);
    QCOMPARE(port.group, 2);
    QCOMPARE(port.port, 5);
    QCOMPARE(port.enabled, enabled);
    const Load &load = port.load;
    QCOMPARE(int(load.kind), kind);
    QCOMPARE(load.classCode, classCode);
    QCOMPARE(load.milliwatts, milliwatts);
    QCOMPARE(load.signatureOhms, ohms);
    QCOMPARE(load.capacitanceTenthsUf, tenthsUf);
    QCOMPARE(load.afterMs, afterMs);
    QCOMPARE(load.reconnectAfterMs, reconnectAfterMs);
}

void TestScenario::topLevel()
{
    const ScenarioResult empty = vantor::sim::parseScenario("{}");
    QVERIFY(empty.scenario);
    QCOMPARE(empty.scenario->seed, 1u);
    QCOMPARE(empty.scenario->portCount, 8);
    QCOMPARE(int(empty.scenario->at(0, 0).load.kind), int(LoadKind::None));

    const ScenarioResult full = vantor::sim::parseScenario(
        R"({ "description": "bench", "seed": 4294967295, "portCount": 48, "ports": [] })");
    QVERIFY2(full.scenario, qPrintable(full.error));
    QCOMPARE(full.scenario->seed, 4294967295u);
    QCOMPARE(full.scenario->portCount, 48);
}

void TestScenario::refused_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("message");

    const auto port = [](const char *entry) {
        return QByteArray(R"({ "ports": [ { "group": 0, "port": 0, "load": "pd" }, { )") + entry
            + " } ] }";
    };
    QTest::newRow("empty file") << QByteArray() << "not valid JSON";
    QTest::newRow("cut short") << QByteArray(R"({ "seed": 1, )") << "not valid JSON";
    QTest::newRow("a list") << QByteArray("[]") << "must be a JSON object";
    QTest::newRow("misspelt top key") << QByteArray(R"({ "sed": 1 })") << R"(unknown key "sed")";
    QTest::newRow("negative seed") << QByteArray(R"({ "seed": -1 })") << R"("seed" must be)";
    QTest::newRow("seed too large") << QByteArray(R"({ "seed": 4294967296 })") << "\"seed\"";
    QTest::newRow("fractional seed") << QByteArray(R"({ "seed": 1.5 })") << "whole number";
    QTest::newRow("port count 12") << QByteArray(R"({ "portCount": 12 })") << "\"portCount\"";
    QTest::newRow("port count 56") << QByteArray(R"({ "portCount": 56 })") << "\"portCount\"";
    QTest::newRow("ports not a list") << QByteArray(R"({ "ports": {} })") << "must be a list";
    QTest::newRow("port not an object") << QByteArray(R"({ "ports": [ 3 ] })") << "ports[0]";
    QTest::newRow("unknown load") << port(R"("group": 0, "port": 1, "load": "shrt")")
                                  << R"(ports[1]: unknown load "shrt")";
    QTest::newRow("load missing") << port(R"("group": 0, "port": 1)") << R"("load" is missing)";
    QTest::newRow("group missing") << port(R"("port": 1, "load": "pd")") << R"("group" is missing)";
    QTest::newRow("group 6") << port(R"("group": 6, "port": 1, "load": "pd")") << "\"group\"";
    QTest::newRow("port 8") << port(R"("group": 0, "port": 8, "load": "pd")") << "\"port\"";
    QTest::newRow("class 5") << port(R"("group": 0, "port": 1, "load": "pd", "class": 5)")
                             << "\"class\"";
    QTest::newRow("watts as text")
        << port(R"("group": 0, "port": 1, "load": "pd", "watts": "6")") << "\"watts\"";
    QTest::newRow("negative afterMs")
        << port(R"("group": 0, "port": 1, "load": "short", "afterMs": -5)") << "\"afterMs\"";
    QTest::newRow("ohms beyond 16 bits")
        << port(R"("group": 0, "port": 1, "load": "invalid", "ohms": 131072)") << "\"ohms\"";
    QTest::newRow("enabled as number")
        << port(R"("group": 0, "port": 1, "load": "pd", "enabled": 1)") << "true or false";
    QTest::newRow("misspelt port key")
        << port(R"("group": 0, "port": 1, "load": "pd", "claas": 2)") << R"(unknown key "claas")";
    // Nothing attached still has every key checked.
    QTest::newRow("nothing attached, watts as text")
        << port(R"("group": 0, "port": 1, "load": "none", "watts": "junk")") << "\"watts\"";
    QTest::newRow("nothing attached, negative ohms")
        << port(R"("group": 0, "port": 1, "load": "none", "ohms": -1)") << "\"ohms\"";
    QTest::newRow("nothing attached, fractional afterMs")
        << port(R"("group": 0, "port": 1, "load": "none", "afterMs": 1.5)") << "\"afterMs\"";
    QTest::newRow("listed twice") << port(R"("group": 0, "port": 0, "load": "none")")
                                  << "group 0 port 0 is listed twice";
}

void TestScenario::refused()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, message);
    const ScenarioResult result = vantor::sim::parseScenario(json, QStringLiteral("bench.json"));
    QVERIFY(!result.scenario);
    QVERIFY2(result.error.startsWith(QLatin1String("bench.json: ")), qPrintable(result.error));
    QVERIFY2(result.error.contains(message), qPrintable(result.error));
}

void TestScenario::demoShowsEverything()
{
    const ScenarioResult result = vantor::sim::parseScenario(vantor::sim::demoScenarioText());
    QVERIFY2(result.scenario, qPrintable(result.error));

    std::set<int> classes;
    std::set<LoadKind> kinds;
    std::set<LoadKind> firstGroup;
    for (const vantor::sim::PortLoad &port : result.scenario->ports) {
        kinds.insert(port.load.kind);
        if (port.group != 0)
            continue;
        firstGroup.insert(port.load.kind);
        if (port.load.kind == LoadKind::PoweredDevice)
            classes.insert(port.load.classCode);
    }
    QCOMPARE(classes, (std::set<int> { 0, 1, 2, 3, 4 }));
    QVERIFY(firstGroup.count(LoadKind::None));
    QVERIFY(firstGroup.count(LoadKind::Short));
    QCOMPARE(int(kinds.size()), 7);
}

void TestScenario::files()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("missing.json"));
    const ScenarioResult none = vantor::sim::loadScenarioFile(missing);
    QVERIFY(!none.scenario);
    QVERIFY2(none.error.startsWith(QStringLiteral("cannot read ") + missing),
             qPrintable(none.error));

    const QString good = dir.filePath(QStringLiteral("good.json"));
    {
        QFile file(good);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(vantor::sim::demoScenarioText().toByteArray());
    }
    const ScenarioResult loaded = vantor::sim::loadScenarioFile(good);
    QVERIFY2(loaded.scenario, qPrintable(loaded.error));
    QCOMPARE(*loaded.scenario, vantor::sim::demoScenario());

    const QString huge = dir.filePath(QStringLiteral("huge.json"));
    {
        QFile file(huge);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(2 << 20, ' '));
    }
    const ScenarioResult refused = vantor::sim::loadScenarioFile(huge);
    QVERIFY(!refused.scenario);
    QVERIFY2(refused.error.contains(QLatin1String("too large")), qPrintable(refused.error));

    const ScenarioResult directory = vantor::sim::loadScenarioFile(dir.path());
    QVERIFY(!directory.scenario);
}

QTEST_GUILESS_MAIN(TestScenario)
#include "test_scenario.moc"
