// SPDX-License-Identifier: MIT
#include <window/numericentry.h>

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QMenu>
#include <QTest>

using vantor::window::NumericEntry;

class NumericEntryTest : public QObject
{
    Q_OBJECT

private slots:
    void typing_data();
    void typing();
    void keysWithoutCharacterStillWork();
    void editShortcutsInsertNothing_data();
    void editShortcutsInsertNothing();
    void copyAndSelectAllWork();
    void contextMenuPasteIsSafe_data();
    void contextMenuPasteIsSafe();
    void inputMethodCommitsDigitsOnly();
    void listKeys_data();
    void listKeys();
};

void NumericEntryTest::typing_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("selected"); // characters selected from the start
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("after");

    const auto row = [](const char *name, int limit, const char *before, int selected,
                        const char *keys, const char *after) {
        QTest::newRow(name) << limit << QString::fromLatin1(before) << selected
                            << QString::fromLatin1(keys) << QString::fromLatin1(after);
    };
    row("decimal point discarded", 3, "", 0, "1.5", "15");
    row("sign discarded", 2, "", 0, "-5", "5");
    row("third digit into a two-digit field", 2, "", 0, "123", "12");
    row("letters, blanks, exponent, plus", 5, "", 0, "a1 b2e3+", "123");
    row("enter and escape discarded", 3, "", 0,
        "1\r\x1b"
        "2",
        "12");
    row("backspace removes the character before the cursor", 3, "", 0, "12\b3", "13");
    row("backspace frees room in a full field", 2, "99", 0, "\b4", "94");
    row("digit into a full field is not inserted", 5, "26500", 0, "1", "26500");
    // The board may report more digits than the operator may type.
    row("field longer than its limit takes no digit", 2, "200", 0, "5", "200");
    row("but backspace still works there", 2, "200", 0, "\b", "20");
    row("a digit replaces the whole selection", 2, "12", 2, "7", "7");
    row("a digit replaces part of a full field", 2, "34", 1, "5", "54");
}

void NumericEntryTest::typing()
{
    QFETCH(int, limit);
    QFETCH(QString, before);
    QFETCH(int, selected);
    QFETCH(QString, keys);
    QFETCH(QString, after);

    NumericEntry entry(limit);
    entry.setText(before);
    if (selected > 0)
        entry.setSelection(0, selected);
    QTest::keyClicks(&entry, keys);
    QCOMPARE(entry.text(), after);
}

void NumericEntryTest::keysWithoutCharacterStillWork()
{
    NumericEntry entry(3);
    entry.setText(QStringLiteral("13"));
    QTest::keyClick(&entry, Qt::Key_Left);
    QTest::keyClicks(&entry, QStringLiteral("2"));
    QCOMPARE(entry.text(), QStringLiteral("123"));
    QTest::keyClick(&entry, Qt::Key_Home);
    QTest::keyClick(&entry, Qt::Key_Delete);
    QCOMPARE(entry.text(), QStringLiteral("23"));
    QTest::keyClick(&entry, Qt::Key_End);
    QTest::keyClicks(&entry, QStringLiteral("9"));
    QCOMPARE(entry.text(), QStringLiteral("239"));
}

void NumericEntryTest::editShortcutsInsertNothing_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");

    QTest::newRow("Ctrl+V") << int(Qt::Key_V) << int(Qt::ControlModifier);
    QTest::newRow("Shift+Insert") << int(Qt::Key_Insert) << int(Qt::ShiftModifier);
    QTest::newRow("Ctrl+X") << int(Qt::Key_X) << int(Qt::ControlModifier);
    QTest::newRow("Ctrl+Z") << int(Qt::Key_Z) << int(Qt::ControlModifier);
}

void NumericEntryTest::editShortcutsInsertNothing()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);

    QGuiApplication::clipboard()->setText(QStringLiteral("45"));
    NumericEntry entry(5);
    entry.setText(QStringLiteral("1"));
    QTest::keyClicks(&entry, QStringLiteral("2"));
    entry.selectAll();
    QTest::keyClick(&entry, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(entry.text(), QStringLiteral("12"));
}

// They change nothing in the field, so the rule lets them through.
void NumericEntryTest::copyAndSelectAllWork()
{
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    NumericEntry entry(5);
    entry.setText(QStringLiteral("26500"));
    entry.setCursorPosition(2);
    QTest::keySequence(&entry, QKeySequence::SelectAll);
    QCOMPARE(entry.selectedText(), QStringLiteral("26500"));
    QTest::keySequence(&entry, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("26500"));
    QCOMPARE(entry.text(), QStringLiteral("26500"));
}

void NumericEntryTest::contextMenuPasteIsSafe_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("selectAll");
    QTest::addColumn<QString>("after");

    QTest::newRow("only the digits arrive") << "4a5-6.0" << 5 << "" << false << "4560";
    QTest::newRow("cut to the limit") << "123456" << 3 << "" << false << "123";
    QTest::newRow("cut to the room left") << "789" << 5 << "12" << false << "12789";
    QTest::newRow("nothing into a full field") << "99" << 2 << "12" << false << "12";
    QTest::newRow("replaces the selection") << "7" << 2 << "12" << true << "7";
    QTest::newRow("no digits, nothing") << "abc" << 3 << "1" << false << "1";
}

void NumericEntryTest::contextMenuPasteIsSafe()
{
    QFETCH(QString, clipboard);
    QFETCH(int, limit);
    QFETCH(QString, before);
    QFETCH(bool, selectAll);
    QFETCH(QString, after);

    QGuiApplication::clipboard()->setText(clipboard);
    NumericEntry entry(limit);
    entry.setText(before);
    if (selectAll)
        entry.selectAll();
    std::unique_ptr<QMenu> menu(entry.createEntryContextMenu());
    auto *paste = menu->findChild<QAction *>(QStringLiteral("edit-paste"));
    QVERIFY2(paste, "the entry's menu offers paste");
    paste->trigger();
    QCOMPARE(entry.text(), after);
}

void NumericEntryTest::inputMethodCommitsDigitsOnly()
{
    NumericEntry entry(3);
    QInputMethodEvent event;
    event.setCommitString(QStringLiteral("1a2-34"));
    QCoreApplication::sendEvent(&entry, &event);
    QCOMPARE(entry.text(), QStringLiteral("123"));
}

void NumericEntryTest::listKeys_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("after");

    QTest::newRow("a digit searches the list") << "1" << 0 << "16";
    QTest::newRow("letters discarded") << "x" << 0 << "8";
    QTest::newRow("blank discarded") << " " << 0 << "8";
    QTest::newRow("arrow keys still move") << "" << int(Qt::Key_Down) << "16";
}

void NumericEntryTest::listKeys()
{
    QFETCH(QString, keys);
    QFETCH(int, key);
    QFETCH(QString, after);

    QComboBox list;
    list.addItems({ "8", "16", "24", "32", "40", "48" });
    vantor::window::installKeyFilter(&list);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    if (!keys.isEmpty())
        QTest::keyClicks(&list, keys);
    if (key)
        QTest::keyClick(&list, Qt::Key(key));
    QCOMPARE(list.currentText(), after);
}

QTEST_MAIN(NumericEntryTest)
#include "test_numericentry.moc"
