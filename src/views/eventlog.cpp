// SPDX-License-Identifier: MIT
#include "eventlog.h"

#include <codec/records.h>
#include <codec/statustext.h>
#include <codec/tabletext.h>
#include <session/recordformat.h>
#include <session/session.h>

#include <QDateTime>

#include <utility>

namespace vantor::views {

namespace {

using codec::PortStatus;

// The port readings the log follows, in EventKind order: the code, its caption and hover text.
struct Tracked
{
    EventKind kind;
    int PortStatus::*member;
    QString (*caption)(int);
    QString (*hover)(int);
};

QString noHover(int)
{
    return {};
}

const std::array<Tracked, 4> kTracked { {
    { EventKind::Mode, &PortStatus::modeCode,
      [](int c) { return QString(codec::modeText(c).caption); },
      [](int c) {
          return QString(codec::modeText(c).hover);
      } },
    { EventKind::Fault, &PortStatus::faultCode,
      [](int c) { return QString(codec::faultText(c).caption); },
      [](int c) {
          return QString(codec::faultText(c).hover);
      } },
    { EventKind::Class, &PortStatus::PORT_CLASS_2,
      [](int c) { return QString(codec::classCaption(c)); }, noHover },
    { EventKind::PortEnable, &PortStatus::portEnable,
      [](int c) { return c != 0 ? QStringLiteral("on") : QStringLiteral("off"); }, noHover },
} };

// A powered port's controller alternates between sampling its current and its voltage at
// every measurement. For the log that is one state: each switch would be logged twice a
// second for every powered port, and the faults would soon drop out of a full log.
bool sampling(int modeCode)
{
    return codec::modeText(modeCode).caption == QLatin1StringView("I Sample")
        || codec::modeText(modeCode).caption == QLatin1StringView("V Sample");
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
    const auto kindText = [](RequestKind k) {
        return QString::fromLatin1(protocol::kindName(k));
    };
    connect(&session, &Session::answerDecoded, this, &EventLog::addAnswer);
    connect(&session, &Session::linkLost, this, [this](const QString &reason) {
        linkEvent(EventKind::LinkLost, QStringLiteral("lost"), reason);
    });
    connect(&session, &Session::linkReopened, this, [this](const QString &device) {
        linkEvent(EventKind::LinkReconnected, QStringLiteral("open"), device);
    });
    connect(&session, &Session::requestTimedOut, this, [this, kindText](RequestKind k) {
        linkEvent(EventKind::TimeOut, kindText(k), QStringLiteral("no answer from the board"));
    });
    connect(&session, &Session::requestRefused, this,
            [this, kindText](RequestKind k, const QString &reason) {
                linkEvent(EventKind::RefusedWrite, kindText(k), reason);
            });
}

void EventLog::linkEvent(EventKind kind, const QString &to, const QString &detail)
{
    add({ m_clock(), kind, -1, 0, QString(), to, detail });
}

void EventLog::addAnswer(const session::DecodedAnswer &answer)
{
    std::vector<Event> changes;
    if (!answer.problem.isEmpty())
        changes.push_back({ answer.receivedUtcMs, EventKind::Implausible, answer.group, 0,
                            QString(), QStringLiteral("implausible"), answer.problem });
    for (int p = 0; p < codec::kPortsPerGroup; ++p) {
        const int element = answer.group * codec::kPortsPerGroup + p;
        if (element < 0 || element >= codec::kElementCount)
            continue;
        PortState &state = m_ports[static_cast<std::size_t>(element)];
        const PortStatus &status = answer.snapshot.portStatus[static_cast<std::size_t>(p)];
        for (std::size_t k = 0; k < kTracked.size(); ++k) {
            const Tracked &t = kTracked[k];
            const int now = status.*t.member;
            const int before = std::exchange(state.values[k], now);
            if (state.known
                && (now == before
                    || (t.kind == EventKind::Mode && sampling(now) && sampling(before))))
                continue;
            QString from = state.known ? t.caption(before) : QString();
            QString to = t.caption(now);
            // Codes that share a caption ("Null" is fault 0 and 8) are told apart by their code.
            if (state.known && from == to) {
                from += QStringLiteral(" (%1)").arg(before);
                to += QStringLiteral(" (%1)").arg(now);
            }
            changes.push_back({ answer.receivedUtcMs, t.kind, answer.group, element + 1, from, to,
                                t.hover(now) });
        }
        state.known = true;
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
    if (size() + n > m_capacity) {
        const int drop = std::min(
            size(), std::max(size() + n - m_capacity, std::clamp(m_capacity / 100, 1, kDropBatch)));
        beginRemoveRows({}, 0, drop - 1);
        m_events.erase(m_events.begin(), m_events.begin() + drop);
        endRemoveRows();
    }
    // One insertion for all the entries of an answer: the filter and the table follow once.
    beginInsertRows({}, size(), size() + n - 1);
    for (auto it = events.end() - n; it != events.end(); ++it)
        m_events.push_back(std::move(*it));
    endInsertRows();
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
        return codec::isoTimestamp(e.utcMs);
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

QVariant EventLog::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= size())
        return {};
    const Event &e = at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return cell(e, index.column());
    case Qt::ToolTipRole:
        return e.detail.isEmpty() ? QVariant() : QVariant(e.detail);
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
            return cell(e, index.column());
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

QByteArray EventLog::csv(const QList<int> &rows) const
{
    const auto line = [](const QStringList &fields) {
        QByteArray out;
        for (const QString &f : fields) {
            if (!out.isEmpty())
                out += ',';
            out += session::csvField(f);
        }
        return out + "\r\n";
    };
    QStringList header;
    for (int c = 0; c < ColumnCount; ++c)
        header << headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    QByteArray out = line(header);
    for (int row : rows) {
        QStringList fields;
        for (int c = 0; c < ColumnCount; ++c)
            fields << cell(at(row), c);
        out += line(fields);
    }
    return out;
}

QString EventLog::text(const QList<int> &rows) const
{
    QString out;
    for (int row : rows) {
        QStringList fields;
        for (int c = 0; c < ColumnCount; ++c)
            fields << cell(at(row), c);
        out += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return out;
}

void EventFilter::setPort(int port)
{
    m_port = port;
    invalidateFilter();
}

void EventFilter::setKind(std::optional<EventKind> kind)
{
    m_kind = kind;
    invalidateFilter();
}

bool EventFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    const auto *log = static_cast<const EventLog *>(sourceModel());
    const Event &e = log->at(sourceRow);
    return (m_port == 0 || e.port == m_port) && (!m_kind || e.kind == *m_kind);
}

} // namespace vantor::views
