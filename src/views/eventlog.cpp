// SPDX-License-Identifier: MIT
#include "eventlog.h"

#include <codec/statustext.h>
#include <codec/tabletext.h>
#include <records/recordformat.h>
#include <session/session.h>

#include <QDateTime>

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
