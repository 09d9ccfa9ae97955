// SPDX-License-Identifier: MIT
#include "eventlog.h"

#include <codec/statustext.h>
#include <codec/tabletext.h>
#include <records/recordformat.h>
#include <session/session.h>

#include <QDateTime>

#include <algorithm>

namespace vantor::views {

namespace {

// The texts of the port readings the log follows, in EventKind order: caption and hover text.
struct Texts
{
    QString (*caption)(int);
    QString (*hover)(int);
};

QString noHover(int)
{
    return {};
}

const std::array<Texts, records::kPortChangeKinds> kTexts { {
    { [](int c) { return QString(codec::modeText(c).caption); },
      [](int c) {
          return QString(codec::modeText(c).hover);
      } },
    { [](int c) { return QString(codec::faultText(c).caption); },
      [](int c) {
          return QString(codec::faultText(c).hover);
      } },
    { [](int c) { return QString(codec::classCaption(c)); }, noHover },
    { [](int c) { return c != 0 ? QStringLiteral("on") : QStringLiteral("off"); }, noHover },
} };

// The port kinds of the log are the tracker's, in its order.
static_assert(static_cast<int>(EventKind::Mode) == static_cast<int>(records::PortChangeKind::Mode)
              && static_cast<int>(EventKind::Fault)
                  == static_cast<int>(records::PortChangeKind::Fault)
              && static_cast<int>(EventKind::Class)
                  == static_cast<int>(records::PortChangeKind::Class)
              && static_cast<int>(EventKind::PortEnable)
                  == static_cast<int>(records::PortChangeKind::PortEnable));

QString kindText(protocol::RequestKind kind)
{
    return QString::fromLatin1(protocol::kindName(kind));
}

// What became of an operation, as its entry says it.
QString outcomeText(const session::Request &request)
{
    switch (request.outcome()) {
    case protocol::Outcome::Done:
        return QStringLiteral("sent");
    case protocol::Outcome::TimedOut:
        return QStringLiteral("no answer");
    case protocol::Outcome::Refused:
        return QStringLiteral("refused");
    case protocol::Outcome::Failed:
        return QStringLiteral("failed");
    case protocol::Outcome::Cancelled:
        return QStringLiteral("cancelled");
    }
    return {};
}

// The group whose port block went out, from its command code.
std::optional<int> launchedGroup(const session::Request &request)
{
    QList<const session::Request *> all { &request };
    for (const session::RequestHandle &step : request.steps())
        all << step.get();
    for (const session::Request *r : all) {
        if (r->kind() == protocol::RequestKind::PortWrite && r->code() != 0)
            return r->code() & ~protocol::kKindMask;
    }
    return std::nullopt;
}

QString clockTime(qint64 utcMs)
{
    return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC).toString(QStringLiteral("HH:mm:ss"));
}

constexpr std::array<const char *, EventLog::ColumnCount> kHeaders {
    "Time (UTC)", "Group", "Port", "Kind", "From", "To", "Detail",
};

} // namespace

QString eventKindName(EventKind kind)
{
    return codec::tableText(kEventKindNames[static_cast<std::size_t>(kind)]);
}

EventLog::EventLog(int capacity, QObject *parent)
    : QAbstractTableModel(parent)
    , m_capacity(std::max(1, capacity))
    , m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
}

void EventLog::follow(session::Session &session)
{
    using protocol::RequestKind;
    using session::Session;
    connect(&session, &Session::answerDecoded, this, &EventLog::addAnswer);
    connect(&session, &Session::linkOpened, this, [this](const QString &device) {
        note(EventKind::LinkOpened, QStringLiteral("open"), device);
    });
    connect(&session, &Session::linkOpenFailed, this,
            [this](const QString &device, const QString &reason) {
                note(EventKind::LinkOpenFailed, QStringLiteral("not open"),
                     QStringLiteral("%1: %2").arg(device, reason));
            });
    connect(&session, &Session::linkLost, this, [this](const QString &reason) {
        note(EventKind::LinkLost, QStringLiteral("lost"), reason);
    });
    connect(&session, &Session::linkReopened, this, [this](const QString &device) {
        note(EventKind::LinkReconnected, QStringLiteral("open"), device);
    });
    connect(&session, &Session::linkClosed, this, [this, &session] {
        // A lost link is closed after it was lost: its entry says so already.
        if (session.boardState() != session::BoardState::Lost)
            note(EventKind::LinkClosed, QStringLiteral("closed"), session.linkDevice());
    });
    connect(&session, &Session::requestTimedOut, this, [this](RequestKind k) {
        if (!toldByOperation(k, true))
            note(EventKind::TimeOut, kindText(k), QStringLiteral("no answer from the board"));
    });
    connect(&session, &Session::requestRefused, this, [this](RequestKind k, const QString &reason) {
        if (!toldByOperation(k, false))
            note(EventKind::RefusedWrite, kindText(k), reason);
    });
    connect(&session, &Session::operationAsked, this,
            [this, &session](session::Operation operation, const session::RequestHandle &r) {
                follow(operation == session::Operation::SaveToDevice ? EventKind::SaveToDevice
                                                                     : EventKind::SendPortControl,
                       r, r->group().value_or(session.portGroup()));
            });
}

void EventLog::follow(EventKind kind, const session::RequestHandle &request, int group)
{
    m_operations.push_back(request);
    request->whenFinished(this, [this, kind, group](const session::Request &r) {
        std::erase_if(m_operations,
                      [&r](const session::RequestHandle &h) { return h.get() == &r; });
        QList<const session::Request *> steps;
        for (const session::RequestHandle &step : r.steps())
            steps << step.get();
        if (steps.isEmpty())
            steps << &r;
        QStringList told;
        for (const session::Request *step : steps) {
            told << kindText(step->kind()) + QStringLiteral(": ") + outcomeText(*step);
            if (step->outcome() != protocol::Outcome::Done && !step->reason().isEmpty())
                told.last() += QStringLiteral(" (%1)").arg(step->reason());
        }
        note(kind, outcomeText(r), told.join(QStringLiteral("; ")),
             launchedGroup(r).value_or(group));
    });
}

bool EventLog::toldByOperation(protocol::RequestKind kind, bool onTheWire) const
{
    const auto tells = [kind, onTheWire](const session::Request &r) {
        // A time-out is the transaction's on the wire; one waiting behind it is not its.
        return r.steps().isEmpty() && r.kind() == kind && !r.isFinished()
            && (!onTheWire || r.code() != 0);
    };
    return std::any_of(m_operations.begin(), m_operations.end(),
                       [&tells](const session::RequestHandle &op) {
                           return tells(*op)
                               || std::any_of(op->steps().begin(), op->steps().end(),
                                              [&tells](const session::RequestHandle &step) {
                                                  return tells(*step);
                                              });
                       });
}

void EventLog::note(EventKind kind, const QString &to, const QString &detail, int group)
{
    add({ m_clock(), kind, group, 0, QString(), to, detail });
}

void EventLog::addAnswer(const session::DecodedAnswer &answer)
{
    std::vector<Event> changes;
    if (!answer.problem.isEmpty())
        changes.push_back({ answer.receivedUtcMs, EventKind::Implausible, answer.group, 0,
                            QString(), QStringLiteral("implausible"), answer.problem });
    for (const records::PortChange &c : m_changes.update(answer.snapshot, answer.group)) {
        const Texts &t = kTexts[static_cast<std::size_t>(c.kind)];
        QString from = c.before ? t.caption(*c.before) : QString();
        QString to = t.caption(c.now);
        // Codes that share a caption ("Null" is fault 0 and 8) are told apart by their code.
        if (c.before && from == to) {
            from += QStringLiteral(" (%1)").arg(*c.before);
            to += QStringLiteral(" (%1)").arg(c.now);
        }
        changes.push_back({ answer.receivedUtcMs, static_cast<EventKind>(c.kind), answer.group,
                            c.element + 1, from, to, t.hover(c.now) });
    }
    append(changes);
}

void EventLog::add(Event event)
{
    append(std::span(&event, 1));
}

void EventLog::append(std::span<Event> events)
{
    const int n = std::min(static_cast<int>(events.size()), m_capacity);
    if (n == 0)
        return;
    if (size() + n > m_capacity)
        dropOldest(std::min(
            size(),
            std::max(size() + n - m_capacity, std::clamp(m_capacity / 100, 1, kDropBatch))));
    std::vector<int> changed;
    for (auto it = events.end() - n; it != events.end(); ++it) {
        const std::vector<int> folded = m_folder.append(*it);
        changed.insert(changed.end(), folded.begin(), folded.end());
    }
    // One insertion for all the entries of an answer: the filter and the table follow once.
    beginInsertRows({}, size(), size() + n - 1);
    for (auto it = events.end() - n; it != events.end(); ++it)
        m_events.push_back(std::move(*it));
    endInsertRows();
    announce(std::move(changed));
}

void EventLog::dropOldest(int count)
{
    // What each remaining row showed, to tell which rows fold otherwise now.
    struct Shape
    {
        EventFolder::Role role;
        int head;
        std::size_t entries;
        bool operator==(const Shape &) const = default;
    };
    const auto shapes = [this](int from, int shift) {
        std::vector<Shape> all;
        for (int row = from; row < m_folder.size(); ++row) {
            const EventFolder::Group *g = m_folder.group(row);
            all.push_back(
                { m_folder.role(row), g ? g->rows.front() - shift : -1, g ? g->rows.size() : 0 });
        }
        return all;
    };
    const std::vector<Shape> before = shapes(count, count);
    beginRemoveRows({}, 0, count - 1);
    m_events.erase(m_events.begin(), m_events.begin() + count);
    // The groups are found again among what remains, as if the log had begun there.
    m_folder.clear();
    for (const Event &e : m_events)
        m_folder.append(e);
    endRemoveRows();
    const std::vector<Shape> after = shapes(0, 0);
    std::vector<int> changed;
    for (std::size_t row = 0; row < after.size(); ++row) {
        if (!(after[row] == before[row]))
            changed.push_back(static_cast<int>(row));
    }
    announce(std::move(changed));
}

void EventLog::announce(std::vector<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // The time of a row is its first entry's, which folding never changes.
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t end = i + 1;
        while (end < rows.size() && rows[end] == rows[end - 1] + 1)
            ++end;
        emit dataChanged(index(rows[i], From), index(rows[end - 1], Detail));
        i = end;
    }
}

int EventLog::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : size();
}

int EventLog::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString EventLog::cell(const Event &e, int column) const
{
    switch (column) {
    case Time:
        return records::isoTimestamp(e.utcMs);
    case Group:
        return e.group < 0 ? QString() : QString::number(e.group);
    case Port:
        return e.port == 0 ? QString() : QString::number(e.port);
    case Kind:
        return eventKindName(e.kind);
    case From:
        return e.from;
    case To:
        return e.to;
    case Detail:
        return e.detail;
    }
    return {};
}

QString EventLog::cycleText(const EventFolder::Group &group) const
{
    QStringList steps;
    for (int i = 0; i < group.cycle; ++i)
        steps << at(group.rows[static_cast<std::size_t>(i)]).to;
    return tr("%1 \u00d7%2").arg(steps.join(QStringLiteral(" > "))).arg(group.repeats());
}

QString EventLog::groupText(const EventFolder::Group &group) const
{
    return tr("%1, %2\u2013%3")
        .arg(cycleText(group), clockTime(at(group.rows.front()).utcMs),
             clockTime(at(group.rows.back()).utcMs));
}

QString EventLog::groupToolTip(const EventFolder::Group &group) const
{
    QStringList lines { tr("%1 from %2 to %3, %4 entries")
                            .arg(cycleText(group),
                                 records::isoTimestamp(at(group.rows.front()).utcMs),
                                 records::isoTimestamp(at(group.rows.back()).utcMs))
                            .arg(group.rows.size()) };
    for (int i = 0; i < group.cycle; ++i) {
        const Event &e = at(group.rows[static_cast<std::size_t>(i)]);
        const QString line = QStringLiteral("%1: %2").arg(e.to, e.detail);
        if (!e.detail.isEmpty() && !lines.contains(line))
            lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

QString EventLog::shownCell(int row, int column) const
{
    const EventFolder::Group *group = m_folder.group(row);
    if (!group || m_folder.role(row) != EventFolder::Role::Head)
        return cell(at(row), column);
    switch (column) {
    case To:
        return at(group->rows.back()).to;
    case Detail:
        return groupText(*group);
    default:
        return cell(at(row), column);
    }
}

QVariant EventLog::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= size())
        return {};
    const Event &e = at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return shownCell(index.row(), index.column());
    case Qt::ToolTipRole: {
        if (index.column() != Detail)
            return {};
        const EventFolder::Group *group = m_folder.group(index.row());
        if (group && m_folder.role(index.row()) == EventFolder::Role::Head)
            return groupToolTip(*group);
        return e.detail.isEmpty() ? QVariant() : QVariant(e.detail);
    }
    case kSortRole:
        switch (index.column()) {
        case Time:
            return e.utcMs;
        case Group:
            return e.group;
        case Port:
            return e.port;
        case Kind:
            return static_cast<int>(e.kind);
        default:
            return shownCell(index.row(), index.column());
        }
    default:
        return {};
    }
}

QVariant EventLog::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0
        || section >= ColumnCount)
        return {};
    return tr(kHeaders[static_cast<std::size_t>(section)]);
}

QList<int> EventLog::entriesBehind(const QList<int> &rows) const
{
    QList<int> entries;
    for (int row : rows) {
        const EventFolder::Group *group = m_folder.group(row);
        if (group && m_folder.role(row) == EventFolder::Role::Head)
            entries.append(QList<int>(group->rows.begin(), group->rows.end()));
        else
            entries << row;
    }
    std::sort(entries.begin(), entries.end());
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    std::stable_sort(entries.begin(), entries.end(),
                     [this](int a, int b) { return at(a).utcMs < at(b).utcMs; });
    return entries;
}

QByteArray EventLog::csv(const QList<int> &rows) const
{
    QStringList header;
    for (int c = 0; c < ColumnCount; ++c)
        header << headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    QByteArray out = records::csvLine(header);
    for (int row : rows) {
        QStringList fields;
        for (int c = 0; c < ColumnCount; ++c)
            fields << cell(at(row), c);
        out += records::csvLine(fields);
    }
    return out;
}

QString EventLog::text(const QList<int> &rows) const
{
    QString out;
    for (int row : rows) {
        QStringList fields;
        for (int c = 0; c < ColumnCount; ++c)
            fields << shownCell(row, c);
        out += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return out;
}

void EventFilter::setPort(int port)
{
    m_port = port;
    invalidateFilter();
}

void EventFilter::setKinds(KindSet kinds)
{
    m_kinds = kinds;
    invalidateFilter();
}

bool EventFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    const auto *log = static_cast<const EventLog *>(sourceModel());
    const Event &e = log->at(sourceRow);
    return log->folder().role(sourceRow) != EventFolder::Role::Member
        && (m_port == 0 || e.port == m_port) && m_kinds.test(static_cast<std::size_t>(e.kind));
}

} // namespace vantor::views
