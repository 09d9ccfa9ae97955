// SPDX-License-Identifier: MIT

// Reaching the window: shortcuts and mnemonics, the caption label that toggles its box, the
// focus order, the menus and what they open, and a window smaller than its content. Run on
// the offscreen platform's 800 x 800 screen, also scaled by 2 (400 x 400) and at font DPI
// 144 (533 x 533): the window is larger than the screen in at least one direction in each.

#include <panelrig.h>

#include <window/numericentry.h>
#include <window/screenfit.h>

#include <codec/statustext.h>

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBrowser>

using namespace vantor;
using testing::ShownPanel;

namespace {

// Whether widget shows whole: inside every ancestor up to the window, and inside the
// scroll area's viewport.
bool wholeInView(QWidget *widget, QWidget *window)
{
    const QRect own(widget->mapTo(window, QPoint(0, 0)), widget->size());
    for (QWidget *up = widget->parentWidget(); up && up != window; up = up->parentWidget()) {
        const QRect area(up->mapTo(window, QPoint(0, 0)), up->size());
        if (!area.contains(own))
            return false;
    }
    return true;
}

QString names(const QList<QWidget *> &widgets)
{
    QStringList out;
    for (QWidget *w : widgets)
        out << w->objectName();
    return out.join(u' ');
}

} // namespace

class KeyboardTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void focusFollowsReadingOrder();
    void keysPressTheButtons_data();
    void keysPressTheButtons();
    void captionTogglesItsBox();
    void quitClosesTheWindow();
    void helpOpensLegendAndAbout();
    void noBarsAtTheDesignedSize();
    void smallScreenScrolls();

private:
    std::unique_ptr<ShownPanel> m_panel;
};

void KeyboardTest::init()
{
    m_panel = std::make_unique<ShownPanel>();
    QVERIFY(m_panel->exposed());
    m_panel->window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_panel->window.get()));
}

void KeyboardTest::cleanup()
{
    m_panel.reset();
}

// Tab from the first control goes through the system setup, the device settings, the tab
// headers, then the port boxes of the page row by row, and back; every stop shows whole.
void KeyboardTest::focusFollowsReadingOrder()
{
    window::MainControls &c = m_panel->c();
    QWidget *window = m_panel->window.get();
    // A window smaller than its content, so that the stops must be scrolled into view.
    window->resize(420, 300);
    QList<QWidget *> expected { c.COMMON_CTRL_7,         c.PD_R_HIGH,  c.PD_R_LOW,
                                c.Interval_Update,       c.Update_All, c.TX_SYS_CTRL,
                                c.Port_Control->tabBar() };
    for (const auto *row : { &c.PORT_SYS_MGMNT_2, &c.PORT_MODE_BYPS[1], &c.PORT_MODE_BYPS[0] }) {
        for (int e = 0; e < 8; ++e)
            expected << (*row)[e];
    }
    expected << c.COMMON_CTRL_7;

    c.COMMON_CTRL_7->setFocus(Qt::TabFocusReason);
    QList<QWidget *> visited { window->focusWidget() };
    auto *area = window->findChild<QScrollArea *>(QStringLiteral("ContentScroll"));
    QVERIFY(area);
    while (visited.size() < expected.size()) {
        QTest::keyClick(window->focusWidget(), Qt::Key_Tab);
        QWidget *now = window->focusWidget();
        visited << now;
        QVERIFY2(now->isVisible() && wholeInView(now, area->widget()),
                 qPrintable(now->objectName() + QStringLiteral(" is cut")));
        const QRect inViewport(now->mapTo(area->viewport(), QPoint(0, 0)), now->size());
        QVERIFY2(area->viewport()->rect().contains(inViewport) || now->width() > 400,
                 qPrintable(now->objectName() + QStringLiteral(" is scrolled out of view")));
    }
    QVERIFY2(visited == expected, qPrintable(names(visited)));
}

void KeyboardTest::keysPressTheButtons_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("focus"); // where the keys are pressed

    QTest::newRow("F5") << "Update_All" << QKeySequence(Qt::Key_F5) << "Interval_Update";
    QTest::newRow("F5 from an entry") << "Update_All" << QKeySequence(Qt::Key_F5) << "PD_R_LOW";
    QTest::newRow("Ctrl+S") << "TX_SYS_CTRL" << QKeySequence(QKeySequence::Save)
                            << "Interval_Update";
    QTest::newRow("Ctrl+S from an entry")
        << "TX_SYS_CTRL" << QKeySequence(QKeySequence::Save) << "PD_R_HIGH";
    QTest::newRow("Alt+L") << "Update_All" << QKeySequence(Qt::ALT | Qt::Key_L) << "PD_R_HIGH";
    QTest::newRow("Alt+T") << "TX_SYS_CTRL" << QKeySequence(Qt::ALT | Qt::Key_T) << "COMMON_CTRL_7";
    QTest::newRow("Alt+A") << "Interval_Update" << QKeySequence(Qt::ALT | Qt::Key_A) << "PD_R_HIGH";
}

void KeyboardTest::keysPressTheButtons()
{
    QFETCH(QString, control);
    QFETCH(QKeySequence, keys);
    QFETCH(QString, focus);

    auto *button = m_panel->window->findChild<QAbstractButton *>(control);
    auto *start = m_panel->window->findChild<QWidget *>(focus);
    QVERIFY(button && start);
    start->setFocus();
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    QTest::keySequence(start, keys);
    // A mnemonic clicks as the pointer does, after the button has shown itself pressed.
    QTRY_COMPARE(clicked.count(), 1);
}

void KeyboardTest::captionTogglesItsBox()
{
    window::MainControls &c = m_panel->c();
    QLabel *caption = c.Label1[52];
    QCOMPARE(caption->buddy(), c.COMMON_CTRL_7);
    QVERIFY(!c.COMMON_CTRL_7->isChecked());
    QTest::mouseClick(caption, Qt::LeftButton, {}, QPoint(10, 5));
    QVERIFY(c.COMMON_CTRL_7->isChecked());
    QTest::mouseClick(caption, Qt::LeftButton, {}, QPoint(10, 5));
    QVERIFY(!c.COMMON_CTRL_7->isChecked());
    // Its mnemonic reaches the box, as the box's own caption cannot show.
    c.PD_R_HIGH->setFocus();
    QTest::keySequence(c.PD_R_HIGH, QKeySequence(Qt::ALT | Qt::Key_C));
    QCOMPARE(m_panel->window->focusWidget(), c.COMMON_CTRL_7);
    QVERIFY(!c.COMMON_CTRL_7->isChecked());
}

void KeyboardTest::quitClosesTheWindow()
{
    auto *quit = m_panel->window->fileMenu()->findChild<QAction *>(QStringLiteral("Quit"));
    QVERIFY(quit);
    QVERIFY(quit->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Q)));
    for (const QKeySequence &keys : QKeySequence::keyBindings(QKeySequence::Quit))
        QVERIFY(quit->shortcuts().contains(keys));
    QTest::keySequence(m_panel->window.get(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    QTRY_VERIFY(!m_panel->window->isVisible());
}

// Help opens the legend, written from the decoder's own tables, and the version and licence.
void KeyboardTest::helpOpensLegendAndAbout()
{
    window::MainWindow &window = *m_panel->window;
    QCoreApplication::setApplicationVersion(QStringLiteral("7.3"));
    window.helpMenu()->findChild<QAction *>(QStringLiteral("ShowLegend"))->trigger();
    auto *legend = window.findChild<QDialog *>(QStringLiteral("Legend"));
    QVERIFY(legend);
    QTRY_VERIFY(legend->isVisible());
    const QString text = legend->findChild<QTextBrowser *>()->toPlainText();
    for (int code = 0; code < 16; ++code) {
        for (const codec::StatusText &status : { codec::faultText(code), codec::modeText(code) }) {
            QVERIFY2(text.contains(status.caption), qPrintable(QString(status.caption)));
            QVERIFY2(text.contains(status.hover), qPrintable(QString(status.hover)));
        }
    }
    QVERIFY(text.contains(QStringLiteral("6-255")));
    for (int classByte = 0; classByte < 6; ++classByte)
        QVERIFY(text.contains(codec::classCaption(classByte)));
    // Each LED drive code under the name the "LED Output Drive" list gives it.
    for (const char *drive : { "0 (Hi-Z)", "1 (Red)", "2 (Green)", "3 (Err)" })
        QVERIFY2(text.contains(QLatin1String(drive)), drive);

    window.helpMenu()->findChild<QAction *>(QStringLiteral("ShowAbout"))->trigger();
    auto *about = window.findChild<QMessageBox *>(QStringLiteral("About"));
    QVERIFY(about);
    QTRY_VERIFY(about->isVisible());
    QVERIFY(about->text().contains(QStringLiteral("Version 7.3")));
    QVERIFY(about->text().contains(QStringLiteral("MIT licence")));
    about->close();
    legend->close();
}

void KeyboardTest::noBarsAtTheDesignedSize()
{
    auto *area = m_panel->window->findChild<QScrollArea *>(QStringLiteral("ContentScroll"));
    QVERIFY(area);
    QCOMPARE(area->viewport()->size(), area->widget()->size());
    QVERIFY(!area->horizontalScrollBar()->isVisible());
    QVERIFY(!area->verticalScrollBar()->isVisible());
}

// The window is cut down to the screen and scrolls; nothing of the content moves or shrinks.
void KeyboardTest::smallScreenScrolls()
{
    window::MainWindow &window = *m_panel->window;
    auto *area = window.findChild<QScrollArea *>(QStringLiteral("ContentScroll"));
    const QSize content = area->widget()->size();
    const QRect portStrip = m_panel->c().Port_Control->geometry();
    const QRect free = window.screen()->availableGeometry();
    QVERIFY2(window.width() > free.width() || window.height() > free.height(),
             "this test needs a screen smaller than the window");

    window::keepOnScreen(window);
    QTRY_VERIFY(free.contains(window.frameGeometry()));
    QTRY_COMPARE(area->horizontalScrollBar()->isVisible(),
                 content.width() > area->viewport()->width());
    QCOMPARE(area->verticalScrollBar()->isVisible(), content.height() > area->viewport()->height());
    QVERIFY(area->horizontalScrollBar()->isVisible() || area->verticalScrollBar()->isVisible());
    QCOMPARE(area->widget()->size(), content);
    QCOMPARE(m_panel->c().Port_Control->geometry(), portStrip);

    // The last port box of the first page is reached and shown.
    QCheckBox *last = m_panel->c().PORT_MODE_BYPS[0][7];
    last->setFocus(Qt::OtherFocusReason);
    const QRect inViewport(last->mapTo(area->viewport(), QPoint(0, 0)), last->size());
    QVERIFY(area->viewport()->rect().contains(inViewport));
}

QTEST_MAIN(KeyboardTest)
#include "test_keyboard.moc"
