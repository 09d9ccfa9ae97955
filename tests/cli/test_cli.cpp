// SPDX-License-Identifier: MIT
// The real vantor-cli against the simulated board in this process: what it prints against what
// the window shows for the same snapshot, what it puts on the line, and how it ends when the
// board, the device or the operator's input is at fault.

#include "clirun.h"
#include "e2ewire.h"

#include <boardonpty.h>
#include <roundtripmask.h>

#include <serial/qtseriallink.h>
#include <session/session.h>
#include <window/controls.h>
#include <window/ledwidget.h>
#include <window/mainwindow.h>
#include <window/numericentry.h>

#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <signal.h>

using namespace vantor;
using testing::CliRun;
using testing::runCli;

namespace {

constexpr int kGroups = 6;
constexpr qsizetype kSettingsEnd = 53; // snapshot bytes 0..52 hold every setting

// Every group's settings as a read shows them and a write can carry them back; the one-shot
// actions (bits 6 and 5 of byte 4) are never part of what is kept.
QByteArray settings(const sim::BoardModel &model)
{
    QByteArray mask(kSettingsEnd, '\0');
    mask.replace(0, 13, vantor::testing::systemRoundTripMask());
    mask[4] = static_cast<char>(mask[4] & ~0x60);
    mask.replace(19, 34, vantor::testing::portRoundTripMask());
    QByteArray all;
    for (int g = 0; g < kGroups; ++g) {
        QByteArray image = vantor::testing::toByteArray(model.image(g)).left(kSettingsEnd);
        for (qsizetype i = 0; i < image.size(); ++i)
            image[i] = static_cast<char>(image[i] & mask[i]);
        all += image;
    }
    return all;
}

QByteArray codes(const QList<e2e::Frame> &frames)
{
    QByteArray c;
    for (const e2e::Frame &f : frames)
        c.append(static_cast<char>(f.code));
    return c.toHex();
}

QString explain(const CliRun &run)
{
    return QStringLiteral("finished %1, exit %2, %3 ms\nstderr: %4")
        .arg(run.finished)
        .arg(run.exitCode)
        .arg(run.elapsedMs)
        .arg(run.err);
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void readShowsWhatTheWindowShows();
    void watchCount_data();
    void watchCount();
    void dumpThenApplyReproducesTheSettings();
    void setWritesOnlyWhatChanged_data();
    void setWritesOnlyWhatChanged();
    void silentBoard_data();
    void silentBoard();
    void misbehavingBoard_data();
    void misbehavingBoard();
    void refusedBeforeAnythingIsSent_data();
    void refusedBeforeAnythingIsSent();
    void refusedBeyondThePortCount_data();
    void refusedBeyondThePortCount();
    void everyGroup_data();
    void everyGroup();
    void interruptedBySignal_data();
    void interruptedBySignal();

private:
    QStringList onBoard(const QStringList &arguments) const
    {
        return QStringList { QStringLiteral("-d"), m_board->devicePath() } + arguments;
    }
    QList<e2e::Frame> frames() const { return e2e::framesFromPanel(m_board->wireLog()); }
    QString writeFile(const QString &name, const QByteArray &contents);
    void setPortCount(int count);

    std::unique_ptr<vantor::testing::BoardOnPty> m_pty;
    sim::SimulatedBoard *m_board = nullptr;
    std::unique_ptr<QTemporaryDir> m_files;
};

void TestCli::initTestCase()
{
    QVERIFY2(QFile::exists(testing::cliPath()), qPrintable(testing::cliPath() + " is missing"));
    // The window's numbers with "." decimals, as the command line always writes them.
    QLocale::setDefault(QLocale::c());
}

void TestCli::init()
{
    m_pty = std::make_unique<vantor::testing::BoardOnPty>();
    m_board = &m_pty->board;
    QVERIFY2(m_pty->start(false), qPrintable(m_board->errorString()));
    m_files = std::make_unique<QTemporaryDir>();
}

void TestCli::cleanup()
{
    m_pty.reset();
    m_files.reset();
}

QString TestCli::writeFile(const QString &name, const QByteArray &contents)
{
    QFile file(m_files->filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        return {};
    return file.fileName();
}

// The board's factory image has ports delivering, searching, faulted and switched off.
void TestCli::readShowsWhatTheWindowShows()
{
    const CliRun run = runCli(onBoard({ "read", "-O", "json" }));
    QVERIFY2(run.finished && run.exitCode == 0 && run.err.isEmpty(), qPrintable(explain(run)));
    // A read never writes: one command byte went out.
    QCOMPARE(m_board->bytesFromPanel().toHex(), QByteArray("08"));
    const QJsonObject json = QJsonDocument::fromJson(run.out).object();
    QVERIFY2(!json.isEmpty(), run.out.constData());

    serial::QtSerialLink link;
    serial::PortMap map;
    map.setDevice(1, m_board->devicePath());
    session::Session session(link, map);
    window::MainWindow window(session);
    QSignalSpy answered(&window.session(), &session::Session::answerDecoded);
    QVERIFY(window.session().openPort());
    window.session().loadFromDevice();
    QVERIFY(answered.wait(5000));
    const window::MainControls &c = window.controls();

    const QJsonObject system = json[u"system"].toObject();
    QCOMPARE(system[u"firmware_version"].toString(), c.REV_IDENT_1->text());
    QCOMPARE(system[u"chip_version"].toString(), c.REV_IDENT_2->text());
    QCOMPARE(system[u"total_port_power_w"].toDouble(), c.BOX_PWR->text().toDouble());
    QCOMPARE(system[u"port_count"].toInt(), c.SYS_PORT_CNT->currentText().toInt());

    const QJsonArray ports = json[u"ports"].toArray();
    QCOMPARE(ports.size(), 8);
    QSet<QString> modes;
    for (int p = 0; p < 8; ++p) {
        const QJsonObject r = ports[p].toObject();
        QCOMPARE(r[u"port"].toInt(), p + 1);
        QCOMPARE(r[u"port_enable"].toBool(), window::checkValue(c.PORT_SYS_MGMNT_2[p]) != 0);
        QCOMPARE(r[u"mode"].toString(), c.PORT_FLT_MODE_2[p]->text());
        QCOMPARE(r[u"fault"].toString(), c.PORT_FLT_MODE_1[p]->text());
        QCOMPARE(r[u"class_text"].toString(), c.PORT_CLASS_2[p]->text());
        const std::pair<const char *, const QLabel *> numbers[] = {
            { "class_current_ma", c.PORT_CLASS_1[p] },  { "current_ma", c.PORT_CURRENT[p] },
            { "voltage_v", c.PORT_VOLTAGE[p] },         { "power_w", c.PORT_POWER[p] },
            { "discovery_r_ohm", c.PORT_DISC_R[p] },    { "discovery_c_uf", c.PORT_DISC_C[p] },
            { "powered_order", c.PORT_PWR_ORDER_1[p] },
        };
        for (const auto &[key, label] : numbers) {
            QVERIFY2(r[QLatin1StringView(key)].toDouble() == label->text().toDouble(),
                     qPrintable(QStringLiteral("port %1 %2: %3, the window shows %4")
                                    .arg(p + 1)
                                    .arg(key)
                                    .arg(r[QLatin1StringView(key)].toDouble())
                                    .arg(label->text())));
        }
        const QString led = c.Port_LED_Red[p]->isVisibleTo(&window) ? QStringLiteral("red")
            : c.Port_LED_Yellow[p]->isVisibleTo(&window)            ? QStringLiteral("yellow")
            : c.Port_LED_Green[p]->isVisibleTo(&window)             ? QStringLiteral("green")
                                                                    : QStringLiteral("off");
        QCOMPARE(r[u"led"].toString(), led);
        const QJsonObject config = r[u"configuration"].toObject();
        QCOMPARE(config[u"power_limit_w"].toInt(), c.PORT_PWR_LMT[p]->text().toInt());
        QCOMPARE(config[u"led_output_drive"].toString(), c.PORT_LED_DRV[p]->currentText());
        modes.insert(r[u"pw_d_status"].toString());
    }
    QVERIFY2(modes.size() >= 3, "the image should show ports in several states");
}

void TestCli::watchCount_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("toFile");
    QTest::newRow("CSV on standard output") << "csv" << false;
    QTest::newRow("JSON Lines on standard output") << "jsonl" << false;
    QTest::newRow("JSON Lines appended to a file") << "jsonl" << true;
}

// --count ends it after that many answers: eight records each, port refreshes only on the line.
// A file given with -o grows run by run, with one header.
void TestCli::watchCount()
{
    QFETCH(QString, format);
    QFETCH(bool, toFile);

    const QString file = m_files->filePath(QStringLiteral("records"));
    QStringList args { "watch", "--count", "3", "--interval", "100", "-O", format };
    if (toFile)
        args << "-o" << file;
    const int runs = toFile ? 2 : 1;
    QByteArray out;
    for (int i = 0; i < runs; ++i) {
        const CliRun run = runCli(onBoard(args));
        QVERIFY2(run.finished && run.exitCode == 0 && run.err.isEmpty(), qPrintable(explain(run)));
        out += run.out;
    }
    if (toFile) {
        QVERIFY2(out.isEmpty(), out.constData());
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        out = f.readAll();
    }

    const bool csv = format == u"csv";
    QList<QByteArray> lines = out.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    QCOMPARE(lines.size(), runs * 3 * 8 + (csv ? 1 : 0));
    if (csv)
        QVERIFY(lines.takeFirst().startsWith("timestamp,group,port,"));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int port = int(i % 8) + 1;
        if (csv) {
            QVERIFY2(lines[i].endsWith('\r'), "CSV rows end in CRLF");
            QCOMPARE(lines[i].split(',').at(2), QByteArray::number(port));
        } else {
            QCOMPARE(QJsonDocument::fromJson(lines[i])[u"port"].toInt(), port);
        }
    }
    const QByteArray sent = codes(frames());
    QCOMPARE(sent, QByteArray("28").repeated(runs * 3));
}

void TestCli::dumpThenApplyReproducesTheSettings()
{
    // Any settings the board may hold, with a port count from the window's list.
    QRandomGenerator rng(20251208);
    QByteArray system(e2e::kSystemBlockSize, '\0');
    QByteArray ports(e2e::kPortBlockSize, '\0');
    for (char &b : system)
        b = static_cast<char>(rng.bounded(256));
    for (char &b : ports)
        b = static_cast<char>(rng.bounded(256));
    system[0] = static_cast<char>(8 * (1 + rng.bounded(6)));
    QVERIFY(m_board->model().applySystemBlock(vantor::testing::bytesOf(system)));
    QVERIFY(m_board->model().applyPortBlock(0, vantor::testing::bytesOf(ports)));
    const QByteArray held = settings(m_board->model());

    const QString profile = m_files->filePath(QStringLiteral("board.json"));
    const CliRun dump = runCli(onBoard({ "dump-profile", "-o", profile }));
    QVERIFY2(dump.finished && dump.exitCode == 0, qPrintable(explain(dump)));

    // The same board back at its factory settings takes the profile.
    m_board->model().reset();
    m_board->clear();
    QVERIFY(settings(m_board->model()) != held);
    const CliRun dry = runCli(onBoard({ "apply", profile, "--dry-run" }));
    QVERIFY2(dry.finished && dry.exitCode == 0, qPrintable(explain(dry)));
    QCOMPARE(codes(frames()), QByteArray("08"));
    m_board->clear();
    const CliRun apply = runCli(onBoard({ "apply", profile }));
    QVERIFY2(apply.finished && apply.exitCode == 0, qPrintable(explain(apply)));
    QCOMPARE(settings(m_board->model()).toHex(), held.toHex());

    // A read, the system block, the port block: what the dry run said would go out.
    const QList<e2e::Frame> sent = frames();
    QCOMPARE(codes(sent), QByteArray("081820"));
    // Before the blocks, one line per setting that changes.
    QList<QByteArray> planned = dry.out.split('\n');
    QCOMPARE(planned.takeLast(), QByteArray());
    QVERIFY2(planned.size() > 2, dry.out.constData());
    QCOMPARE(planned.takeLast(), "0x20 port control write: " + sent[2].block.toHex(' '));
    QCOMPARE(planned.takeLast(), "0x18 system configuration write: " + sent[1].block.toHex(' '));
    static const QRegularExpression change(QStringLiteral("^(port [1-8] )?[a-z0-9_]+ .+ -> .+$"));
    for (const QByteArray &line : planned)
        QVERIFY2(change.match(QString::fromUtf8(line)).hasMatch(), line.constData());
    QVERIFY2(apply.err.count(QStringLiteral("vantor-cli: wrote ")) == planned.size(),
             qPrintable(apply.err));
}

void TestCli::setWritesOnlyWhatChanged_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("sent"); // command codes, in hex
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("offset"); // the snapshot byte that changes
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("portCount");
    QTest::addColumn<QString>("told"); // on standard error

    QTest::newRow("port_enable=0 --port 3")
        << QStringList { "set", "port_enable=0", "--port", "3" } << QByteArray("0820") << 0
        << 27 + 2 << 0x20 << 0 << 8 << "vantor-cli: wrote port 3 port_enable true -> false\n";
    QTest::newRow("a power limit in the second group")
        << QStringList { "set", "power_limit_w=20", "--port", "12" } << QByteArray("0921") << 1
        << 43 + 3 << 0xFF << 20 << 16 << "vantor-cli: wrote port 12 power_limit_w 15 -> 20\n";
    QTest::newRow("a system setting")
        << QStringList { "set", "master_enable=false" } << QByteArray("0818") << 0 << 4 << 0x80 << 0
        << 8 << "vantor-cli: wrote master_enable true -> false\n";
    QTest::newRow("a value the board already holds")
        << QStringList { "set", "port_enable=true", "--port", "1" } << QByteArray("08") << 0 << 27
        << 0x20 << 0x20 << 8 << QString();
}

void TestCli::setWritesOnlyWhatChanged()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, sent);
    QFETCH(int, group);
    QFETCH(int, offset);
    QFETCH(int, mask);
    QFETCH(int, value);
    QFETCH(int, portCount);
    QFETCH(QString, told);

    setPortCount(portCount);
    QByteArray expected = settings(m_board->model());
    // A system setting is the whole board's: every group reports it.
    for (int g = 0; g < kGroups; ++g) {
        if (g != group && offset >= 13)
            continue;
        char &b = expected[g * kSettingsEnd + offset];
        b = static_cast<char>((b & ~mask) | value);
    }
    const CliRun run = runCli(onBoard(arguments));
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(explain(run)));
    QCOMPARE(run.err, told);
    QCOMPARE(codes(frames()), sent);
    QCOMPARE(settings(m_board->model()).toHex(), expected.toHex());
}

void TestCli::silentBoard_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("afterSystemWrite"); // else silent from the start
    QTest::addColumn<QString>("message");

    QTest::newRow("read") << QStringList { "--timeout", "500", "read" } << false
                          << "no answer to the whole read (0x08) within 500 ms";
    QTest::newRow("apply: the port write after the system write")
        << QStringList { "--timeout", "500", "apply", "PROFILE" } << true
        << "no answer to the port control write (0x20) within 500 ms; sent before it: the system "
           "configuration write";
}

// Exit 1 within the time-out and a second, saying what went out before the silence.
void TestCli::silentBoard()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, afterSystemWrite);
    QFETCH(QString, message);

    const QString profile = writeFile(
        QStringLiteral("p.json"),
        R"({"format": 1, "system": {"master_enable": true}, "ports": [{"port": 2, "port_enable": true}]})");
    arguments.replaceInStrings(QStringLiteral("PROFILE"), profile);
    if (afterSystemWrite) {
        connect(m_board, &sim::SimulatedBoard::blockApplied, this, [this](quint8 code) {
            if (code == e2e::kSystemWrite)
                m_board->injectFault({ sim::Fault::Silent });
        });
    } else {
        m_board->injectFault({ sim::Fault::Silent });
    }
    const CliRun run = runCli(onBoard(arguments));
    QVERIFY2(run.finished && run.exitCode == 1, qPrintable(explain(run)));
    QVERIFY2(run.elapsedMs < 500 + 1000, qPrintable(explain(run)));
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QCOMPARE(run.err.count(u'\n'), 1);
    QVERIFY(run.out.isEmpty());
}

void TestCli::misbehavingBoard_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("problem");

    const QString overlong = QStringLiteral(" bytes where an answer has 168");
    QTest::newRow("answer twice") << int(sim::Fault::AnswerTwice) << 0 << "336" + overlong;
    QTest::newRow("a noise byte in the answer")
        << int(sim::Fault::NoisyAnswer) << 100 << "169" + overlong;
    QTest::newRow("50 bytes after the answer")
        << int(sim::Fault::LongAnswer) << 50 << "218" + overlong;
    QTest::newRow("168 bytes of noise")
        << int(sim::Fault::Garbage) << 168 << "(the board reports 8 to 48 in steps of 8)";
}

// Refused with exit 1 and one line: never printed as a reading.
void TestCli::misbehavingBoard()
{
    QFETCH(int, fault);
    QFETCH(int, bytes);
    QFETCH(QString, problem);

    m_board->injectFault({ static_cast<sim::Fault>(fault), bytes });
    const CliRun run = runCli(onBoard({ "read" }));
    QVERIFY2(run.finished && run.exitCode == 1, qPrintable(explain(run)));
    QVERIFY2(run.err.startsWith(QStringLiteral("vantor-cli: %1: implausible answer to the whole "
                                               "read (0x08): ")
                                    .arg(m_board->devicePath())),
             qPrintable(run.err));
    QVERIFY2(run.err.contains(problem), qPrintable(run.err));
    QCOMPARE(run.err.count(u'\n'), 1);
    QVERIFY(run.out.isEmpty());
}

void TestCli::refusedBeforeAnythingIsSent_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    // The classifier's words for each kind of open failure are checked on their own; here it is
    // their way out, from each command that opens the device: one line and exit 3.
    // Watch and metrics wait for the device instead.
    for (const QStringList &command : { QStringList { "read" }, QStringList { "dump-profile" },
                                        QStringList { "set", "master_enable=1" } }) {
        QTest::addRow("no such device: %s", qPrintable(command.first()))
            << QStringList { "-d", "GONE" } + command << QByteArray() << 3
            << "GONE: no such device";
    }
    QTest::newRow("profile: a value out of range")
        << QStringList { "apply", "PROFILE" }
        << QByteArray(R"({"format": 1, "ports": [{"port": 1, "power_limit_w": 300}]})") << 2
        << R"(port 1: "power_limit_w" must be 0 to 255)";
    QTest::newRow("profile: a key twice")
        << QStringList { "apply", "PROFILE" }
        << QByteArray(R"({"format": 1, "ports": [{"port": 1, "port": 9}]})") << 2
        << R"(key "port" appears twice)";
    // Written as \u001b in the message, never as the escape character itself.
    QTest::newRow("profile: an escape sequence in a key")
        << QStringList { "apply", "PROFILE" }
        << QByteArray(R"({"format": 1, "system": {"\u001b[2Jred": true}})") << 2
        << R"(unknown key "\u001b[2Jred")";
    QTest::newRow("set: a value out of range")
        << QStringList { "set", "power_limit_w=256", "--port", "1" } << QByteArray() << 2
        << R"("power_limit_w" must be a whole number from 0 to 255)";
    QTest::newRow("set: a fraction")
        << QStringList { "set", "power_limit_w=12.5", "--port", "1" } << QByteArray() << 2
        << R"("power_limit_w" must be a whole number from 0 to 255)";
    QTest::newRow("set: a list's choices, never its Err")
        << QStringList { "set", "led_output_drive=blue", "--port", "1" } << QByteArray() << 2
        << "\"led_output_drive\" must be one of \"Hi-Z\", \"Red\", \"Green\"\n";
    QTest::newRow("set: --port with a system setting")
        << QStringList { "set", "master_enable=0", "--port", "2" } << QByteArray() << 2
        << "master_enable=0: a system setting: --port does not apply to it";
    QTest::newRow("set: a port setting without its port")
        << QStringList { "set", "port_enable=false" } << QByteArray() << 2 << "--port P";
    QTest::newRow("set: an unknown setting")
        << QStringList { "set", "warp=1" } << QByteArray() << 2 << R"(no setting is called "warp")";
    QTest::newRow("group beyond the sixth")
        << QStringList { "--group", "6", "read" } << QByteArray() << 2 << "--group";
    QTest::newRow("interval below 100 ms")
        << QStringList { "watch", "--interval", "99" } << QByteArray() << 2 << "--interval";
    QTest::newRow("an option of another command")
        << QStringList { "read", "--dry-run" } << QByteArray() << 2 << "--dry-run has no meaning";
    // Outputs: unusable paths are usage errors, told before the device is opened; a write
    // that fails is a failure of the run (1), in the system's words.
    QTest::newRow("dump-profile into a missing folder")
        << QStringList { "dump-profile", "-o", "FILES/gone/p.json" } << QByteArray() << 2
        << "FILES/gone/p.json: no such folder";
    QTest::newRow("watch into a directory")
        << QStringList { "watch", "-o", "FILES" } << QByteArray() << 2 << "FILES: Is a directory";
    QTest::newRow("metrics into a directory") << QStringList { "metrics", "--textfile", "FILES" }
                                              << QByteArray() << 2 << "FILES: Is a directory";
    QTest::newRow("csv under a file of another kind")
        << QStringList { "watch", "-O", "csv", "-o", "PROFILE" }
        << QByteArray("root:x:0:0:root:/root:/bin/sh\n") << 2 << "not a CSV file of records";
    QTest::newRow("csv header onto a full device")
        << QStringList { "watch", "-O", "csv", "-o", "/dev/full" } << QByteArray() << 1
        << "/dev/full: could not write the header: No space left on device";
}

// Said on stderr; nothing on stdout or on the line.
void TestCli::refusedBeforeAnythingIsSent()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, profile);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    const QString gone = m_files->filePath(QStringLiteral("ttyGone"));
    message.replace(QStringLiteral("GONE"), gone);
    arguments.replaceInStrings(QStringLiteral("GONE"), gone);
    arguments.replaceInStrings(QStringLiteral("TEXTFILE"), m_files->filePath("m.prom"));
    arguments.replaceInStrings(QStringLiteral("FILES"), m_files->path());
    message.replace(QStringLiteral("FILES"), m_files->path());
    arguments.replaceInStrings(QStringLiteral("PROFILE"),
                               writeFile(QStringLiteral("p.json"), profile));
    const CliRun run = runCli(arguments.first() == u"-d" ? arguments : onBoard(arguments));
    QVERIFY2(run.finished && run.exitCode == exitCode, qPrintable(explain(run)));
    // watch and metrics stamp their lines with the time first.
    static const QRegularExpression stamp(
        QStringLiteral("^(\\d{4}-\\d\\d-\\d\\dT[\\d:.]+Z )?vantor-cli: "));
    QVERIFY2(stamp.match(run.err).hasMatch() && run.err.contains(message), qPrintable(run.err));
    QCOMPARE(run.err.count(u'\n'), 1);
    if (exitCode == 3)
        QCOMPARE(run.err, QStringLiteral("vantor-cli: %1\n").arg(message));
    QVERIFY(run.out.isEmpty());
    QCOMPARE(m_board->bytesFromPanel().toHex(), QByteArray());
}

void TestCli::refusedBeyondThePortCount_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("sent"); // command codes, in hex: the read that told the count
    QTest::addColumn<QString>("message");

    QTest::newRow("set --port 12") << QStringList { "set", "power_limit_w=10", "--port", "12" }
                                   << QByteArray("09") << "port 12 is beyond the board's 8 ports";
    QTest::newRow("read --group 1") << QStringList { "--group", "1", "read" } << QByteArray("09")
                                    << "group 1 is beyond the board's 8 ports (groups 0 to 0)";
    QTest::newRow("dump-profile --group 1")
        << QStringList { "--group", "1", "dump-profile" } << QByteArray("09")
        << "group 1 is beyond the board's 8 ports (groups 0 to 0)";
}

// An 8-port board: as the panel refuses the tabs beyond its ports, nothing is written or shown.
void TestCli::refusedBeyondThePortCount()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, sent);
    QFETCH(QString, message);

    const CliRun run = runCli(onBoard(arguments));
    QVERIFY2(run.finished && run.exitCode == 2, qPrintable(explain(run)));
    QCOMPARE(run.err, QStringLiteral("vantor-cli: %1\n").arg(message));
    QVERIFY(run.out.isEmpty());
    QCOMPARE(codes(frames()), sent);
}

void TestCli::everyGroup_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("sent");   // command codes, in hex
    QTest::addColumn<QList<int>>("groups"); // of the records, in order

    QTest::newRow("read") << QStringList { "--group", "all", "read" } << QByteArray("0809")
                          << QList<int> { 0, 1 };
    QTest::newRow("dump-profile") << QStringList { "--group", "all", "dump-profile" }
                                  << QByteArray("0809") << QList<int> { 0, 1 };
    QTest::newRow("watch: the count, then one group per interval")
        << QStringList { "--group", "all", "watch", "--count", "4", "--interval", "100" }
        << QByteArray("08292829") << QList<int> { 0, 1, 0, 1 };
}

// A 16-port board: a whole read of group 0 tells the count, then each group in turn, and the
// ports are labelled 1..16 by their groups.
void TestCli::everyGroup()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, sent);
    QFETCH(QList<int>, groups);

    setPortCount(16);
    const CliRun run = runCli(onBoard(arguments));
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(explain(run)));
    QCOMPARE(codes(frames()), sent);

    QList<QJsonObject> ports;
    if (arguments.contains(u"watch"_qs)) {
        for (const QByteArray &line : run.out.trimmed().split('\n'))
            ports << QJsonDocument::fromJson(line).object();
    } else {
        const QJsonObject doc = QJsonDocument::fromJson(run.out).object();
        for (const QJsonValue &v : doc[u"ports"].toArray())
            ports << v.toObject();
        if (arguments.contains(u"read"_qs))
            QCOMPARE(doc[u"group"].toString(), QStringLiteral("all"));
    }
    QCOMPARE(ports.size(), groups.size() * 8);
    for (qsizetype i = 0; i < ports.size(); ++i) {
        const int group = groups[i / 8];
        QCOMPARE(ports[i][u"port"].toInt(), group * 8 + int(i % 8) + 1);
        if (ports[i].contains(u"group"))
            QCOMPARE(ports[i][u"group"].toInt(), group);
    }
}

void TestCli::interruptedBySignal_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("trigger"); // the command whose arrival at the board brings the signal
    QTest::addColumn<QByteArray>("sent"); // command codes, in hex
    QTest::addColumn<QString>("told");    // on standard error
    QTest::addColumn<int>("exitCode");

    // The acknowledgement is late, so the signal comes between a write's command and its block.
    QTest::newRow("SIGINT during set's port write")
        << QStringList { "set", "port_enable=0", "--port", "3" } << SIGINT << 0x20
        << QByteArray("0820") << "wrote port 3 port_enable true -> false" << 130;
    QTest::newRow("SIGTERM during the first of two writes")
        << QStringList { "set", "master_enable=false", "port_enable=0", "--port", "3" } << SIGTERM
        << 0x18 << QByteArray("0818")
        << "interrupted by SIGTERM; sent before it: the system configuration write" << 143;
    QTest::newRow("SIGINT during watch") << QStringList { "watch", "--interval", "100" } << SIGINT
                                         << 0x28 << QByteArray() << QString() << 130;
    QTest::newRow("SIGTERM during watch")
        << QStringList { "watch", "--interval", "100", "-O", "csv" } << SIGTERM << 0x28
        << QByteArray() << QString() << 143;
}

// A write under way is finished (its block reaches the board) and nothing more is sent; the
// exit status tells the shell which signal it was, and what watch wrote ends with whole lines.
void TestCli::interruptedBySignal()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, signal);
    QFETCH(int, trigger);
    QFETCH(QByteArray, sent);
    QFETCH(QString, told);
    QFETCH(int, exitCode);

    m_board->injectFault({ sim::Fault::DelayedAck, 0, 500, -1 });
    QProcess cli;
    bool signalled = false;
    connect(m_board, &sim::SimulatedBoard::commandReceived, &cli, [&](quint8 code) {
        if (code == trigger && !std::exchange(signalled, true))
            ::kill(static_cast<pid_t>(cli.processId()), signal);
    });
    cli.start(testing::cliPath(), onBoard(arguments));
    QVERIFY(QTest::qWaitFor([&] { return cli.state() == QProcess::NotRunning; }, 20000));
    const QString err = QString::fromLocal8Bit(cli.readAllStandardError());
    QVERIFY2(signalled, qPrintable(err));
    QVERIFY2(cli.exitStatus() == QProcess::NormalExit, "ended by the signal, not by itself");
    QCOMPARE(cli.exitCode(), exitCode);
    if (!told.isEmpty())
        QVERIFY2(err.contains(told), qPrintable(err));
    if (!sent.isEmpty()) {
        QCOMPARE(codes(frames()), sent);
        // The last write's block arrived whole: the board answers a read afterwards.
        const CliRun after = runCli(onBoard({ "read" }));
        QVERIFY2(after.finished && after.exitCode == 0, qPrintable(explain(after)));
    }
    const QByteArray out = cli.readAllStandardOutput();
    QVERIFY2(out.isEmpty() || out.endsWith('\n'), out.right(200).constData());
}

void TestCli::setPortCount(int count)
{
    QByteArray system = m_pty->snapshot(0).left(e2e::kSystemBlockSize);
    system[0] = static_cast<char>(count);
    QVERIFY(m_board->model().applySystemBlock(vantor::testing::bytesOf(system)));
}

QTEST_MAIN(TestCli)
#include "test_cli.moc"
