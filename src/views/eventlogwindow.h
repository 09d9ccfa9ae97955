// SPDX-License-Identifier: MIT
#pragma once

#include <QModelIndexList>
#include <QWidget>

class QComboBox;
class QTableView;

namespace vantor::views {

class EventFilter;
class EventLog;

// The event log as a table: newest first, sortable by any column, filtered by port and kind;
// the selected rows copy as text, the shown rows save as CSV.
class EventLogWindow : public QWidget
{
    Q_OBJECT
public:
    explicit EventLogWindow(EventLog &log, QWidget *parent = nullptr);

    [[nodiscard]] EventFilter &filter() { return *m_filter; }
    [[nodiscard]] QTableView &table() { return *m_table; }

    // The selected rows as tab-separated lines, onto the clipboard.
    void copySelection();
    // The rows the filter shows, in the shown order.
    bool saveCsv(const QString &path);

signals:
    // The outcome of saving a file: ok, or why not.
    void reported(const QString &message, bool ok);

private:
    [[nodiscard]] QList<int> sourceRows(const QModelIndexList &proxyRows) const;
    void askAndSave();

    EventLog &m_log;
    EventFilter *m_filter = nullptr;
    QTableView *m_table = nullptr;
    QComboBox *m_port = nullptr;
    QComboBox *m_kind = nullptr;
};

} // namespace vantor::views
