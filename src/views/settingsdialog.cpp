// SPDX-License-Identifier: MIT
#include "settingsdialog.h"

#include <codec/settingsstore.h>
#include <codec/tabletext.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

namespace vantor::views {

using codec::Kind;
using codec::Scope;
using codec::Setting;
using codec::SettingRow;

namespace {

// Choices and flags show their own values; only numbers need their range said.
QString shownRange(const SettingRow &row)
{
    return row.kind == Kind::Number ? codec::rangeText(row) : QString();
}

QString noteText(const SettingRow &row)
{
    switch (row.access) {
    case codec::Access::OneShot:
        return QObject::tr("acts once, with the next write");
    case codec::Access::WriteOnly:
        return QObject::tr("written, never read back");
    case codec::Access::ReadBack:
        break;
    }
    return {};
}

QString nameOf(const SettingRow &row, int element)
{
    const QString caption = codec::tableText(row.caption);
    return row.scope == Scope::Port ? QObject::tr("%1 of Port %2").arg(caption).arg(element + 1)
                                    : caption;
}

QWidget *scrolled(QWidget *page)
{
    auto *area = new QScrollArea;
    area->setWidget(page);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    return area;
}

} // namespace

AllSettingsDialog::AllSettingsDialog(codec::SettingsStore &store, int groupCount, QWidget *parent)
    : QDialog(parent)
    , m_store(store)
{
    setObjectName(QStringLiteral("AllSettingsDialog"));
    setWindowTitle(tr("All Settings"));
    m_pages = new QTabWidget(this);

    auto *system = new QWidget;
    auto *systemGrid = new QGridLayout(system);
    int line = 0;
    for (const SettingRow &row : codec::settingRows(Scope::System)) {
        systemGrid->addWidget(new QLabel(codec::tableText(row.caption), system), line, 0);
        systemGrid->addWidget(makeEditor(row, 0, system, 0), line, 1);
        const QString range = shownRange(row);
        const QString note = noteText(row);
        systemGrid->addWidget(
            new QLabel(range.isEmpty() || note.isEmpty() ? range + note : range + "; " + note,
                       system),
            line, 2);
        ++line;
    }
    systemGrid->setColumnStretch(2, 1);
    systemGrid->setRowStretch(line, 1);
    m_pages->addTab(scrolled(system), tr("System"));

    for (int g = 0; g < std::clamp(groupCount, 1, codec::kMaxPortCount / codec::kPortsPerGroup);
         ++g) {
        const int page = m_pages->count();
        auto *ports = new QWidget;
        auto *grid = new QGridLayout(ports);
        for (int p = 0; p < codec::kPortsPerGroup; ++p) {
            auto *head = new QLabel(tr("Port %1").arg(g * codec::kPortsPerGroup + p + 1), ports);
            head->setAlignment(Qt::AlignCenter);
            grid->addWidget(head, 0, p + 1);
        }
        line = 1;
        for (const SettingRow &row : codec::settingRows(Scope::Port)) {
            grid->addWidget(new QLabel(codec::tableText(row.caption), ports), line, 0);
            for (int p = 0; p < codec::kPortsPerGroup; ++p)
                grid->addWidget(makeEditor(row, g * codec::kPortsPerGroup + p, ports, page), line,
                                p + 1, Qt::AlignCenter);
            const QString range = shownRange(row);
            const QString note = row.setting == Setting::FAULT_PAUSED
                ? tr("a mark can only be cleared")
                : noteText(row);
            grid->addWidget(
                new QLabel(range.isEmpty() || note.isEmpty() ? range + note : range + "; " + note,
                           ports),
                line, codec::kPortsPerGroup + 1);
            ++line;
        }
        grid->setColumnStretch(codec::kPortsPerGroup + 1, 1);
        grid->setRowStretch(line, 1);
        m_pages->addTab(scrolled(ports),
                        tr("Ports %1-%2")
                            .arg(g * codec::kPortsPerGroup + 1)
                            .arg((g + 1) * codec::kPortsPerGroup));
    }

    m_refusal = new QLabel(this);
    m_refusal->setObjectName(QStringLiteral("SettingsRefusal"));
    m_refusal->setWordWrap(true);
    m_refusal->setStyleSheet(QStringLiteral("color: #b00000"));
    auto *note = new QLabel(tr("OK puts the values into the window; \"Save to Device\" sends "
                               "them. Settings the window greys out can be changed here."),
                            this);
    note->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &AllSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AllSettingsDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pages, 1);
    layout->addWidget(note);
    layout->addWidget(m_refusal);
    layout->addWidget(buttons);
    resize(980, 640);
}

QWidget *AllSettingsDialog::makeEditor(const SettingRow &row, int element, QWidget *parent,
                                       int page)
{
    const codec::StoredValue stored = m_store.value(row.setting, element);
    Editor e { &row, element, nullptr, stored.value, stored.ok(), page };
    switch (row.kind) {
    case Kind::Flag: {
        auto *box = new QCheckBox(parent);
        box->setChecked(e.known && e.original != 0);
        e.widget = box;
        break;
    }
    case Kind::Choice: {
        auto *list = new QComboBox(parent);
        for (std::string_view choice : row.choices)
            list->addItem(codec::tableText(choice));
        list->setCurrentIndex(e.known ? e.original : -1);
        e.widget = list;
        break;
    }
    case Kind::Number: {
        auto *entry = new QLineEdit(parent);
        entry->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,7}")), entry));
        entry->setText(e.known ? QString::number(e.original) : QString());
        entry->setMaximumWidth(entry->fontMetrics().horizontalAdvance(QStringLiteral("0000000"))
                               + 12);
        e.widget = entry;
        break;
    }
    }
    e.widget->setObjectName(
        row.scope == Scope::Port
            ? QStringLiteral("%1_%2").arg(codec::tableText(row.name)).arg(element)
            : codec::tableText(row.name));
    e.widget->setAccessibleName(nameOf(row, element));
    e.widget->setToolTip(nameOf(row, element));
    // Every setting the board takes, those the window greys out too. A paused-fault mark the
    // board reported may be cleared, none set; the one-shot actions stay as the window has them.
    bool editable = true;
    if (row.setting == Setting::FAULT_PAUSED)
        editable = e.known && e.original == 1;
    else if (row.access == codec::Access::OneShot)
        editable = row.designEnabled && m_store.isEnabled(row.setting, element);
    e.widget->setEnabled(editable);
    m_editors.push_back(e);
    return e.widget;
}

std::optional<int> AllSettingsDialog::read(const Editor &e, QString &error) const
{
    const QString name = nameOf(*e.row, e.element);
    if (auto *box = qobject_cast<QCheckBox *>(e.widget))
        return box->isChecked() ? 1 : 0;
    if (auto *list = qobject_cast<QComboBox *>(e.widget)) {
        if (list->currentIndex() < 0) {
            error = tr("%1: nothing is chosen").arg(name);
            return std::nullopt;
        }
        return list->currentIndex();
    }
    const QString text = static_cast<QLineEdit *>(e.widget)->text().trimmed();
    bool ok = false;
    const int value = text.toInt(&ok);
    if (text.isEmpty()) {
        error = tr("%1 is empty").arg(name);
        return std::nullopt;
    }
    if (!ok || !codec::inRange(*e.row, value)) {
        error = tr("%1 must be %2").arg(name, shownRange(*e.row));
        return std::nullopt;
    }
    return value;
}

bool AllSettingsDialog::apply()
{
    std::vector<std::pair<const Editor *, int>> changes;
    for (const Editor &e : m_editors) {
        if (!e.widget->isEnabled())
            continue;
        QString error;
        const std::optional<int> value = read(e, error);
        if (!value) {
            m_refusal->setText(error);
            m_pages->setCurrentIndex(e.page);
            e.widget->setFocus();
            return false;
        }
        if (!e.known || *value != e.original)
            changes.emplace_back(&e, *value);
    }
    for (const auto &[e, value] : changes)
        m_store.setValue(e->row->setting, e->element, value);
    m_refusal->clear();
    return true;
}

QString AllSettingsDialog::refusal() const
{
    return m_refusal->text();
}

QWidget *AllSettingsDialog::editor(Setting setting, int element) const
{
    for (const Editor &e : m_editors) {
        if (e.row->setting == setting && e.element == element)
            return e.widget;
    }
    return nullptr;
}

void AllSettingsDialog::accept()
{
    if (apply())
        QDialog::accept();
}

} // namespace vantor::views
