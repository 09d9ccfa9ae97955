// SPDX-License-Identifier: MIT
// Port records from an answer's own bytes, and the formats every record writer shares.

#include <bytes.h>
#include <examples.h>

#include <codec/configuration.h>
#include <records/portchanges.h>
#include <records/recordformat.h>

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace vantor;

namespace {

// The documented port-0 example on an enabled port, as port 9 (group 1).
records::PortRecord exampleRecord()
{
    QByteArray block(168, '\0');
    testing::setBytes(block, testing::kPortZeroExample);
    block[27] = 0x20;
    return records::portRecord(*codec::decodeSnapshot(testing::bytesOf(block)), 1, 0,
                               1'765'000'000'123);
}

// Port 2 of group 1 (element 9) with mode, fault, class and Port Enable codes.
codec::DecodedSnapshot portAnswer(int mode, int fault, int classByte, int enable)
{
    codec::DecodedSnapshot d;
    d.portStatus[1].modeCode = mode;
    d.portStatus[1].faultCode = fault;
    d.portStatus[1].PORT_CLASS_2 = classByte;
    d.portStatus[1].portEnable = enable;
    return d;
}

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Records never take the user's decimal separator.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void workedExampleAsCsvAndJson()
    {
        QCOMPARE(records::csvHeader(),
                 QByteArray("timestamp,group,port,port_enable,mode,fault,pw_d_status,class,"
                            "class_text,class_current_ma,current_ma,voltage_v,power_w,"
                            "discovery_r_ohm,discovery_c_uf,powered_order,led\r\n"));
        const records::PortRecord r = exampleRecord();
        QCOMPARE(records::csvRow(r),
                 QByteArray("2025-12-06T05:46:40.123Z,1,9,true,Ramp Up,Null,delivering,2,2: 7W,"
                            "10,350.5,48,15.9,25000,0.1,3,green\r\n"));
        const QJsonObject json = QJsonDocument::fromJson(records::jsonObject(r)).object();
        QCOMPARE(json.value(u"current_ma").toDouble(), 350.5);
        QCOMPARE(json.value(u"port_enable").toBool(), true);
        QCOMPARE(json.value(u"class_text").toString(), QStringLiteral("2: 7W"));
        QCOMPARE(json.size(), int(codec::kColumns.size()));
    }

    // The kernel's vocabulary, checked in its order; a class byte with no class is null.
    void powerStatus_data()
    {
        QTest::addColumn<int>("portEnable");
        QTest::addColumn<int>("status"); // fault code << 4 | mode code
        QTest::addColumn<QString>("expected");
        QTest::newRow("enable clear") << 0 << 0x08 << "disabled";
        QTest::newRow("port off with a fault") << 1 << 0x30 << "disabled";
        QTest::newRow("ramp down") << 1 << 0x05 << "disabled";
        QTest::newRow("short while ramping up") << 1 << 0x34 << "fault";
        QTest::newRow("code 8 is no fault") << 1 << 0x88 << "delivering";
        QTest::newRow("V sample") << 1 << 0x09 << "delivering";
        QTest::newRow("classify") << 1 << 0x03 << "searching";
        QTest::newRow("undefined mode") << 1 << 0x0C << "otherfault";
    }

    void powerStatus()
    {
        QFETCH(int, portEnable);
        QFETCH(int, status);
        QFETCH(QString, expected);
        QCOMPARE(QString(records::pwDStatus(portEnable, status & 0x0F, status >> 4)), expected);
    }

    void nullClass()
    {
        QByteArray block(168, '\0');
        block[85] = 6;
        const records::PortRecord r
            = records::portRecord(*codec::decodeSnapshot(testing::bytesOf(block)), 0, 0, 0);
        QVERIFY(r[std::size_t(codec::Column::Class)].null);
        QVERIFY(records::csvRow(r).contains(",,Error,"));
        QVERIFY(records::jsonObject(r).contains("\"class\":null"));
    }

    // What the event log lists and the metrics count: the changes of port 2 from the answer
    // before (mode 9 V Sample, fault 0, class 2, enabled) to the next.
    void portChanges_data()
    {
        QTest::addColumn<QList<int>>("next"); // mode, fault, class, enable
        QTest::addColumn<QStringList>("changes");
        QTest::newRow("nothing changed") << QList<int> { 9, 0, 2, 1 } << QStringList {};
        QTest::newRow("V to I sample is no change") << QList<int> { 8, 0, 2, 1 } << QStringList {};
        QTest::newRow("sampling to port off")
            << QList<int> { 0, 0, 2, 1 } << QStringList { "mode 9>0" };
        QTest::newRow("fault 0 to 8, one caption")
            << QList<int> { 9, 8, 2, 1 } << QStringList { "fault 0>8" };
        QTest::newRow("all four, in kind order")
            << QList<int> { 1, 3, 6, 0 }
            << QStringList { "mode 9>1", "fault 0>3", "class 2>6", "enable 1>0" };
    }

    void portChanges()
    {
        QFETCH(QList<int>, next);
        QFETCH(QStringList, changes);
        static constexpr std::array<const char *, 4> kNames { "mode", "fault", "class", "enable" };
        records::PortChangeTracker tracker;
        const std::vector<records::PortChange> first = tracker.update(portAnswer(9, 0, 2, 1), 1);
        QCOMPARE(first.size(), 4 * codec::kPortsPerGroup);
        QVERIFY(!first[4].before);
        QCOMPARE(first[4].element, 9);
        QStringList got;
        for (const records::PortChange &c :
             tracker.update(portAnswer(next[0], next[1], next[2], next[3]), 1)) {
            QCOMPARE(c.element, 9);
            got << QStringLiteral("%1 %2>%3")
                       .arg(kNames[static_cast<std::size_t>(c.kind)])
                       .arg(c.before.value_or(-1))
                       .arg(c.now);
        }
        QCOMPARE(got, changes);
        // Another group's ports are followed on their own: their first answer is initial.
        QVERIFY(!tracker.update(portAnswer(9, 0, 2, 1), 2).front().before);
    }

    // Onto any device: the header once, before the first records; JSON Lines has none; a
    // device that takes less than all of it is told.
    void recordWriter()
    {
        const records::PortRecord r = exampleRecord();
        QBuffer csv;
        csv.open(QIODevice::WriteOnly);
        records::RecordWriter toCsv(csv, records::RecordFormat::Csv);
        QVERIFY(toCsv.write({ &r, 1 }));
        QVERIFY(toCsv.write({ &r, 1 }));
        QCOMPARE(csv.data(), records::csvHeader() + records::csvRow(r) + records::csvRow(r));

        QBuffer lines;
        lines.open(QIODevice::WriteOnly);
        QVERIFY(records::RecordWriter(lines, records::RecordFormat::JsonLines).write({ &r, 1 }));
        QCOMPARE(lines.data(), records::jsonObject(r) + '\n');

        QBuffer closed;
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): device not open");
        QVERIFY(!records::RecordWriter(closed, records::RecordFormat::Csv).write({ &r, 1 }));
    }

    // A new file gets the header, an existing one grows under its own; a full disk says so.
    void recordFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("night.csv"));
        const records::PortRecord r = exampleRecord();
        for (int run = 0; run < 2; ++run) {
            records::RecordFile file;
            QVERIFY2(file.open(path), qPrintable(file.errorString()));
            QVERIFY(file.append({ &r, 1 }));
            QCOMPARE(file.rows(), 1);
        }
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), records::csvHeader() + records::csvRow(r) + records::csvRow(r));

        records::RecordFile full;
        QVERIFY(!full.open(QStringLiteral("/dev/full")));
        QVERIFY2(full.errorString().startsWith(QStringLiteral("/dev/full: could not write")),
                 qPrintable(full.errorString()));
        QVERIFY(!full.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "test_records.moc"
