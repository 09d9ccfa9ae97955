// SPDX-License-Identifier: MIT
#include "eventlogwindow.h"

#include "eventlog.h"
#include "logging.h"
#include "plaincells.h"

#include <records/savefile.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace vantor::views {

EventLogWindow::EventLogWindow(EventLog &log, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_log(log)
{
    setObjectName(QStringLiteral("EventLogWindow"));
    setWindowTitle(tr("Event Log"));
    setAttribute(Qt::WA_QuitOnClose, false);

    m_filter = new EventFilter(this);
    m_filter->setSourceModel(&log);
    m_filter->setSortRole(EventLog::kSortRole);

    m_port = new QComboBox(this);
    m_port->setObjectName(QStringLiteral("EventPortFilter"));
    m_port->addItem(tr("All ports"), 0);
    for (int port = 1; port <= codec::kMaxPortCount; ++port)
        m_port->addItem(tr("Port %1").arg(port), port);
    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("EventKindFilter"));
    m_kind->addItem(tr("All kinds"), -1);
    for (std::size_t k = 0; k < kEventKindNames.size(); ++k)
        m_kind->addItem(eventKindName(static_cast<EventKind>(k)), static_cast<int>(k));
    connect(m_port, &QComboBox::currentIndexChanged, this,
            [this] { m_filter->setPort(m_port->currentData().toInt()); });
    connect(m_kind, &QComboBox::currentIndexChanged, this, [this] {
        const int k = m_kind->currentData().toInt();
        m_filter->setKind(k < 0 ? std::nullopt : std::optional(static_cast<EventKind>(k)));
    });

    auto *copy = new QPushButton(tr("&Copy"), this);
    auto *save = new QPushButton(tr("&Save as CSV..."), this);
    connect(copy, &QPushButton::clicked, this, &EventLogWindow::copySelection);
    connect(save, &QPushButton::clicked, this, &EventLogWindow::askAndSave);

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("EventTable"));
    m_table->setModel(m_filter);
    m_table->setItemDelegate(new PlainCells(m_table));
    m_table->setSortingEnabled(true);
    // Newest first: new entries appear at the top without scrolling the view.
    m_table->sortByColumn(EventLog::Time, Qt::DescendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->setVisible(false);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    const int digit = m_table->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const std::array<int, EventLog::ColumnCount - 1> widths { 26, 6, 5, 16, 13, 13 };
    for (std::size_t c = 0; c < widths.size(); ++c)
        m_table->setColumnWidth(static_cast<int>(c), widths[c] * digit);
    auto *copyAction = new QAction(m_table);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);
    connect(copyAction, &QAction::triggered, this, &EventLogWindow::copySelection);
    m_table->addAction(copyAction);

    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(tr("Show:"), this));
    bar->addWidget(m_port);
    bar->addWidget(m_kind);
    bar->addStretch(1);
    bar->addWidget(copy);
    bar->addWidget(save);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_table, 1);
    resize(110 * digit, 40 * (m_table->fontMetrics().height() + 4));
}

QList<int> EventLogWindow::sourceRows(const QModelIndexList &proxyRows) const
{
    QList<QModelIndex> sorted = proxyRows;
    std::sort(sorted.begin(), sorted.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QList<int> rows;
    for (const QModelIndex &index : sorted)
        rows << m_filter->mapToSource(index).row();
    return rows;
}

void EventLogWindow::copySelection()
{
    const QList<int> rows = sourceRows(m_table->selectionModel()->selectedRows());
    if (!rows.isEmpty())
        QApplication::clipboard()->setText(m_log.text(rows));
}

bool EventLogWindow::saveCsv(const QString &path)
{
    QModelIndexList shown;
    for (int row = 0; row < m_filter->rowCount(); ++row)
        shown << m_filter->index(row, 0);
    QString error;
    if (!records::saveWhole(path, m_log.csv(sourceRows(shown)), error)) {
        const QString message = tr("Event log not saved: %1").arg(error);
        qCWarning(lcViews).noquote() << message;
        emit reported(message, false);
        return false;
    }
    emit reported(tr("Event log saved to %1 (%2 entries)").arg(path).arg(shown.size()), true);
    return true;
}

void EventLogWindow::askAndSave()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save Event Log"), QString(),
                                                      tr("CSV files (*.csv);;All files (*)"));
    if (!path.isEmpty())
        saveCsv(path);
}

} // namespace vantor::views
