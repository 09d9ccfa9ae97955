// SPDX-License-Identifier: MIT
// The views beside the window, on a window driven by the fake link and hand-fired timers:
// recording, the event log of a scripted run, settings files through the window's controls,
// the all-settings dialog, the register grid, saved plots and the menus.

#include <examples.h>
#include <panelrig.h>

#include <records/recordformat.h>
#include <session/profile.h>
#include <views/eventlog.h>
#include <views/eventlogwindow.h>
#include <views/powerbudget.h>
#include <views/powerbudgetwindow.h>
#include <views/recorder.h>
#include <views/registermodel.h>
#include <views/registerwindow.h>
#include <views/savepath.h>
#include <views/settingsdialog.h>
#include <views/trendplot.h>
#include <views/trendstore.h>
#include <views/trendwindow.h>
#include <views/views.h>
#include <window/numericentry.h>
#include <window/statusline.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <csignal>
#include <sys/resource.h>

using namespace vantor;
using codec::Setting;
using views::EventKind;

namespace {

constexpr qint64 kStart = 1'765'000'000'000;

// A snapshot with every port of the group enabled, and the given bytes on top.
QByteArray block(std::initializer_list<std::pair<int, int>> bytes = {})
{
    QByteArray b(168, '\0');
    b[0] = 8;          // ports in the system
    b[4] = char(0x80); // Master Enable
    for (int p = 0; p < 8; ++p)
        b[27 + p] = 0x20;
    for (const auto &[offset, value] : bytes)
        b[offset] = char(value);
    return b;
}

struct Rig : testing::FakePanel
{
    Rig()
    {
        window->session().setClock([this] { return now; });
        views = new views::Views(*ownSession, *window);
        QObject::connect(views, &views::Views::reported, window.get(),
                         &window::MainWindow::showOutcome);
        views->eventLog().setClock([this] { return now; });
        startAndSettle();
    }

    // A port status refresh, answered by the board.
    void answer(const QByteArray &b)
    {
        window->session().refresh();
        link.feed(b);
        now += 500;
    }

    codec::SettingsStore &store() { return window->session().store(); }

    views::Views *views = nullptr;
    qint64 now = kStart;
};

QList<QByteArray> csvLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines)
        line = line.trimmed();
    return lines;
}

// The latest answers of a board from "port:watts:priority" entries ("-" watts: not powered);
// each group that has an entry answers, group 0 last. Every powered port draws its watts and
// the board's total is their sum.
std::array<std::optional<session::DecodedAnswer>, protocol::kGroupCount>
boardAnswers(int portCount, int totalLimit, bool priorityDisconnect, const QString &entries)
{
    std::array<std::optional<session::DecodedAnswer>, protocol::kGroupCount> answers;
    int totalTenths = 0;
    for (const QString &entry : entries.split(u' ', Qt::SkipEmptyParts)) {
        const QStringList f = entry.split(u':');
        const int element = f[0].toInt() - 1;
        auto &answer = answers[std::size_t(element / 8)];
        if (!answer) {
            answer.emplace();
            answer->group = element / 8;
            answer->receivedUtcMs = kStart - answer->group * 500;
        }
        const std::size_t p = std::size_t(element % 8);
        codec::PortStatus &st = answer->snapshot.portStatus[p];
        st.portEnable = 1;
        const bool powered = f[1] != u"-";
        st.modeCode = powered ? 9 : 1; // "V Sample", "R Detect"
        st.PORT_POWER = powered ? int(f[1].toFloat() * 10) : 0;
        totalTenths += st.PORT_POWER;
        answer->snapshot.ports[p][Setting::PORT_SYS_MGMNT_3] = f[2].toInt();
    }
    for (auto &answer : answers) {
        if (!answer)
            continue;
        answer->snapshot.config[Setting::SYS_PORT_CNT] = portCount;
        answer->snapshot.config[Setting::MAX_SYS_PWR] = totalLimit;
        answer->snapshot.config[Setting::COMMON_CTRL_6] = priorityDisconnect ? 1 : 0;
        answer->snapshot.status.BOX_PWR = totalTenths;
    }
    return answers;
}

struct Entry
{
    EventKind kind;
    int port;
    QString from;
    QString to;
};

// Counts the paint events a widget gets.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(int &paints)
        : m_paints(paints)
    {
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++m_paints;
        return false;
    }

private:
    int &m_paints;
};

} // namespace

class TestViews : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void recorderRowsEqualWhatTheWindowShows_data();
    void recorderRowsEqualWhatTheWindowShows();
    void recordingFails_data();
    void recordingFails();
    void eventLogOfAScriptedRun();
    void eventLogIsBounded();
    void eventLogSavesWhatItShows();
    void eventKindChoices_data();
    void eventKindChoices();
    void operationsLogged_data();
    void operationsLogged();
    void escAndCtrlWClose_data();
    void escAndCtrlWClose();
    void savedNamesGetTheirExtension_data();
    void savedNamesGetTheirExtension();
    void settingsRoundTripThroughTheWindow();
    void badSettingsFileChangesNothing();
    void pauseMarksCanOnlyBeCleared();
    void dialogRefusesOutOfRange_data();
    void dialogRefusesOutOfRange();
    void dialogWritesOnlyWhatTheOperatorChanged();
    void dialogOpensEverySetting_data();
    void dialogOpensEverySetting();
    void dialogChangesGreyedSettings();
    void registerGrid();
    void trendFilesAndCursor();
    void trendPortsFollowThePortCount_data();
    void trendPortsFollowThePortCount();
    void trendPlotRepaintsOnItsTimer();
    void menusAfterSerialLinkSetup();
    void powerBudget_data();
    void powerBudget();
    void powerBudgetWindowFromTheMenu();
};

// Each record column holds what the window shows for the port in the matching label.
void TestViews::recorderRowsEqualWhatTheWindowShows_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("label");
    QTest::newRow("voltage") << "voltage_v"
                             << "PORT_VOLTAGE";
    QTest::newRow("current") << "current_ma"
                             << "PORT_CURRENT";
    QTest::newRow("power") << "power_w"
                           << "PORT_POWER";
    QTest::newRow("class current") << "class_current_ma"
                                   << "PORT_CLASS_1";
    QTest::newRow("class") << "class_text"
                           << "PORT_CLASS_2";
    QTest::newRow("fault") << "fault"
                           << "PORT_FLT_MODE_1";
    QTest::newRow("mode") << "mode"
                          << "PORT_FLT_MODE_2";
    QTest::newRow("discovery R") << "discovery_r_ohm"
                                 << "PORT_DISC_R";
    QTest::newRow("discovery C") << "discovery_c_uf"
                                 << "PORT_DISC_C";
    QTest::newRow("powered order") << "powered_order"
                                   << "PORT_PWR_ORDER_1";
}

void TestViews::recorderRowsEqualWhatTheWindowShows()
{
    QFETCH(QString, column);
    QFETCH(QString, label);
    Rig r;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    QVERIFY(r.views->startRecording(path));

    // Port 1 the documented example; the others each their own readings and status.
    QByteArray b = block();
    testing::setBytes(b, testing::kPortZeroExample);
    for (int p = 1; p < 8; ++p) {
        b[35 + p] = char(p);
        b[53 + 2 * p] = char(10 * p);
        b[69 + 2 * p] = char(0x10 + p);
        b[70 + 2 * p] = 0x30;
        b[85 + p] = char(p);
        b[93 + 2 * p] = char(17 * p);
        b[109 + 2 * p] = char(0x21 * p);
        b[110 + 2 * p] = char(p);
        b[125 + 2 * p] = char(0x0B * p);
        b[126 + 2 * p] = 0x12;
        b[141 + 2 * p] = char(0x13 * p);
        b[157 + p] = char(p << 4 | (9 - p));
    }
    r.answer(b);

    const QList<QByteArray> lines = csvLines(path);
    QCOMPARE(lines.size(), 1 + 8);
    QCOMPARE(lines[0] + "\r\n", records::csvHeader());
    const QList<QByteArray> header = lines[0].split(',');
    const qsizetype at = header.indexOf(column.toLatin1());
    QVERIFY(at >= 0);
    for (int p = 0; p < 8; ++p) {
        const QList<QByteArray> row = lines[1 + p].split(',');
        QCOMPARE(row[header.indexOf("port")].toInt(), p + 1);
        const auto *shown
            = r.window->findChild<QLabel *>(QStringLiteral("%1_%2").arg(label).arg(p));
        QVERIFY(shown);
        QCOMPARE(QString::fromLatin1(row[at]), shown->text());
    }
    QCOMPARE(r.views->recorder().rows(), 8);
    QVERIFY(r.views->statusText().contains(QStringLiteral("run.csv: 8 rows")));
    r.views->stopRecording();
    QVERIFY(!r.views->recorder().isRecording());
    QVERIFY(r.views->statusText().startsWith(QStringLiteral("Recording stopped: 8 rows")));
}

void TestViews::recordingFails_data()
{
    QTest::addColumn<bool>("started");
    QTest::addColumn<QString>("said");
    QTest::newRow("a full disk from the start") << false << "Recording not started: /dev/full";
    QTest::newRow("a write that fails half way") << true << "Recording stopped: ";
}

// Recording stops, or never starts, with the reason in the status bar; the panel goes on.
void TestViews::recordingFails()
{
    QFETCH(bool, started);
    QFETCH(QString, said);
    Rig r;
    QTemporaryDir dir;
    const QString path
        = started ? dir.filePath(QStringLiteral("run.csv")) : QStringLiteral("/dev/full");
    QCOMPARE(r.views->startRecording(path), started);
    if (started) {
        r.answer(block());
        QCOMPARE(r.views->recorder().rows(), 8);
        // The file may grow by a few bytes more, not by the next answer's rows.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit tight = saved;
        tight.rlim_cur = static_cast<rlim_t>(QFileInfo(path).size() + 100);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
        r.answer(block());
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
        said += path;
    }
    QVERIFY(!r.views->recorder().isRecording());
    QVERIFY2(r.views->statusText().startsWith(said), qPrintable(r.views->statusText()));
    r.answer(block({ { 125, 0xC0 }, { 126, 0x12 } }));
    QCOMPARE(r.c().PORT_VOLTAGE[0]->text(), QStringLiteral("48"));
}

// Powering up, a short, a disconnect, Port Enable cleared, sampling, then the link lost and
// back, a silent board and a refused write.
void TestViews::eventLogOfAScriptedRun()
{
    Rig r;
    const views::EventLog &log = r.views->eventLog();
    r.answer(block());
    QCOMPARE(log.size(), 4 * 8); // the initial state of every port
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(log.at(i).port, 1);
        QVERIFY(log.at(i).from.isEmpty());
    }
    QCOMPARE(log.at(0).to, QStringLiteral("Port Off"));

    r.answer(block({ { 157, 0x03 }, { 85, 2 } }));
    r.answer(block({ { 157, 0x04 }, { 85, 2 }, { 162, 0x34 } }));
    r.answer(block({ { 157, 0x04 }, { 85, 2 }, { 164, 0xA0 } }));
    r.answer(block({ { 157, 0x84 }, { 85, 2 }, { 164, 0xA0 }, { 29, 0x00 } }));
    // Powered: current and voltage sampling take turns without an entry.
    for (int mode : { 0x88, 0x89, 0x88, 0x89, 0x85 })
        r.answer(block({ { 157, mode }, { 85, 2 }, { 164, 0xA0 }, { 29, 0x00 } }));
    const qint64 lostAt = r.now;
    emit r.link.portFailed(QStringLiteral("the adapter was unplugged"));
    r.link.close();
    r.link.open();
    // Open again, the panel reads the whole board before anything else.
    r.link.feed(block({ { 157, 0x85 }, { 85, 2 }, { 164, 0xA0 }, { 29, 0x00 } }));
    r.window->session().refresh();
    r.timer2.fire();
    r.c().PORT_PWR_LMT[3]->setText(QString());
    r.window->session().sendPortControl();

    const QList<Entry> expected {
        { EventKind::Mode, 1, "Port Off", "Classify" },
        { EventKind::Class, 1, "0: 15.4W", "2: 7W" },
        { EventKind::Mode, 1, "Classify", "Ramp Up" },
        { EventKind::Mode, 6, "Port Off", "Ramp Up" },
        { EventKind::Fault, 6, "Null", "OI Short" },
        { EventKind::Mode, 6, "Ramp Up", "Port Off" },
        { EventKind::Fault, 6, "OI Short", "Null" },
        { EventKind::Fault, 8, "Null", "Disconnect" },
        { EventKind::Fault, 1, "Null (0)", "Null (8)" },
        { EventKind::PortEnable, 3, "on", "off" },
        { EventKind::Mode, 1, "Ramp Up", "I Sample" },
        { EventKind::Mode, 1, "V Sample", "Ramp Down" },
        { EventKind::LinkLost, 0, "", "lost" },
        { EventKind::LinkReconnected, 0, "", "open" },
        { EventKind::TimeOut, 0, "", "port status refresh" },
        { EventKind::SendPortControl, 0, "", "refused" },
    };
    QCOMPARE(log.size(), 32 + int(expected.size()));
    for (int i = 0; i < expected.size(); ++i) {
        const views::Event &e = log.at(32 + i);
        const Entry &x = expected[i];
        QVERIFY2(e.kind == x.kind && e.port == x.port && e.from == x.from && e.to == x.to,
                 qPrintable(QStringLiteral("entry %1: %2 port %3 %4 -> %5")
                                .arg(i)
                                .arg(views::eventKindName(e.kind))
                                .arg(e.port)
                                .arg(e.from, e.to)));
        QCOMPARE(e.group, x.port == 0 && x.kind != EventKind::SendPortControl ? -1 : 0);
    }
    const views::Event &shorted = log.at(32 + 4);
    QCOMPARE(shorted.detail,
             QStringLiteral("Peak over current fault- Port peak current exceeded 475mA > 10usec: "
                            "dead short"));
    QCOMPARE(shorted.utcMs, kStart + 2 * 500);
    QCOMPARE(log.at(32 + 12).detail, QStringLiteral("the adapter was unplugged"));
    QCOMPARE(log.at(32 + 12).utcMs, lostAt);
    QVERIFY(log.at(32 + 15).detail.contains(QStringLiteral("Set Port Power Limit (W) of Port 4")));

    // Its table view, filtered by port and by kind; the link's events are no port's.
    views::EventLogWindow window(r.views->eventLog());
    const std::tuple<int, std::optional<EventKind>, int> filters[] {
        { 0, std::nullopt, 32 + 16 },   { 6, std::nullopt, 4 + 4 },
        { 0, EventKind::Fault, 8 + 4 }, { 6, EventKind::Fault, 1 + 2 },
        { 0, EventKind::LinkLost, 1 },  { 6, EventKind::LinkLost, 0 },
    };
    for (const auto &[port, kind, shown] : filters) {
        window.filter().setPort(port);
        window.filter().setKinds(kind ? views::EventFilter::KindSet().set(std::size_t(*kind))
                                      : views::EventFilter::allKinds());
        QCOMPARE(window.filter().rowCount(), shown);
    }
}

void TestViews::eventLogIsBounded()
{
    views::EventLog log(10);
    for (int i = 0; i < 25; ++i)
        log.add({ i, EventKind::TimeOut, -1, 0, {}, QString::number(i), {} });
    QCOMPARE(log.size(), 10);
    QCOMPARE(log.at(0).to, QStringLiteral("15"));
    QCOMPARE(log.at(9).to, QStringLiteral("24"));
}

// Saved in the shown order, as RFC 4180 CSV; a file that cannot be written says so.
void TestViews::eventLogSavesWhatItShows()
{
    views::EventLog log;
    log.add({ 2000,
              EventKind::RefusedWrite,
              -1,
              0,
              {},
              "port control write",
              "Set Port Power Limit (W) of Port 4 is empty, \"0\" to 255" });
    log.add({ 1000, EventKind::Fault, 0, 3, "Null", "OI Short", "dead short" });
    views::EventLogWindow window(log);
    window.table().sortByColumn(views::EventLog::Time, Qt::AscendingOrder);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.csv"));
    QVERIFY(window.saveCsv(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
             QByteArray("Time (UTC),Group,Port,Kind,From,To,Detail\r\n"
                        "1970-01-01T00:00:01.000Z,0,3,Fault,Null,OI Short,dead short\r\n"
                        "1970-01-01T00:00:02.000Z,,,Refused write,,port control write,"
                        "\"Set Port Power Limit (W) of Port 4 is empty, \"\"0\"\" to 255\"\r\n"));
    QSignalSpy reports(&window, &views::EventLogWindow::reported);
    QVERIFY(!window.saveCsv(dir.filePath(QStringLiteral("missing/log.csv"))));
    QCOMPARE(reports.size(), 1);
    QVERIFY(reports[0][0].toString().startsWith(QStringLiteral("Event log not saved")));
}

void TestViews::eventKindChoices_data()
{
    QTest::addColumn<QStringList>("clicked");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("button");
    QTest::newRow("all kinds at first") << QStringList {} << 7 << "All kinds";
    QTest::newRow("one kind") << QStringList { "Fault" } << 2 << "Fault";
    QTest::newRow("two kinds") << QStringList { "Fault", "Link lost" } << 3 << "Fault, Link lost";
    QTest::newRow("three kinds") << QStringList { "Fault", "Link lost", "Mode" } << 6 << "3 kinds";
    QTest::newRow("one of them unchosen")
        << QStringList { "Fault", "Link lost", "Fault" } << 1 << "Link lost";
    QTest::newRow("none left is all of them")
        << QStringList { "Fault", "Fault" } << 7 << "All kinds";
    QTest::newRow("all kinds clears the choice")
        << QStringList { "Fault", "Mode", "All kinds" } << 7 << "All kinds";
    QTest::newRow("all kinds stays chosen") << QStringList { "All kinds" } << 7 << "All kinds";
    QTest::newRow("a kind not logged") << QStringList { "Class" } << 0 << "Class";
}

// Kinds are chosen on and off in the tool button's menu; the rows shown follow.
void TestViews::eventKindChoices()
{
    QFETCH(QStringList, clicked);
    QFETCH(int, shown);
    QFETCH(QString, button);
    views::EventLog log;
    for (const auto &[kind, port, to] : std::initializer_list<std::tuple<EventKind, int, QString>> {
             { EventKind::Mode, 1, "Port Off" },
             { EventKind::Mode, 1, "Classify" },
             { EventKind::Fault, 1, "OI Short" },
             { EventKind::Mode, 2, "Port Off" },
             { EventKind::Fault, 2, "Disconnect" },
             { EventKind::LinkLost, 0, "lost" },
             { EventKind::TimeOut, 0, "port status refresh" } })
        log.add({ 0, kind, port ? 0 : -1, port, {}, to, {} });
    views::EventLogWindow window(log);
    const QList<QAction *> actions = window.kindActions();
    QCOMPARE(actions.size(), 1 + int(views::kEventKindNames.size()));
    for (const QString &name : clicked) {
        const auto action = std::find_if(actions.begin(), actions.end(),
                                         [&name](QAction *a) { return a->text() == name; });
        QVERIFY2(action != actions.end(), qPrintable(name));
        (*action)->trigger();
    }
    QCOMPARE(window.filter().rowCount(), shown);
    auto *tool = window.findChild<QToolButton *>(QStringLiteral("EventKindFilter"));
    QVERIFY(tool);
    QCOMPARE(tool->text(), button);
    QCOMPARE(actions.first()->isChecked(), button == u"All kinds");
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("EventCount"))->text(),
             QStringLiteral("%1 rows shown, 7 entries in the log").arg(shown));
}

enum class Operation {
    Save,
    SaveRefused,
    SaveUnanswered,
    Send,
    SendRefused,
    SendUnanswered,
    SettingsOpened,
    SettingsRefused,
    LinkClosed,
    LinkOpenFailed
};

void TestViews::operationsLogged_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QStringList>("entries"); // kind: to
    QTest::addColumn<QString>("detail");      // of the last, in part
    QTest::newRow("Save to Device")
        << int(Operation::Save) << QStringList { "Save to Device: sent" }
        << "system configuration write: sent; port control write: sent";
    QTest::newRow("Save to Device refused")
        << int(Operation::SaveRefused) << QStringList { "Save to Device: refused" }
        << "port control write: refused (Set Port Power Limit (W) of Port 4 is empty";
    QTest::newRow("Save to Device unanswered")
        << int(Operation::SaveUnanswered) << QStringList { "Save to Device: no answer" }
        << "system configuration write: no answer";
    QTest::newRow("Send Port Control")
        << int(Operation::Send) << QStringList { "Send Port Control: sent" }
        << "port control write: sent";
    QTest::newRow("Send Port Control refused")
        << int(Operation::SendRefused) << QStringList { "Send Port Control: refused" }
        << "Set Port Power Limit (W) of Port 4 is empty";
    QTest::newRow("Send Port Control unanswered")
        << int(Operation::SendUnanswered) << QStringList { "Send Port Control: no answer" }
        << "port control write: no answer";
    QTest::newRow("settings file opened")
        << int(Operation::SettingsOpened) << QStringList { "Settings file: opened" } << "good.json";
    QTest::newRow("settings file refused")
        << int(Operation::SettingsRefused) << QStringList { "Settings file: not opened" }
        << "missing.json";
    QTest::newRow("link closed") << int(Operation::LinkClosed)
                                 << QStringList { "Link closed: closed" } << "/dev/fake-com1";
    QTest::newRow("link not opened")
        << int(Operation::LinkOpenFailed)
        << QStringList { "Link closed: closed", "Link open failed: not open" }
        << "/dev/fake-com1: cannot open";
}

// Each operation's outcome is one entry: a refusal or a time-out of the operator's write is not
// told a second time by the link's entries.
void TestViews::operationsLogged()
{
    QFETCH(int, operation);
    QFETCH(QStringList, entries);
    QFETCH(QString, detail);
    Rig r;
    const views::EventLog &log = r.views->eventLog();
    const int before = log.size();
    const auto acknowledge = [&r] {
        r.link.feed(QByteArray(1, '\x06'));
        r.link.drain();
    };
    QTemporaryDir dir;
    switch (Operation(operation)) {
    case Operation::SaveRefused:
    case Operation::SendRefused:
        r.c().PORT_PWR_LMT[3]->setText(QString());
        break;
    default:
        break;
    }
    switch (Operation(operation)) {
    case Operation::Save:
        r.c().TX_SYS_CTRL->click();
        acknowledge();
        acknowledge();
        break;
    case Operation::SaveRefused:
        r.c().TX_SYS_CTRL->click();
        break;
    case Operation::SaveUnanswered:
        r.c().TX_SYS_CTRL->click();
        r.timer2.fire();
        r.timer2.fire();
        break;
    case Operation::Send:
        r.c().TX_PRT_CTRL->click();
        acknowledge();
        break;
    case Operation::SendRefused:
        r.c().TX_PRT_CTRL->click();
        break;
    case Operation::SendUnanswered:
        r.c().TX_PRT_CTRL->click();
        r.timer2.fire();
        break;
    case Operation::SettingsOpened: {
        const QString path = dir.filePath(QStringLiteral("good.json"));
        QVERIFY(r.views->saveSettings(path));
        QVERIFY(r.views->openSettings(path));
        break;
    }
    case Operation::SettingsRefused:
        QVERIFY(!r.views->openSettings(dir.filePath(QStringLiteral("missing.json"))));
        break;
    case Operation::LinkClosed:
        r.link.close();
        break;
    case Operation::LinkOpenFailed:
        r.link.close();
        r.link.failOpen = true;
        r.window->session().openPort();
        break;
    }
    QStringList logged;
    for (int row = before; row < log.size(); ++row)
        logged << views::eventKindName(log.at(row).kind) + QStringLiteral(": ") + log.at(row).to;
    QCOMPARE(logged, entries);
    QVERIFY2(log.at(log.size() - 1).detail.contains(detail),
             qPrintable(log.at(log.size() - 1).detail));
    if (views::eventKindName(log.at(log.size() - 1).kind).startsWith(QStringLiteral("S")))
        QCOMPARE(log.at(log.size() - 1).utcMs, r.now);
}

void TestViews::escAndCtrlWClose_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QKeySequence>("keys");
    for (const char *window :
         { "Event Log", "Trends", "Registers", "Power Budget", "All Settings" }) {
        QTest::addRow("%s, Esc", window) << window << QKeySequence(Qt::Key_Escape);
        QTest::addRow("%s, Ctrl+W", window) << window << QKeySequence(Qt::CTRL | Qt::Key_W);
    }
}

// The windows beside the panel close from the keyboard as a dialog does.
void TestViews::escAndCtrlWClose()
{
    QFETCH(QString, window);
    QFETCH(QKeySequence, keys);
    Rig r;
    QPointer<QWidget> shown;
    if (window == u"Event Log")
        shown = r.views->showEventLog();
    else if (window == u"Trends")
        shown = r.views->showTrends();
    else if (window == u"Registers")
        shown = r.views->showRegisters();
    else if (window == u"Power Budget")
        shown = r.views->showPowerBudget();
    else
        shown = r.views->showAllSettings();
    QVERIFY(QTest::qWaitForWindowActive(shown));
    QWidget *focus = QApplication::focusWidget() ? QApplication::focusWidget() : shown.data();
    QTest::keySequence(focus, keys);
    QVERIFY(!shown || !shown->isVisible());
}

void TestViews::savedNamesGetTheirExtension_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("saved");
    QTest::newRow("none typed") << "/home/op/bench"
                                << "json"
                                << "/home/op/bench.json";
    QTest::newRow("the right one") << "/home/op/bench.csv"
                                   << "csv"
                                   << "/home/op/bench.csv";
    QTest::newRow("the right one in capitals") << "/home/op/BENCH.CSV"
                                               << "csv"
                                               << "/home/op/BENCH.CSV";
    QTest::newRow("another one") << "/home/op/bench.txt"
                                 << "csv"
                                 << "/home/op/bench.txt";
    QTest::newRow("a trailing dot") << "/home/op/bench."
                                    << "png"
                                    << "/home/op/bench.png";
    QTest::newRow("a hidden name") << "/home/op/.x"
                                   << "json"
                                   << "/home/op/.x.json";
    QTest::newRow("a hidden name with one") << "/home/op/.x.json"
                                            << "json"
                                            << "/home/op/.x.json";
    QTest::newRow("a dot in the folder only") << "/home/op.d/bench"
                                              << "csv"
                                              << "/home/op.d/bench.csv";
    QTest::newRow("no name") << "/home/op/"
                             << "csv"
                             << "/home/op/";
}

void TestViews::savedNamesGetTheirExtension()
{
    QFETCH(QString, typed);
    QFETCH(QString, suffix);
    QFETCH(QString, saved);
    QCOMPARE(views::withDefaultSuffix(typed, suffix), saved);
}

// Shown and hidden controls of every allowed group go out to a file and come back: entries,
// boxes and lists, of the system and of ports.
void TestViews::settingsRoundTripThroughTheWindow()
{
    Rig r;
    const std::tuple<Setting, int, int> held[] = {
        { Setting::MAX_SYS_PWR, 0, 346 },    { Setting::PD_R_HIGH, 0, 26000 },
        { Setting::COMMON_CTRL_6, 0, 1 },    { Setting::NOISE_MST_EN_1, 0, 2 },
        { Setting::PORT_PWR_LMT, 3, 25 },    { Setting::PORT_LED_DRV, 2, 2 },
        { Setting::PORT_SYS_MGMNT_3, 7, 5 }, { Setting::PORT_MODE_BYPS_5, 1, 1 },
    };
    for (const auto &[setting, element, value] : held)
        r.store().setValue(setting, element, value);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.json"));
    QVERIFY2(r.views->saveSettings(path), qPrintable(r.views->statusText()));

    for (const auto &[setting, element, value] : held)
        r.store().setValue(setting, element, 0);
    QVERIFY2(r.views->openSettings(path), qPrintable(r.views->statusText()));
    for (const auto &[setting, element, value] : held)
        QCOMPARE(r.store().value(setting, element).value, value);
    QVERIFY(r.views->statusText().contains(QStringLiteral("Save to Device")));

    // Only the group the port count allows is in the file.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray json = file.readAll();
    QVERIFY(json.contains("\"port\": 8"));
    QVERIFY(!json.contains("\"port\": 9"));
}

// Refused naming the key, with nothing changed, however much of the file was good.
void TestViews::badSettingsFileChangesNothing()
{
    Rig r;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"format": 1, "system": {"total_power_limit_w": 100},
                  "ports": [{"port": 1, "power_limit_w": 20},
                            {"port": 2, "led_output_drive": "Blue"}]})");
    file.close();
    const auto before = session::writeProfile(r.store(), std::array { 0 }).json;
    QVERIFY(!r.views->openSettings(path));
    QCOMPARE(session::writeProfile(r.store(), std::array { 0 }).json, before);
    QVERIFY2(r.views->statusText().contains(QStringLiteral("\"led_output_drive\"")),
             qPrintable(r.views->statusText()));
    QVERIFY(r.views->statusText().startsWith(QStringLiteral("Settings not read: ") + path));
    QCOMPARE(r.window->statusLine().text(), r.views->statusText());
}

// A profile may clear a mark the board reported, never set one it did not.
void TestViews::pauseMarksCanOnlyBeCleared()
{
    Rig r;
    r.window->session().loadFromDevice();
    r.link.feed(block({ { 167, 0x01 } }));
    QCOMPARE(window::checkValue(r.c().FAULT_PAUSED[0]), 1);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("marks.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"format": 1, "ports": [{"port": 1, "fault_paused": false},
                                         {"port": 2, "fault_paused": true}]})");
    file.close();
    QVERIFY(r.views->openSettings(path));
    QCOMPARE(window::checkValue(r.c().FAULT_PAUSED[0]), 0);
    QCOMPARE(window::checkValue(r.c().FAULT_PAUSED[1]), 0);
    QVERIFY(r.views->statusText().contains(QStringLiteral("stay clear")));
}

void TestViews::dialogRefusesOutOfRange_data()
{
    QTest::addColumn<int>("setting");
    QTest::addColumn<int>("element");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("refusal"); // empty: taken
    QTest::newRow("delay at its top") << int(Setting::STARTUP_OL_DLY) << 0 << "255"
                                      << "";
    QTest::newRow("delay beyond a byte") << int(Setting::STARTUP_OL_DLY) << 0 << "256"
                                         << "Startup Overload Delay (ms) must be 0 to 255";
    QTest::newRow("discovery limit beyond 17 bits")
        << int(Setting::PD_R_HIGH) << 0 << "131071"
        << "Upper Limit of PD Discovery R (ohms) must be 0 to 131070";
    QTest::newRow("port count off its steps") << int(Setting::SYS_PORT_CNT) << 0 << "12"
                                              << "Ports in System must be 8 to 48 in steps of 8";
    QTest::newRow("port count on its steps") << int(Setting::SYS_PORT_CNT) << 0 << "16"
                                             << "";
    QTest::newRow("empty") << int(Setting::PD_R_LOW) << 0 << ""
                           << "Lower Limit of PD Discovery R (ohms) is empty";
}

// A refused field leaves every control as it was, the valid changes made before it too.
void TestViews::dialogRefusesOutOfRange()
{
    QFETCH(int, setting);
    QFETCH(int, element);
    QFETCH(QString, text);
    QFETCH(QString, refusal);
    Rig r;
    views::AllSettingsDialog dialog(r.store(), 1);
    auto *entry = qobject_cast<QLineEdit *>(dialog.editor(Setting(setting), element));
    QVERIFY(entry);
    QVERIFY(entry->isEnabled());
    entry->setText(text);
    auto *enable = qobject_cast<QCheckBox *>(dialog.editor(Setting::PORT_SYS_MGMNT_2, 4));
    QVERIFY(enable);
    enable->setChecked(false);
    auto *drive = qobject_cast<QComboBox *>(dialog.editor(Setting::PORT_LED_DRV, 6));
    drive->setCurrentIndex(1);

    QCOMPARE(dialog.apply(), refusal.isEmpty());
    QCOMPARE(dialog.refusal(), refusal);
    const bool taken = refusal.isEmpty();
    QCOMPARE(window::checkValue(r.c().PORT_SYS_MGMNT_2[4]), taken ? 0 : 1);
    QCOMPARE(r.c().PORT_LED_DRV[6]->currentIndex(), taken ? 1 : 0);
    if (taken)
        QCOMPARE(r.store().value(Setting(setting), element).value, text.toInt());
}

void TestViews::dialogOpensEverySetting_data()
{
    QTest::addColumn<int>("setting");
    QTest::addColumn<int>("element");
    QTest::addColumn<bool>("editable");

    // Greyed out in the window, open here.
    QTest::newRow("Total Power Limit") << int(Setting::MAX_SYS_PWR) << 0 << true;
    QTest::newRow("Fault Cycles") << int(Setting::FLT_PWR_CYCLES_1) << 0 << true;
    QTest::newRow("Power Cycles") << int(Setting::FLT_PWR_CYCLES_2) << 0 << true;
    QTest::newRow("Pause Brellik") << int(Setting::COMMON_CTRL_4) << 0 << true;
    QTest::newRow("Enable All Ports for Power") << int(Setting::COMMON_CTRL_6) << 0 << true;
    QTest::newRow("legacy type 1") << int(Setting::LEG_SUPP_1) << 0 << true;
    QTest::newRow("Set Port Power Limit") << int(Setting::PORT_PWR_LMT) << 5 << true;
    QTest::newRow("Priority") << int(Setting::PORT_SYS_MGMNT_3) << 5 << true;
    QTest::newRow("Powered Order") << int(Setting::PORT_PWR_ORDER_2) << 5 << true;
    QTest::newRow("LED drive without direct write") << int(Setting::PORT_LED_DRV) << 3 << true;
    QTest::newRow("Bypass Power-up") << int(Setting::PORT_MODE_BYPS_3) << 5 << true;
    // Actions stay as the window has them.
    QTest::newRow("Calibrate System") << int(Setting::COMMON_CTRL_7) << 0 << true;
    // Only the mark the board reported can be touched.
    QTest::newRow("fault not paused") << int(Setting::FAULT_PAUSED) << 1 << false;
    QTest::newRow("fault paused") << int(Setting::FAULT_PAUSED) << 2 << true;
}

void TestViews::dialogOpensEverySetting()
{
    QFETCH(int, setting);
    QFETCH(int, element);
    QFETCH(bool, editable);

    Rig r;
    r.window->session().loadFromDevice();
    r.link.feed(block({ { 167, 0x04 } }));
    r.link.takeWire();
    const bool windowEnabled = r.store().isEnabled(Setting(setting), element);
    views::AllSettingsDialog dialog(r.store(), 1);
    QWidget *editor = dialog.editor(Setting(setting), element);
    QVERIFY(editor);
    QCOMPARE(editor->isEnabled(), editable);
    // A reported mark is cleared in the window, nothing goes to the board.
    auto *mark = qobject_cast<QCheckBox *>(dialog.editor(Setting::FAULT_PAUSED, 2));
    QVERIFY(mark && mark->isChecked());
    mark->setChecked(false);
    QVERIFY(dialog.apply());
    QCOMPARE(window::checkValue(r.c().FAULT_PAUSED[2]), 0);
    QCOMPARE(r.store().isEnabled(Setting(setting), element), windowEnabled);
    QVERIFY(r.link.takeWire().isEmpty());
}

// A whole read lands while the dialog is open: port 4, disabled by the board meanwhile, stays
// disabled on OK; port 2's LED drive (open with Port LED Direct Write), changed by both,
// takes the operator's value.
void TestViews::dialogWritesOnlyWhatTheOperatorChanged()
{
    Rig r;
    r.window->session().loadFromDevice();
    r.link.feed(block({ { 4, 0x82 } }));
    r.link.takeWire();
    views::AllSettingsDialog dialog(r.store(), 1);
    r.window->session().loadFromDevice();
    r.link.feed(block({ { 4, 0x82 }, { 27 + 3, 0x00 }, { 51, 2 << 2 } }));
    r.link.takeWire();
    QCOMPARE(window::checkValue(r.c().PORT_SYS_MGMNT_2[3]), 0);
    QCOMPARE(r.c().PORT_LED_DRV[1]->currentIndex(), 2);

    qobject_cast<QComboBox *>(dialog.editor(Setting::PORT_LED_DRV, 1))->setCurrentIndex(1);
    QVERIFY(dialog.apply());
    QCOMPARE(window::checkValue(r.c().PORT_SYS_MGMNT_2[3]), 0);
    QCOMPARE(r.c().PORT_LED_DRV[1]->currentIndex(), 1);
    QCOMPARE(window::checkValue(r.c().PORT_SYS_MGMNT_2[1]), 1);
}

void TestViews::dialogChangesGreyedSettings()
{
    Rig r;
    views::AllSettingsDialog dialog(r.store(), 1);
    auto *limit = qobject_cast<QLineEdit *>(dialog.editor(Setting::PORT_PWR_LMT, 5));
    QVERIFY(limit);
    limit->setText(QStringLiteral("21"));
    auto *mark = qobject_cast<QCheckBox *>(dialog.editor(Setting::FAULT_PAUSED, 2));
    QVERIFY(mark && !mark->isEnabled());
    QVERIFY(dialog.apply());
    QCOMPARE(r.store().value(Setting::PORT_PWR_LMT, 5).value, 21);
    QVERIFY(!r.c().PORT_PWR_LMT[5]->isEnabled());
}

void TestViews::registerGrid()
{
    Rig r;
    views::RegisterModel &grid = r.views->registers();
    r.answer(block({ { 157, 0x04 } }));
    r.answer(block({ { 157, 0x34 }, { 125, 0xC0 } }));
    QCOMPARE(grid.group(), 0);
    const auto changed = [&grid](int offset) {
        return grid.index(offset / 16, offset % 16)
            .data(views::RegisterModel::kChangedRole)
            .toBool();
    };
    QVERIFY(changed(157));
    QVERIFY(changed(125));
    QVERIFY(!changed(126));
    QVERIFY(!changed(27));
    QCOMPARE(grid.index(157 / 16, 157 % 16).data().toString(), QStringLiteral("34"));
    const QString fault = grid.index(157 / 16, 157 % 16).data(Qt::ToolTipRole).toString();
    QVERIFY2(fault.contains(QStringLiteral("PORT_FLT_MODE_1, port 1 (bits 7..4): 3 = OI Short")),
             qPrintable(fault));
    QVERIFY(fault.contains(QStringLiteral("PORT_FLT_MODE_2, port 1 (bits 3..0): 4 = Ramp Up")));
    QVERIFY(views::RegisterModel::describe(block(), 18, 0).endsWith(QStringLiteral("Not used")));
    QVERIFY(views::RegisterModel::describe(block(), 126, 2)
                .contains(QStringLiteral("PORT_VOLTAGE, port 17 (high byte of 125..126): 0")));
    const QStringList hex = grid.hexText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(hex.size(), 11);
    QCOMPARE(hex[0], QStringLiteral("08 00 00 00 80 00 00 00 00 00 00 00 00 00 00 00"));
    QCOMPARE(grid.hexText({ 157, 125 }), QStringLiteral("34 c0\n"));
}

// The plot saved as a picture and its shown readings as CSV; a cursor reads one time.
void TestViews::trendFilesAndCursor()
{
    Rig r;
    for (int i = 0; i < 3; ++i)
        r.answer(block({ { 141, 10 + i }, { 16, 100 } }));
    views::TrendWindow window(r.views->trends());
    window.plot().setClock([&r] { return r.now; });
    window.plot().setSpan(views::TrendPlot::Span::OneMinute);
    window.resize(900, 600);
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("plot.png"));
    window.setDeviceSource([] { return QStringLiteral("/dev/ttyUSB0"); });
    QVERIFY(window.savePng(png));
    QCOMPARE(QImage(png).width(), window.plot().width());
    QVERIFY(QImage(png).height() > window.plot().height());  // the title strip above the plot
    QCOMPARE(window.plot().paneRanges().last().first, 0.0f); // the total power from 0
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("TrendRange"))->text(),
             QStringLiteral("Shown: last 1 min"));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("HistoryNote"))->text(),
             views::historyNote());
    const QString csv = dir.filePath(QStringLiteral("plot.csv"));
    QVERIFY(window.saveCsv(csv));
    const QList<QByteArray> lines = csvLines(csv);
    QCOMPARE(lines[0], QByteArray("timestamp,port,quantity,min,mean,max"));
    QCOMPARE(lines.size(), 1 + 8 * 3 * 3 + 3);
    QCOMPARE(lines[1], QByteArray("2025-12-06T05:46:40.000Z,1,power_w,1,1,1"));
    QCOMPARE(lines.last(), QByteArray("2025-12-06T05:46:41.000Z,,board_power_w,10,10,10"));

    window.plot().setCursorTime(kStart + 1200);
    QVERIFY2(window.plot().cursorText().contains(
                 QStringLiteral("Port 1 power 1.2 W (last 1 min: 1 to 1.2 W)")),
             qPrintable(window.plot().cursorText()));
    QSignalSpy reports(&window, &views::TrendWindow::reported);
    QVERIFY(!window.savePng(dir.filePath(QStringLiteral("missing/plot.png"))));
    QCOMPARE(reports.size(), 1);
}

// The port list offers the ports of the board the latest answer reports, and keeps the
// choices of the ports that stay.
void TestViews::trendPortsFollowThePortCount_data()
{
    QTest::addColumn<QList<int>>("reported");
    QTest::addColumn<int>("ports");
    QTest::newRow("before any answer") << QList<int> {} << 8;
    QTest::newRow("sixteen") << QList<int> { 16 } << 16;
    QTest::newRow("a full board") << QList<int> { 48 } << 48;
    QTest::newRow("a count no board has") << QList<int> { 13 } << 8;
    QTest::newRow("zero") << QList<int> { 0 } << 8;
    QTest::newRow("beyond the largest board") << QList<int> { 255 } << 48;
    QTest::newRow("shrinks") << QList<int> { 48, 16 } << 16;
    QTest::newRow("grows") << QList<int> { 8, 24 } << 24;
}

void TestViews::trendPortsFollowThePortCount()
{
    QFETCH(QList<int>, reported);
    QFETCH(int, ports);
    views::TrendStore store;
    views::TrendWindow window(store);
    auto *list = window.findChild<QListWidget *>(QStringLiteral("TrendPorts"));
    session::DecodedAnswer answer;
    answer.receivedUtcMs = kStart;
    for (int count : reported) {
        answer.snapshot.config[Setting::SYS_PORT_CNT] = count;
        store.add(answer);
        answer.receivedUtcMs += 500;
        for (int row = 0; row < list->count(); ++row)
            list->item(row)->setCheckState(Qt::Checked);
    }
    QCOMPARE(list->count(), ports);
    QCOMPARE(list->item(ports - 1)->text(), QStringLiteral("Port %1").arg(ports));
    int highest = 0;
    for (const views::SeriesId &id : window.plot().shownSeries())
        highest = std::max(highest, id.port);
    QCOMPARE(highest, reported.isEmpty() ? 8 : ports);
}

// The plot wakes on its repaint timer only while shown and not paused, and repaints on a tick
// only once the time axis has moved by a column.
void TestViews::trendPlotRepaintsOnItsTimer()
{
    Rig r;
    r.answer(block({ { 141, 10 } }));
    views::TrendPlot plot(r.views->trends());
    testing::FakeTimer timer;
    plot.setRepaintTimer(timer);
    plot.setClock([&r] { return r.now; });
    plot.setPorts({ 1 });
    plot.setQuantities({ views::Quantity::Power });
    plot.resize(600, 300);
    QCOMPARE(timer.interval(), views::TrendPlot::kRepaintIntervalMs);
    QVERIFY(!timer.isActive());

    plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plot));
    QVERIFY(timer.isActive());
    plot.setPaused(true);
    QVERIFY(!timer.isActive());
    plot.setPaused(false);
    QVERIFY(timer.isActive());

    int paints = 0;
    PaintCounter counter(paints);
    plot.installEventFilter(&counter);
    plot.repaint();
    QCoreApplication::processEvents();
    paints = 0;
    timer.fire();
    QCoreApplication::processEvents();
    QCOMPARE(paints, 0); // the clock stood still
    r.now += 60'000;     // ten minutes across 600 pixels: a minute is many columns
    timer.fire();
    QCoreApplication::processEvents();
    QVERIFY(paints > 0);

    plot.hide();
    QVERIFY(!timer.isActive());
}

// File and View, each with its mnemonic, between "Serial Link Setup" and "Help"; the window's
// "Quit" stays last.
void TestViews::menusAfterSerialLinkSetup()
{
    Rig r;
    QMenuBar *bar = r.window->menuBar();
    QStringList menus;
    for (QAction *action : bar->actions())
        menus << action->text();
    QCOMPARE(menus, (QStringList { "&Serial Link Setup", "&File", "&View", "&Help" }));
    QStringList items;
    for (QAction *action : bar->actions()[1]->menu()->actions()) {
        if (!action->isSeparator())
            items << action->objectName();
    }
    QCOMPARE(items,
             (QStringList { "OpenSettings", "SaveSettingsAs", "StartRecording", "StopRecording",
                            "Quit" }));
    auto *saveAs = r.window->findChild<QAction *>(QStringLiteral("SaveSettingsAs"));
    QCOMPARE(saveAs->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    QVERIFY(!r.window->findChild<QAction *>(QStringLiteral("StopRecording"))->isEnabled());
    QCOMPARE(r.window->findChild<QAction *>(QStringLiteral("StartRecording"))->statusTip(),
             views::historyNote());
}

// The ports in drop order (powered ones lowest priority first, the higher port first among
// equals; then the others), with those priority disconnect drops first marked "*". Ports of a
// group with no answer, or beyond the port count, have no row.
void TestViews::powerBudget_data()
{
    QTest::addColumn<int>("portCount");
    QTest::addColumn<int>("totalLimit");
    QTest::addColumn<bool>("priorityDisconnect");
    QTest::addColumn<QString>("ports");
    QTest::addColumn<QString>("order");
    QTest::addColumn<QList<int>>("unanswered");
    QTest::addColumn<QString>("note");
    QTest::newRow("no limit drops nothing")
        << 8 << 0 << true << "1:6:0 2:3:0 3:-:0"
        << "2:1 1:2 3:-" << QList<int> {} << "No total power limit (0 W)";
    QTest::newRow("within the limit the next to go is marked")
        << 8 << 40 << true << "1:6:2 2:3:1 4:10:1"
        << "4:1* 2:2 1:3" << QList<int> {} << "Priority disconnect is on";
    QTest::newRow("over the limit, as many as the board must drop")
        << 8 << 15 << true << "1:6:0 2:3:0 3:10:1 4:4:2"
        << "2:1* 1:2* 3:3 4:4" << QList<int> {} << "The total is 8 W over its limit.";
    QTest::newRow("equals across groups: the higher board port first")
        << 16 << 30 << false << "3:5:0 12:5:0 9:5:1"
        << "12:1* 3:2 9:3" << QList<int> {} << "Priority disconnect is off";
    QTest::newRow("not powered ports follow, never marked")
        << 8 << 5 << true << "1:-:0 2:8:7 3:-:7"
        << "2:1* 1:- 3:-" << QList<int> {} << "The total is 3 W over its limit.";
    QTest::newRow("ports beyond the port count are left out")
        << 8 << 0 << true << "1:5:0 9:5:0"
        << "1:1" << QList<int> {} << "lowest priority";
    QTest::newRow("a group that has not answered")
        << 24 << 0 << true << "1:5:0 17:4:0"
        << "17:1 1:2" << QList<int> { 1 } << "Ports 9-16: no answer yet";
}

void TestViews::powerBudget()
{
    QFETCH(int, portCount);
    QFETCH(int, totalLimit);
    QFETCH(bool, priorityDisconnect);
    QFETCH(QString, ports);
    QFETCH(QString, order);
    QFETCH(QList<int>, unanswered);
    QFETCH(QString, note);
    const auto answers = boardAnswers(portCount, totalLimit, priorityDisconnect, ports);
    const views::PowerBudget budget = views::powerBudget(answers);
    // The ports named; the other ports of the groups have nothing attached.
    QStringList rows;
    for (const views::BudgetRow &row : budget.rows) {
        if (!(u' ' + ports).contains(QStringLiteral(" %1:").arg(row.port)))
            continue;
        rows << QStringLiteral("%1:%2%3")
                    .arg(row.port)
                    .arg(row.dropRank > 0 ? QString::number(row.dropRank) : QStringLiteral("-"))
                    .arg(row.dropsFirst ? QStringLiteral("*") : QString());
    }
    QCOMPARE(rows.join(u' '), order);
    QCOMPARE(budget.unansweredGroups, unanswered);
    QCOMPARE(budget.totalLimitW, totalLimit);
    const QString notes = views::budgetNotes(budget).join(u'\n');
    QVERIFY2(notes.contains(note), qPrintable(notes));
}

// View > "Power Budget" opens the window over the answers the panel already has: the
// port's power, limit and priority as the board reports them.
void TestViews::powerBudgetWindowFromTheMenu()
{
    Rig r;
    QByteArray b = block();
    testing::setBytes(b, testing::kPortZeroExample); // port 1: 15.9 W, "Ramp Up"
    b[27] = char(0x20 | 3);                          // Port Enable, priority 3
    b[43] = 20;                                      // a 20 W limit
    b[10] = 100;                                     // a 100 W total limit
    b[16] = char(0x9F);                              // 15.9 W in all
    r.answer(b);
    r.window->findChild<QAction *>(QStringLiteral("ShowPowerBudget"))->trigger();
    auto *window = r.window->findChild<views::PowerBudgetWindow *>();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Power Budget"));
    const views::PowerBudget &budget = window->chart().budget();
    QCOMPARE(budget.rows.size(), std::size_t(8));
    const views::BudgetRow &first = budget.rows.front();
    QCOMPARE(first.port, 1);
    QCOMPARE(first.powerW, 15.9f);
    QCOMPARE(first.limitW, 20);
    QCOMPARE(first.priority, 3);
    QVERIFY(first.dropsFirst);
    QCOMPARE(budget.totalW, 15.9f);
    QCOMPARE(budget.totalLimitW, 100);

    // A later answer shows at once; the same item raises the same window.
    b[141] = 100;
    r.answer(b);
    QCOMPARE(window->chart().budget().rows.front().powerW, 10.0f);
    QCOMPARE(r.views->showPowerBudget(), window);
}

QTEST_MAIN(TestViews)
#include "test_views.moc"
