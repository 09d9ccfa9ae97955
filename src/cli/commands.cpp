// SPDX-License-Identifier: MIT
#include "commands.h"

#include "board.h"
#include "changes.h"
#include "logging.h"
#include "metrics.h"
#include "metricsserver.h"
#include "monitor.h"
#include "readout.h"

#include <codec/echotext.h>
#include <records/recordformat.h>
#include <records/savefile.h>
#include <serial/listenaddress.h>
#include <session/profile.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTextStream>
#include <QTimer>

#include <cerrno>
#include <unistd.h>

namespace vantor::cli {

namespace {

using namespace Qt::Literals::StringLiterals;
using protocol::RequestKind;

bool g_timestamps = false;

QString stamped(const QString &line)
{
    return g_timestamps ? records::isoTimestamp(QDateTime::currentMSecsSinceEpoch()) + u' ' + line
                        : line;
}

void stampedMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QTextStream(stderr) << stamped(qFormatLogMessage(type, context, message)) << Qt::endl;
}

// Lines of the long-running commands carry their UTC time, to be lined up with their records.
void stampStandardError()
{
    g_timestamps = true;
    qInstallMessageHandler(&stampedMessage);
}

// Standard output without buffering of its own: what is written has been handed on. A reader
// that went away (`| head`) ends the output quietly; any other failure is told.
class StandardOutput
{
public:
    StandardOutput() { m_file.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered); }

    bool write(const QByteArray &bytes)
    {
        return !m_closed && written(m_file.write(bytes) == bytes.size());
    }
    // For writers of their own: what they write to device(), and then whether all of it went.
    [[nodiscard]] QIODevice &device() { return m_file; }
    [[nodiscard]] bool closed() const { return m_closed; }
    bool written(bool all)
    {
        if (all)
            return true;
        m_closed = true;
        if (errno != EPIPE) {
            report(u"standard output: %1"_s.arg(m_file.errorString()));
            m_failed = true;
        }
        return false;
    }
    [[nodiscard]] bool failed() const { return m_failed; }

private:
    QFile m_file;
    bool m_closed = false;
    bool m_failed = false;
};

// Ends the event loop once it runs, also when asked before it started.
void finish()
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
}

std::unique_ptr<Board> openBoard(const Options &o, int &status)
{
    auto board = std::make_unique<Board>(o.device, o.timeoutMs);
    QString error;
    if (!board->open(error)) {
        report(error);
        status = kCannotOpen;
        return nullptr;
    }
    return board;
}

int stepFailed(const StepResult &r)
{
    report(r.message);
    return r.status == StepResult::Status::Refused ? kUsage : kNoAnswer;
}

// The board's port count as its answer gives it, or nothing for a count it cannot have.
std::optional<int> portCountOf(const session::DecodedAnswer &answer)
{
    const int count = answer.snapshot.config[codec::Setting::SYS_PORT_CNT];
    if (!codec::inRange(codec::settingRow(codec::Setting::SYS_PORT_CNT), count))
        return std::nullopt;
    return count;
}

// Refuses a group or port the board does not have, as the panel refuses those tabs.
bool withinPortCount(const session::DecodedAnswer &answer, const std::set<int> &groups,
                     std::optional<int> port, int &status)
{
    const std::optional<int> count = portCountOf(answer);
    if (!count)
        return true;
    QString refusal;
    if (port && *port > *count)
        refusal = u"port %1 is beyond the board's %2 ports"_s.arg(*port).arg(*count);
    for (const int g : groups) {
        if (refusal.isEmpty() && g * protocol::kPortsPerGroup >= *count) {
            refusal = u"group %1 is beyond the board's %2 ports (groups 0 to %3)"_s.arg(g)
                          .arg(*count)
                          .arg(*count / protocol::kPortsPerGroup - 1);
        }
    }
    if (refusal.isEmpty())
        return true;
    report(refusal);
    status = kUsage;
    return false;
}

// The first answer tells the port count, which every group and the port must lie within.
bool readGroups(Board &board, const std::set<int> &groups, int &status,
                std::optional<int> port = std::nullopt)
{
    bool first = true;
    for (const int g : groups) {
        session::DecodedAnswer answer;
        const StepResult r = board.readGroup(g, &answer);
        if (!r.ok()) {
            status = stepFailed(r);
            return false;
        }
        if (std::exchange(first, false) && !withinPortCount(answer, groups, port, status))
            return false;
    }
    return true;
}

// An output path that cannot be written (a missing or read-only folder, a directory) is a
// usage error, told before the board is opened; none means standard output.
bool outputUsable(const QString &path)
{
    const records::OutputTarget target
        = path.isEmpty() ? records::OutputTarget {} : records::outputTarget(path);
    if (target.kind != records::TargetKind::Unusable)
        return true;
    report(target.error);
    return false;
}

// Sends the planned blocks in order; a failure says what had been sent before it.
int sendPlan(Board &board, const WritePlan &plan)
{
    QList<session::Session::WriteStep> steps;
    QStringList names;
    if (plan.system) {
        steps.append({ RequestKind::SystemWrite, plan.systemGroup() });
        names << u"the system configuration write"_s;
    }
    for (const int g : plan.groups) {
        steps.append({ RequestKind::PortWrite, g });
        names << u"the port control write of group %1"_s.arg(g);
    }
    qsizetype sent = 0;
    const StepResult r = board.apply(steps, sent);
    if (r.ok())
        return kSuccess;
    if (sent == 0)
        report(r.message + u"; nothing had been sent before it"_s);
    else
        report(r.message + u"; sent before it: "_s + names.mid(0, sent).join(u", "_s));
    return kNoAnswer;
}

// The blocks are built on a copy first: a setting that cannot be encoded stops everything
// before the first byte goes out.
// before: the store as read, before the changes were laid over it. What changed is told: on
// standard output before the blocks for a dry run, on standard error once written.
int writeChanges(Board &board, const WritePlan &plan, const codec::MemoryStore &before, bool dryRun)
{
    codec::MemoryStore trial = board.store();
    const PlannedBlocks planned = buildBlocks(plan, trial);
    if (!planned.ok()) {
        report(u"nothing was written: "_s + planned.error);
        return kUsage;
    }
    const QStringList changes = changeLines(plan, before, board.store());
    if (dryRun) {
        StandardOutput out;
        QByteArray text;
        for (const QString &line : changes)
            text += line.toUtf8() + '\n';
        out.write(text + blocksText(planned.blocks));
        return out.failed() ? kNoAnswer : kSuccess;
    }
    const int status = sendPlan(board, plan);
    if (status == kSuccess) {
        for (const QString &line : changes)
            report(u"wrote "_s + line);
    }
    return status;
}

// The whole read of the group asked for, or of group 0 and then of every other group its port
// count allows.
bool readAsked(Board &board, const Options &o, WholeReads &answers, int &status)
{
    session::DecodedAnswer answer;
    const StepResult r = board.readGroup(o.allGroups ? 0 : o.group, &answer);
    if (!r.ok()) {
        status = stepFailed(r);
        return false;
    }
    answers.push_back(answer);
    if (!o.allGroups)
        return withinPortCount(answer, { o.group }, std::nullopt, status);
    const int count = portCountOf(answer).value_or(protocol::kPortsPerGroup);
    for (int g = 1; g * protocol::kPortsPerGroup < count; ++g) {
        const StepResult next = board.readGroup(g, &answer);
        if (!next.ok()) {
            status = stepFailed(next);
            return false;
        }
        answers.push_back(answer);
    }
    return true;
}

std::optional<int> groupAsked(const Options &o)
{
    return o.allGroups ? std::nullopt : std::optional<int>(o.group);
}

int runRead(const Options &o)
{
    int status = kSuccess;
    const auto board = openBoard(o, status);
    if (!board)
        return status;
    WholeReads answers;
    if (!readAsked(*board, o, answers, status))
        return status;

    QByteArray text;
    switch (o.format) {
    case OutputFormat::Csv:
        text = wholeReadCsv(answers);
        break;
    case OutputFormat::Text:
        text = wholeReadText(answers);
        break;
    default:
        text = wholeReadJson(answers);
        break;
    }
    StandardOutput out;
    out.write(text);
    return out.failed() ? kNoAnswer : kSuccess;
}

int runWatch(const Options &o)
{
    const records::RecordFormat format = o.format == OutputFormat::Csv
        ? records::RecordFormat::Csv
        : records::RecordFormat::JsonLines;
    records::RecordFile file;
    if (!o.output.isEmpty() && !file.open(o.output, format)) {
        report(file.errorString());
        return file.pathUnusable() ? kUsage : kNoAnswer;
    }
    stampStandardError();
    // Opened by the monitor: a device that is not there yet is waited for.
    const auto board = std::make_unique<Board>(o.device, o.timeoutMs);

    StandardOutput out;
    records::RecordWriter standardOutput(out.device(), format);
    bool refused = false;
    const bool toFile = file.isOpen();
    bool writeFailed = false;
    bool done = false;
    qint64 answers = 0;
    Monitor monitor(*board, groupAsked(o), o.intervalMs);
    QObject::connect(&monitor, &Monitor::message, &monitor, &report);
    QObject::connect(&monitor, &Monitor::refused, &monitor, [&](const QString &text) {
        report(text);
        refused = true;
        finish();
    });
    QObject::connect(&monitor, &Monitor::answered, &monitor,
                     [&](const session::DecodedAnswer &answer) {
                         if (done)
                             return;
                         const records::PortRecords records = portRecords(answer);
                         bool written = false;
                         if (toFile) {
                             written = file.append(records);
                             if (!written)
                                 report(file.errorString());
                             writeFailed = !written;
                         } else {
                             written = !out.closed() && out.written(standardOutput.write(records));
                             writeFailed = out.failed();
                         }
                         done = !written || (o.count && ++answers >= *o.count);
                         if (done)
                             finish();
                     });
    if (o.durationMs)
        QTimer::singleShot(std::chrono::milliseconds(*o.durationMs), &monitor, &finish);
    monitor.start();
    QCoreApplication::exec();
    file.close();
    if (refused)
        return kUsage;
    return writeFailed || monitor.hadFailures() ? kNoAnswer : kSuccess;
}

int runDumpProfile(const Options &o)
{
    if (!outputUsable(o.output))
        return kUsage;
    int status = kSuccess;
    const auto board = openBoard(o, status);
    if (!board)
        return status;
    WholeReads answers;
    if (!readAsked(*board, o, answers, status))
        return status;

    std::vector<int> groups;
    for (const session::DecodedAnswer &a : answers)
        groups.push_back(a.group);
    const session::ProfileWriting profile = session::writeProfile(board->store(), groups);
    if (profile.refusal) {
        report(u"the board's settings cannot be kept in a profile: "_s + profile.refusal->message);
        return kUsage;
    }
    if (o.output.isEmpty()) {
        StandardOutput out;
        out.write(profile.json);
        return out.failed() ? kNoAnswer : kSuccess;
    }
    QString error;
    if (!records::saveWhole(o.output, profile.json, error)) {
        report(error);
        return kNoAnswer;
    }
    return kSuccess;
}

int runApply(const Options &o)
{
    const session::ProfileReading reading = session::readProfile(o.profile);
    if (!reading.ok()) {
        report(reading.error);
        return kUsage;
    }
    const WritePlan plan = planFor(reading.profile);
    if (plan.empty())
        return kSuccess;

    int status = kSuccess;
    const auto board = openBoard(o, status);
    if (!board || !readGroups(*board, plan.groupsToRead(), status))
        return status;
    // The marks the board reported, before the unreadable settings take their designed values.
    const codec::MemoryStore reported = board->store();
    resetUnreadable(board->store(), plan.groups);
    const codec::MemoryStore before = board->store();
    session::applyAsReported(reading.profile, board->store(), reported);
    return writeChanges(*board, plan, before, o.dryRun);
}

int runSet(const Options &o)
{
    const Assignments assignments = parseAssignments(o.assignments, o.port);
    if (!assignments.ok()) {
        report(assignments.error);
        return kUsage;
    }
    const WritePlan involved = planFor(assignments.items);

    int status = kSuccess;
    const auto board = openBoard(o, status);
    if (!board || !readGroups(*board, involved.groupsToRead(), status, o.port))
        return status;
    resetUnreadable(board->store(), involved.groups);
    const codec::MemoryStore before = board->store();
    const WritePlan changed = applyAssignments(assignments.items, board->store());
    if (changed.empty())
        return kSuccess;
    return writeChanges(*board, changed, before, false);
}

QString urlOf(const MetricsServer &server)
{
    // Listening everywhere: an address others reach it by, not 0.0.0.0 or [::].
    return u"http://%1:%2/metrics"_s.arg(serial::urlHost(server.address())).arg(server.port());
}

int runMetrics(const Options &o)
{
    stampStandardError();
    Metrics metrics(o.device, { o.allGroups ? 0 : o.group });
    MetricsServer server;
    if (o.listen) {
        if (!server.listen(o.listen->address, o.listen->port)) {
            report(u"cannot listen on %1 port %2: %3"_s.arg(o.listen->address.toString())
                       .arg(o.listen->port)
                       .arg(server.errorString()));
            return kUsage;
        }
        report(u"serving %1"_s.arg(urlOf(server)));
    }
    if (!outputUsable(o.textfile))
        return kUsage;
    QString error;
    const QByteArray first = metrics.exposition();
    server.setText(first);
    if (!o.textfile.isEmpty() && !records::saveWhole(o.textfile, first, error)) {
        report(error);
        return kNoAnswer;
    }
    // Opened by the monitor: a device that is not there yet is served as a board that is down.
    const auto board = std::make_unique<Board>(o.device, o.timeoutMs);

    bool writeFailing = false;
    bool writeFailed = false;
    const auto publish = [&] {
        const QByteArray text = metrics.exposition();
        server.setText(text);
        if (o.textfile.isEmpty())
            return;
        // Told once until a write succeeds again; the next answer tries anew.
        if (records::saveWhole(o.textfile, text, error)) {
            writeFailing = false;
            return;
        }
        writeFailed = true;
        if (!std::exchange(writeFailing, true))
            report(error);
    };
    bool refused = false;
    Monitor monitor(*board, groupAsked(o), o.intervalMs);
    QObject::connect(&monitor, &Monitor::message, &monitor, &report);
    QObject::connect(&monitor, &Monitor::refused, &monitor, [&](const QString &text) {
        report(text);
        refused = true;
        finish();
    });
    QObject::connect(&monitor, &Monitor::groupsChanged, &monitor,
                     [&](const std::vector<int> &groups) { metrics.setGroups(groups); });
    QObject::connect(&monitor, &Monitor::answered, &monitor,
                     [&](const session::DecodedAnswer &answer) {
                         metrics.addAnswer(answer);
                         publish();
                     });
    QObject::connect(&monitor, &Monitor::timedOut, &monitor, [&] {
        metrics.addTimeout();
        publish();
    });
    QObject::connect(&monitor, &Monitor::lineLost, &monitor, [&] {
        metrics.addLinkLost();
        publish();
    });
    // Refreshes that cannot be sent while the line is away change nothing after the first.
    QObject::connect(&monitor, &Monitor::down, &monitor, [&] {
        if (!metrics.isUp())
            return;
        metrics.setDown();
        publish();
    });
    monitor.start();
    QCoreApplication::exec();
    if (refused)
        return kUsage;
    return writeFailed || monitor.hadFailures() ? kNoAnswer : kSuccess;
}

} // namespace

void report(const QString &line)
{
    // One line, whatever a file put into the message.
    QTextStream(stderr) << stamped(u"vantor-cli: "_s + codec::escapeControls(line)) << Qt::endl;
}

namespace {

std::optional<Command> g_running;

int runCommand(const Options &options)
{
    switch (options.command) {
    case Command::Read:
        return runRead(options);
    case Command::Watch:
        return runWatch(options);
    case Command::DumpProfile:
        return runDumpProfile(options);
    case Command::Apply:
        return runApply(options);
    case Command::Set:
        return runSet(options);
    case Command::Metrics:
        return runMetrics(options);
    case Command::Help:
    case Command::Version:
        break;
    }
    return kUsage;
}

} // namespace

void interrupt(int signal)
{
    askToStop(signal);
    if (g_running == Command::Watch || g_running == Command::Metrics)
        finish();
}

int run(const Options &options)
{
    g_running = options.command;
    const int status = runCommand(options);
    g_running.reset();
    // The shell's convention, so that a script sees the interruption.
    return stopSignal() != 0 ? kInterrupted + stopSignal() : status;
}

} // namespace vantor::cli
