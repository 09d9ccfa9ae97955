// SPDX-License-Identifier: MIT
#pragma once

// What happened to the ports and the link, from start-up on: one entry for each change of a
// port's mode, fault, class or Port Enable (the first answer for a port gives its initial
// state), for each link event, and for the outcome of each "Save to Device", "Send Port
// Control" and settings file opened. The switching between current and voltage sampling of a
// powered port is not a change. The oldest entries make room once the log is full. Repeated
// cycles are shown folded (EventFolder); the entries saved are every one of them.

#include "event.h"
#include "eventfolder.h"

#include <codec/settingtable.h>
#include <records/portchanges.h>
#include <session/request.h>

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <bitset>
#include <deque>
#include <functional>
#include <span>
#include <vector>

namespace vantor::session {
class Session;
struct DecodedAnswer;
} // namespace vantor::session

namespace vantor::views {

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

    // Listens to the session's answers, link events and the operator's writes from now on.
    void follow(session::Session &session);
    // Where link events take their time from (UTC milliseconds); tests set their own.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

    void addAnswer(const session::DecodedAnswer &answer);
    void add(Event event);
    // An entry about no port, stamped now.
    void note(EventKind kind, const QString &to, const QString &detail, int group = -1);

    [[nodiscard]] const EventFolder &folder() const { return m_folder; }

    [[nodiscard]] const Event &at(int row) const { return m_events[static_cast<std::size_t>(row)]; }
    [[nodiscard]] int size() const { return static_cast<int>(m_events.size()); }

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

    // Every entry that the shown rows stand for (a group for all of its entries), oldest first.
    [[nodiscard]] QList<int> entriesBehind(const QList<int> &rows) const;
    // The entries as CSV, with a header line.
    [[nodiscard]] QByteArray csv(const QList<int> &rows) const;
    // The rows as shown, as tab-separated text, one line a row.
    [[nodiscard]] QString text(const QList<int> &rows) const;

private:
    [[nodiscard]] QString cell(const Event &event, int column) const;
    [[nodiscard]] QString shownCell(int row, int column) const;
    [[nodiscard]] QString cycleText(const EventFolder::Group &group) const;
    [[nodiscard]] QString groupText(const EventFolder::Group &group) const;
    [[nodiscard]] QString groupToolTip(const EventFolder::Group &group) const;
    // Appends the events (the newest capacity of them), dropping the oldest to make room.
    void append(std::span<Event> events);
    void dropOldest(int count);
    // The rows whose folding changed, for the filter and the view.
    void announce(std::vector<int> rows);

    // An operation of the operator, told by its outcome once it finishes.
    void follow(EventKind kind, const session::RequestHandle &request, int group);
    // Whether a refusal or a time-out of that kind belongs to an operation not finished yet,
    // whose own entry tells it.
    [[nodiscard]] bool toldByOperation(protocol::RequestKind kind, bool onTheWire) const;

    int m_capacity;
    std::deque<Event> m_events;
    EventFolder m_folder;
    records::PortChangeTracker m_changes;
    std::function<qint64()> m_clock;
    std::vector<session::RequestHandle> m_operations;
};

// Shows the rows of one port or all, of the chosen kinds; the entries folded into a group
// show through its head.
class EventFilter : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    using KindSet = std::bitset<kEventKindCount>;
    [[nodiscard]] static KindSet allKinds() { return KindSet().set(); }

    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setPort(int port); // 0: every entry
    void setKinds(KindSet kinds);
    [[nodiscard]] KindSet kinds() const { return m_kinds; }

protected:
    [[nodiscard]] bool filterAcceptsRow(int sourceRow,
                                        const QModelIndex &sourceParent) const override;

private:
    int m_port = 0;
    KindSet m_kinds = allKinds();
};

} // namespace vantor::views
