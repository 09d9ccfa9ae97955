// SPDX-License-Identifier: MIT
#include "registerwindow.h"

#include "plaincells.h"
#include "registermodel.h"

#include <records/records.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace vantor::views {

RegisterWindow::RegisterWindow(RegisterModel &model, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_model(model)
{
    setObjectName(QStringLiteral("RegisterWindow"));
    setWindowTitle(tr("Registers"));
    setAttribute(Qt::WA_QuitOnClose, false);

    m_group = new QComboBox(this);
    m_group->setObjectName(QStringLiteral("RegisterGroup"));
    for (int g = 0; g < protocol::kGroupCount; ++g)
        m_group->addItem(tr("Ports %1-%2")
                             .arg(g * codec::kPortsPerGroup + 1)
                             .arg((g + 1) * codec::kPortsPerGroup));
    m_group->setCurrentIndex(model.group());
    connect(m_group, &QComboBox::currentIndexChanged, &model, &RegisterModel::setGroup);
    m_source = new QLabel(this);
    m_source->setObjectName(QStringLiteral("RegisterSource"));
    auto *copy = new QPushButton(tr("&Copy as Hex"), this);
    connect(copy, &QPushButton::clicked, this, &RegisterWindow::copyHex);

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("RegisterTable"));
    m_table->setModel(&model);
    m_table->setItemDelegate(new PlainCells(m_table));
    m_table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    const QFontMetrics metrics(m_table->font());
    const int cell = metrics.horizontalAdvance(QStringLiteral("00")) + 14;
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->horizontalHeader()->setDefaultSectionSize(cell);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(metrics.height() + 6);
    auto *copyAction = new QAction(m_table);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);
    connect(copyAction, &QAction::triggered, this, &RegisterWindow::copyHex);
    m_table->addAction(copyAction);

    auto *bar = new QHBoxLayout;
    bar->addWidget(m_group);
    bar->addWidget(m_source, 1);
    bar->addWidget(copy);
    auto *hint = new QLabel(
        tr("Rest the pointer on a byte for its fields; marked bytes changed with the last answer."),
        this);
    hint->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_table, 1);
    layout->addWidget(hint);

    connect(&model, &RegisterModel::shownChanged, this, &RegisterWindow::showSource);
    showSource();
    m_table->resizeColumnsToContents();
    const int width = m_table->verticalHeader()->sizeHint().width()
        + RegisterModel::kColumns * m_table->columnWidth(0) + 2 * m_table->frameWidth() + 40;
    const int height = m_table->horizontalHeader()->sizeHint().height()
        + RegisterModel::kRows * m_table->rowHeight(0) + 2 * m_table->frameWidth();
    m_table->setMinimumSize(width - 16, height);
    resize(std::max(width, 560), height + 110);
}

void RegisterWindow::showSource()
{
    const auto &kept = m_model.kept(m_model.group());
    if (!kept) {
        m_source->setText(tr("No answer for this group yet"));
        return;
    }
    const bool whole = protocol::kindOfCode(kept->code) == protocol::RequestKind::WholeRead;
    m_source->setText(tr("%1 (code 0x%2) at %3")
                          .arg(whole ? tr("Whole read") : tr("Port status refresh"))
                          .arg(kept->code, 2, 16, QLatin1Char('0'))
                          .arg(records::isoTimestamp(kept->utcMs)));
}

void RegisterWindow::copyHex()
{
    QList<int> offsets;
    const QModelIndexList selected = m_table->selectionModel()->selectedIndexes();
    for (const QModelIndex &index : selected) {
        const int offset = RegisterModel::offsetOf(index);
        if (offset < RegisterModel::kBytes)
            offsets << offset;
    }
    std::sort(offsets.begin(), offsets.end());
    const QString text = m_model.hexText(offsets);
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

} // namespace vantor::views
