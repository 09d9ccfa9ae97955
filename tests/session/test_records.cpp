// SPDX-License-Identifier: MIT
// Port records from an answer's own bytes, and the formats every record writer shares.

#include <bytes.h>
#include <examples.h>

#include <codec/configuration.h>
#include <session/recordformat.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace vantor;

namespace {

// The documented port-0 example on an enabled port, as port 9 (group 1).
codec::PortRecord exampleRecord()
{
    QByteArray block(168, '\0');
    testing::setBytes(block, testing::kPortZeroExample);
    block[27] = 0x20;
    return codec::portRecord(*codec::decodeSnapshot(testing::bytesOf(block)), 1, 0,
                             1'765'000'000'123);
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
        QCOMPARE(session::csvHeader(),
                 QByteArray("timestamp,group,port,port_enable,mode,fault,pw_d_status,class,"
                            "class_text,class_current_ma,current_ma,voltage_v,power_w,"
                            "discovery_r_ohm,discovery_c_uf,powered_order,led\r\n"));
        const codec::PortRecord r = exampleRecord();
        QCOMPARE(session::csvRow(r),
                 QByteArray("2025-12-06T05:46:40.123Z,1,9,true,Ramp Up,Null,delivering,2,2: 7W,"
                            "10,350.5,48,15.9,25000,0.1,3,green\r\n"));
        const QJsonObject json = QJsonDocument::fromJson(session::jsonObject(r)).object();
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
        QTest::newRow("enable clear with a fault") << 0 << 0x30 << "disabled";
        QTest::newRow("port off with a fault") << 1 << 0x30 << "fault";
        QTest::newRow("ramping down with a fault") << 1 << 0xA5 << "fault";
        QTest::newRow("port off") << 1 << 0x00 << "disabled";
        QTest::newRow("ramp down") << 1 << 0x05 << "disabled";
        QTest::newRow("code 8 off is no fault") << 1 << 0x80 << "disabled";
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
        QCOMPARE(QString(codec::pwDStatus(portEnable, status & 0x0F, status >> 4)), expected);
    }

    void nullClass()
    {
        QByteArray block(168, '\0');
        block[85] = 6;
        const codec::PortRecord r
            = codec::portRecord(*codec::decodeSnapshot(testing::bytesOf(block)), 0, 0, 0);
        QVERIFY(r[std::size_t(codec::Column::Class)].null);
        QVERIFY(session::csvRow(r).contains(",,Error,"));
        QVERIFY(session::jsonObject(r).contains("\"class\":null"));
    }

    // A new file gets the header, an existing one grows under its own; a full disk says so.
    void recordFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("night.csv"));
        const codec::PortRecord r = exampleRecord();
        for (int run = 0; run < 2; ++run) {
            session::RecordFile file;
            QVERIFY2(file.open(path), qPrintable(file.errorString()));
            QVERIFY(file.append({ &r, 1 }));
            QCOMPARE(file.rows(), 1);
        }
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), session::csvHeader() + session::csvRow(r) + session::csvRow(r));

        session::RecordFile full;
        QVERIFY(!full.open(QStringLiteral("/dev/full")));
        QVERIFY2(full.errorString().startsWith(QStringLiteral("/dev/full: could not write")),
                 qPrintable(full.errorString()));
        QVERIFY(!full.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "test_records.moc"
