// SPDX-License-Identifier: MIT
#pragma once

// What happened to the ports and the link, from start-up on: one entry for each change of a
// port's mode, fault, class or Port Enable (the first answer for a port gives its initial
// state), and for each link event. The switching between current and voltage sampling of a
// powered port is not a change. The oldest entries make room once the log is full.

#include <codec/settingtable.h>
#include <records/portchanges.h>

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace vantor::session {
class Session;
struct DecodedAnswer;
} // namespace vantor::session

namespace vantor::views {

enum class EventKind : std::uint8_t {
    Mode,
    Fault,
    Class,
    PortEnable,
    LinkLost,
    LinkReconnected,
    TimeOut,
    RefusedWrite,
    Implausible,
};

inline constexpr std::array<std::string_view, 9> kEventKindNames {
    "Mode",        "Fault",         "Class",
    "Port Enable", "Link lost",     "Link reconnected",
    "Time-out",    "Refused write", "Implausible answer",
};

[[nodiscard]] QString eventKindName(EventKind kind);

struct Event
{
    qint64 utcMs = 0;
    EventKind kind = EventKind::Mode;
    int group = -1; // -1: not about a port
    int port = 0;   // 1..48; 0: not about a port
    QString from;   // empty for a port's initial state
    QString to;
    QString detail; // the hover text of a fault or mode, or why the link event happened
};

class EventLog : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Time, Group, Port, Kind, From, To, Detail, ColumnCount };
    static constexpr int kCapacity = 100'000;
    // Rows a sort/filter proxy has to remap are dropped in batches, not one by one.
    static constexpr int kDropBatch = 1'000;
    // Role for sorting: times and numbers as numbers.
    static constexpr int kSortRole = Qt::UserRole;

    explicit EventLog(int capacity = kCapacity, QObject *parent = nullptr);

    // Listens to the session's answers and link events from now on.
    void follow(session::Session &session);
    // Where link events take their time from (UTC milliseconds); tests set their own.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

    void addAnswer(const session::DecodedAnswer &answer);
    void add(Event event);

    [[nodiscard]] const Event &at(int row) const { return m_events[static_cast<std::size_t>(row)]; }
    [[nodiscard]] int size() const { return static_cast<int>(m_events.size()); }

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

    // The rows as CSV, with a header line.
    [[nodiscard]] QByteArray csv(const QList<int> &rows) const;
    // The rows as tab-separated text, one line a row.
    [[nodiscard]] QString text(const QList<int> &rows) const;

private:
    [[nodiscard]] QString cell(const Event &event, int column) const;
    // Appends the events (the newest capacity of them), dropping the oldest to make room.
    void append(std::span<Event> events);
    void linkEvent(EventKind kind, const QString &to, const QString &detail);

    int m_capacity;
    std::deque<Event> m_events;
    records::PortChangeTracker m_changes;
    std::function<qint64()> m_clock;
};

// Shows the entries of one port and one kind, or all of them.
class EventFilter : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setPort(int port); // 0: every entry
    void setKind(std::optional<EventKind> kind);

protected:
    [[nodiscard]] bool filterAcceptsRow(int sourceRow,
                                        const QModelIndex &sourceParent) const override;

private:
    int m_port = 0;
    std::optional<EventKind> m_kind;
};

} // namespace vantor::views
