// SPDX-License-Identifier: MIT
#pragma once

#include <QLineEdit>

class QComboBox;
class QMenu;

namespace vantor::window {

// The keystroke rule of every numeric field: decimal digits, backspace (8) and 127 pass,
// every other character is discarded before it reaches the field.
[[nodiscard]] constexpr bool passesKeyFilter(char16_t c)
{
    return (c >= u'0' && c <= u'9') || c == 8 || c == 127;
}

// A text entry that takes unsigned decimal digits from the keyboard, at most typedLimit of
// them. The limit binds typing and pasting only: a text the program sets is shown whole,
// because the board may report more digits than the field lets the operator type.
// The clipboard and undo shortcuts that would change the text are refused; copy and
// select-all keep working.
class NumericEntry : public QLineEdit
{
    Q_OBJECT
public:
    explicit NumericEntry(int typedLimit, QWidget *parent = nullptr);

    [[nodiscard]] int typedLimit() const { return m_typedLimit; }

    // Inserts the digits of text in place of the selection, cut to the room the limit leaves.
    void insertDigits(const QString &text);
    // The pointer menu; its paste goes through insertDigits. The caller owns the menu.
    [[nodiscard]] QMenu *createEntryContextMenu();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    [[nodiscard]] int room() const;
    void pasteDigits();

    int m_typedLimit;
};

// Applies the keystroke rule to what is typed into a drop-down list (its keyboard search).
void installKeyFilter(QComboBox *box);

} // namespace vantor::window
