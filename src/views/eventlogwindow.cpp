// SPDX-License-Identifier: MIT
#include "eventlogwindow.h"

#include "eventlog.h"
#include "logging.h"
#include "plaincells.h"
#include "savepath.h"

#include <records/savefile.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace vantor::views {

namespace {

// Keeps a menu of checkable items open while kinds are clicked on and off.
class StayOpen : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::MouseButtonRelease)
            return false;
        auto *menu = static_cast<QMenu *>(watched);
        QAction *action = menu->actionAt(static_cast<QMouseEvent *>(event)->position().toPoint());
        if (!action || !action->isCheckable() || !action->isEnabled())
            return false;
        action->trigger();
        return true;
    }
};

} // namespace

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
    m_kinds = new QToolButton(this);
    m_kinds->setObjectName(QStringLiteral("EventKindFilter"));
    m_kinds->setPopupMode(QToolButton::InstantPopup);
    m_kinds->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto *kinds = new QMenu(m_kinds);
    kinds->installEventFilter(new StayOpen(kinds));
    m_allKinds = kinds->addAction(tr("All kinds"));
    m_allKinds->setCheckable(true);
    m_allKinds->setChecked(true);
    connect(m_allKinds, &QAction::triggered, this, [this] { chooseKinds(nullptr); });
    kinds->addSeparator();
    for (std::size_t k = 0; k < kEventKindCount; ++k) {
        QAction *kind = kinds->addAction(eventKindName(static_cast<EventKind>(k)));
        kind->setCheckable(true);
        kind->setData(static_cast<int>(k));
        connect(kind, &QAction::triggered, this, [this, kind] { chooseKinds(kind); });
    }
    m_kinds->setMenu(kinds);
    m_kinds->setText(m_allKinds->text());
    connect(m_port, &QComboBox::currentIndexChanged, this,
            [this] { m_filter->setPort(m_port->currentData().toInt()); });

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
    // The detail takes what the others leave, and says the rest in its tooltip.
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    const int digit = m_table->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const std::array<int, EventLog::ColumnCount - 1> widths { 25, 6, 5, 18, 12, 12 };
    for (std::size_t c = 0; c < widths.size(); ++c)
        m_table->setColumnWidth(static_cast<int>(c), widths[c] * digit);
    auto *copyAction = new QAction(m_table);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);
    connect(copyAction, &QAction::triggered, this, &EventLogWindow::copySelection);
    m_table->addAction(copyAction);

    // How many entries the shown rows stand for, folded and filtered.
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("EventCount"));
    const auto count = [this] {
        m_count->setText(
            tr("%1 rows shown, %2 entries in the log").arg(m_filter->rowCount()).arg(m_log.size()));
    };
    for (auto *model :
         { static_cast<QAbstractItemModel *>(m_filter), static_cast<QAbstractItemModel *>(&log) }) {
        connect(model, &QAbstractItemModel::rowsInserted, this, count);
        connect(model, &QAbstractItemModel::rowsRemoved, this, count);
        connect(model, &QAbstractItemModel::modelReset, this, count);
        connect(model, &QAbstractItemModel::layoutChanged, this, count);
    }
    count();

    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(tr("Show:"), this));
    bar->addWidget(m_port);
    bar->addWidget(m_kinds);
    bar->addStretch(1);
    bar->addWidget(m_count);
    bar->addWidget(copy);
    bar->addWidget(save);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_table, 1);
    resize(150 * digit, 40 * (m_table->fontMetrics().height() + 4));
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

QList<QAction *> EventLogWindow::kindActions() const
{
    QList<QAction *> actions;
    for (QAction *action : m_kinds->menu()->actions()) {
        if (!action->isSeparator())
            actions << action;
    }
    return actions;
}

void EventLogWindow::chooseKinds(QAction *kind)
{
    const QList<QAction *> kinds = kindActions().mid(1);
    if (!kind) {
        // "All kinds" cannot be unchosen by itself: choosing a kind does that.
        m_allKinds->setChecked(true);
        for (QAction *k : kinds)
            k->setChecked(false);
    }
    EventFilter::KindSet chosen;
    QStringList names;
    for (QAction *k : kinds) {
        if (k->isChecked()) {
            chosen.set(static_cast<std::size_t>(k->data().toInt()));
            names << k->text();
        }
    }
    // No kind left is all of them again.
    m_allKinds->setChecked(chosen.none());
    m_filter->setKinds(chosen.none() ? EventFilter::allKinds() : chosen);
    if (chosen.none())
        m_kinds->setText(m_allKinds->text());
    else if (names.size() <= 2)
        m_kinds->setText(names.join(QStringLiteral(", ")));
    else
        m_kinds->setText(tr("%n kinds", nullptr, static_cast<int>(names.size())));
    m_kinds->setToolTip(names.join(QLatin1Char('\n')));
}

bool EventLogWindow::saveCsv(const QString &path)
{
    QModelIndexList shown;
    for (int row = 0; row < m_filter->rowCount(); ++row)
        shown << m_filter->index(row, 0);
    const QList<int> entries = m_log.entriesBehind(sourceRows(shown));
    QString error;
    if (!records::saveWhole(path, m_log.csv(entries), error)) {
        const QString message = tr("Event log not saved: %1").arg(error);
        qCWarning(lcViews).noquote() << message;
        emit reported(message, false);
        return false;
    }
    emit reported(tr("Event log saved to %1 (%2 entries)").arg(path).arg(entries.size()), true);
    return true;
}

void EventLogWindow::askAndSave()
{
    const QString path = askSavePath(this, tr("Save Event Log"),
                                     tr("CSV files (*.csv);;All files (*)"), QStringLiteral("csv"));
    if (!path.isEmpty())
        saveCsv(path);
}

} // namespace vantor::views
