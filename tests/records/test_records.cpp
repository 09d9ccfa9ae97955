// SPDX-License-Identifier: MIT
// Port records from an answer's own bytes, and the formats every record writer shares.

#include <bytes.h>
#include <examples.h>

#include <codec/configuration.h>
#include <records/portchanges.h>
#include <records/recordformat.h>
#include <records/savefile.h>

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

    // The final target's kind decides: regular files and new paths are replaced whole, devices
    // and FIFOs written straight (never replaced by a file), anything else refused.
    void fileKinds_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error"); // empty: saved
        QTest::newRow("a new path") << "new"
                                    << "";
        QTest::newRow("a regular file") << "regular"
                                        << "";
        QTest::newRow("a link to a regular file") << "link"
                                                  << "";
        QTest::newRow("a FIFO") << "fifo"
                                << "";
        QTest::newRow("a full device") << "/dev/full" << records::systemError(ENOSPC);
        QTest::newRow("a directory") << "directory" << records::systemError(EISDIR);
        QTest::newRow("a missing folder") << "missing"
                                          << "no such folder";
    }

    void fileKinds()
    {
        QFETCH(QString, kind);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("out"));
        const QByteArray text = "metrics\n";
        int reader = -1;
        if (kind == u"regular" || kind == u"link") {
            QFile old(dir.filePath(QStringLiteral("target")));
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("an older and longer text\n");
            old.close();
            if (kind == u"regular")
                path = old.fileName();
            else
                QVERIFY(QFile::link(old.fileName(), path));
        } else if (kind == u"fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
            QVERIFY(reader >= 0);
        } else if (kind == u"directory") {
            path = dir.path();
        } else if (kind == u"missing") {
            path = dir.filePath(QStringLiteral("gone/out"));
        } else if (kind.startsWith(u'/')) {
            path = kind;
        }
        struct stat before
        {
        };
        const bool existed = ::stat(QFile::encodeName(path).constData(), &before) == 0;

        QString said;
        QCOMPARE(records::saveWhole(path, text, said), error.isEmpty());
        if (!error.isEmpty())
            QVERIFY2(said.startsWith(path + QStringLiteral(": ")) && said.contains(error),
                     qPrintable(said));
        struct stat after
        {
        };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &after) == 0,
                 existed || error.isEmpty());
        if (existed)
            QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
        if (kind == u"link")
            QVERIFY(QFileInfo(path).isSymLink());
        if (reader >= 0) {
            char got[64] {};
            QCOMPARE(::read(reader, got, sizeof got), qsizetype(text.size()));
            QCOMPARE(QByteArray(got), text);
            ::close(reader);
        } else if (error.isEmpty()) {
            QFile saved(path);
            QVERIFY(saved.open(QIODevice::ReadOnly));
            QCOMPARE(saved.readAll(), text);
        }
    }

    // Appending goes on only under records of the same format; a line a crash left short is
    // cut off first; anything else is refused before a byte is written.
    void appending_data()
    {
        const records::PortRecord r = exampleRecord();
        const QByteArray header = records::csvHeader();
        const QByteArray row = records::csvRow(r);
        const QByteArray line = records::jsonObject(r) + '\n';
        QTest::addColumn<bool>("csv");
        QTest::addColumn<QByteArray>("existing");
        QTest::addColumn<QByteArray>("after"); // empty: refused
        QTest::newRow("csv: empty") << true << QByteArray() << header + row;
        QTest::newRow("csv: same header") << true << header + row << header + row + row;
        QTest::newRow("csv: a row cut short") << true << header + row + "20" << header + row + row;
        QTest::newRow("csv: the header cut short") << true << header.left(20) << header + row;
        QTest::newRow("csv: another header")
            << true << QByteArray("time,port\r\n1,2\r\n") << QByteArray();
        QTest::newRow("csv: a passwd-like file")
            << true << QByteArray("root:x:0:0:root:/root:/bin/sh\n") << QByteArray();
        QTest::newRow("csv after JSON Lines") << true << line << QByteArray();
        QTest::newRow("jsonl: same shape") << false << line << line + line;
        QTest::newRow("jsonl: a line cut short") << false << line + line.left(30) << line + line;
        QTest::newRow("jsonl after csv") << false << header + row << QByteArray();
        QTest::newRow("jsonl: other objects") << false << QByteArray("{\"a\":1}\n") << QByteArray();
    }

    void appending()
    {
        QFETCH(bool, csv);
        QFETCH(QByteArray, existing);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(existing);
        f.close();
        const records::PortRecord r = exampleRecord();
        records::RecordFile file;
        const bool opened
            = file.open(path, csv ? records::RecordFormat::Csv : records::RecordFormat::JsonLines);
        QCOMPARE(opened, !after.isEmpty());
        QCOMPARE(file.pathUnusable(), after.isEmpty());
        if (opened)
            QVERIFY(file.append({ &r, 1 }));
        else
            QVERIFY2(file.errorString().startsWith(path + QStringLiteral(": not a")),
                     qPrintable(file.errorString()));
        file.close();
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), opened ? after : existing);
    }

    // A full disk in the middle of a row: the row is cut back, the system's words are told,
    // and the next run appends under whole rows.
    void rowWholeOrNotAtAll()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("night.csv"));
        const records::PortRecord r = exampleRecord();
        const std::array<records::PortRecord, 8> eight { r, r, r, r, r, r, r, r };
        records::RecordFile file;
        QVERIFY(file.open(path));
        QVERIFY(file.append(eight));
        const qint64 whole = QFileInfo(path).size();
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit tight = saved;
        tight.rlim_cur = static_cast<rlim_t>(whole + 100);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
        const bool appended = file.append(eight);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
        QVERIFY(!appended);
        QVERIFY(!file.isOpen());
        QVERIFY2(file.errorString().endsWith(records::systemError(EFBIG)),
                 qPrintable(file.errorString()));
        QCOMPARE(QFileInfo(path).size(), whole);

        records::RecordFile full;
        QVERIFY(full.open(QStringLiteral("/dev/full"), records::RecordFormat::JsonLines));
        QVERIFY(!full.append({ &r, 1 }));
        QCOMPARE(full.errorString(),
                 QStringLiteral("/dev/full: could not write a row: ")
                     + records::systemError(ENOSPC));
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
