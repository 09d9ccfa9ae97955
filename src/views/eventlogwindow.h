// SPDX-License-Identifier: MIT
#pragma once

#include <QModelIndexList>
#include <QWidget>

class QAction;
class QComboBox;
class QLabel;
class QTableView;
class QToolButton;

namespace vantor::views {

class EventFilter;
class EventLog;

// The event log as a table: newest first, sortable by any column, filtered by port and by
// kinds (any number of them), repeated cycles folded into one row; the selected rows copy as
// they are shown, and every entry behind the shown rows saves as CSV.
class EventLogWindow : public QWidget
{
    Q_OBJECT
public:
    explicit EventLogWindow(EventLog &log, QWidget *parent = nullptr);

    [[nodiscard]] EventFilter &filter() { return *m_filter; }
    [[nodiscard]] QTableView &table() { return *m_table; }

    // The selected rows as tab-separated lines, onto the clipboard.
    void copySelection();
    // Every entry behind the rows the filter shows, oldest first.
    bool saveCsv(const QString &path);

    // The kinds' choice: "All kinds" first, then one checkable action a kind, in table order.
    [[nodiscard]] QList<QAction *> kindActions() const;

signals:
    // The outcome of saving a file: ok, or why not.
    void reported(const QString &message, bool ok);

private:
    [[nodiscard]] QList<int> sourceRows(const QModelIndexList &proxyRows) const;
    void askAndSave();
    // One kind's action toggled, or "All kinds" (action null).
    void chooseKinds(QAction *kind);

    EventLog &m_log;
    EventFilter *m_filter = nullptr;
    QTableView *m_table = nullptr;
    QComboBox *m_port = nullptr;
    QToolButton *m_kinds = nullptr;
    QLabel *m_count = nullptr;
    QAction *m_allKinds = nullptr;
};

} // namespace vantor::views
