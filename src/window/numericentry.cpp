// SPDX-License-Identifier: MIT
#include "numericentry.h"

#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>

namespace vantor::window {

namespace {

bool allPass(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(),
                       [](QChar c) { return passesKeyFilter(c.unicode()); });
}

QString digitsOf(const QString &text)
{
    QString digits;
    for (QChar c : text) {
        if (c >= u'0' && c <= u'9')
            digits += c;
    }
    return digits;
}

// Clipboard and undo shortcuts arrive as control characters, which the rule discards; some
// (Shift+Insert) carry no character at all, so they are matched by their key sequence.
bool isEditShortcut(const QKeyEvent *event)
{
    static constexpr QKeySequence::StandardKey kKeys[] = {
        QKeySequence::Paste, QKeySequence::Cut,  QKeySequence::Copy,
        QKeySequence::Undo,  QKeySequence::Redo,
    };
    return std::any_of(std::begin(kKeys), std::end(kKeys),
                       [event](QKeySequence::StandardKey key) { return event->matches(key); });
}

class ListKeyFilter final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (isEditShortcut(key) || !allPass(key->text()))
                return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

NumericEntry::NumericEntry(int typedLimit, QWidget *parent)
    : QLineEdit(parent)
    , m_typedLimit(typedLimit)
{
    // Dropped text would bypass the rule.
    setAcceptDrops(false);
}

int NumericEntry::room() const
{
    return m_typedLimit - static_cast<int>(text().size() - selectedText().size());
}

void NumericEntry::insertDigits(const QString &text)
{
    const QString digits = digitsOf(text).left(std::max(room(), 0));
    if (!digits.isEmpty())
        insert(digits);
}

void NumericEntry::keyPressEvent(QKeyEvent *event)
{
    // Copying and selecting change nothing in the field, so the rule leaves them working.
    if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::SelectAll)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (isEditShortcut(event)) {
        event->accept();
        return;
    }
    const QString typed = event->text();
    if (typed.isEmpty()) {
        // Arrows, Delete, Home, End: no character, so the rule does not apply.
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (!allPass(typed)) {
        event->accept();
        return;
    }
    const bool insertsDigits = typed.front() != QChar(8) && typed.front() != QChar(127);
    if (insertsDigits && typed.size() > room()) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void NumericEntry::inputMethodEvent(QInputMethodEvent *event)
{
    const QString digits = digitsOf(event->commitString()).left(std::max(room(), 0));
    QInputMethodEvent filtered;
    filtered.setCommitString(digits);
    QLineEdit::inputMethodEvent(&filtered);
    event->accept();
}

void NumericEntry::pasteDigits()
{
    if (!isReadOnly())
        insertDigits(QGuiApplication::clipboard()->text());
}

QMenu *NumericEntry::createEntryContextMenu()
{
    // Our own menu rather than the stock one, whose paste would insert the clipboard unfiltered.
    auto *menu = new QMenu(this);
    const bool editable = !isReadOnly();
    const bool selected = hasSelectedText();

    QAction *undoAction = menu->addAction(tr("Undo"), this, &QLineEdit::undo);
    undoAction->setEnabled(editable && isUndoAvailable());
    QAction *redoAction = menu->addAction(tr("Redo"), this, &QLineEdit::redo);
    redoAction->setEnabled(editable && isRedoAvailable());
    menu->addSeparator();
    QAction *cutAction = menu->addAction(tr("Cut"), this, &QLineEdit::cut);
    cutAction->setEnabled(editable && selected && echoMode() == Normal);
    QAction *copyAction = menu->addAction(tr("Copy"), this, &QLineEdit::copy);
    copyAction->setEnabled(selected && echoMode() == Normal);
    QAction *pasteAction = menu->addAction(tr("Paste"), this, &NumericEntry::pasteDigits);
    pasteAction->setObjectName(QStringLiteral("edit-paste"));
    pasteAction->setEnabled(editable && !digitsOf(QGuiApplication::clipboard()->text()).isEmpty());
    QAction *deleteAction = menu->addAction(tr("Delete"), this, &QLineEdit::del);
    deleteAction->setEnabled(editable && selected);
    menu->addSeparator();
    QAction *selectAction = menu->addAction(tr("Select All"), this, &QLineEdit::selectAll);
    selectAction->setEnabled(!text().isEmpty());
    return menu;
}

void NumericEntry::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createEntryContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void installKeyFilter(QComboBox *box)
{
    box->installEventFilter(new ListKeyFilter(box));
}

} // namespace vantor::window
