// SPDX-License-Identifier: MIT
#include "keyboard.h"

#include "controls.h"
#include "layout.h"
#include "numericentry.h"

#include <frames/commands.h>

#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>

#include <algorithm>

namespace vantor::window {

namespace {

constexpr int kColumns = protocol::kPortsPerGroup;

void clickOnKeys(QWidget &window, const QKeySequence &keys, QPushButton *button)
{
    auto *shortcut = new QShortcut(keys, &window);
    shortcut->setObjectName(button->objectName() + QStringLiteral("_Shortcut"));
    QObject::connect(shortcut, &QShortcut::activated, button, [button] {
        if (button->isEnabled() && button->isVisible())
            button->click();
    });
    QString caption = button->text();
    caption.remove(u'&');
    button->setToolTip(
        QStringLiteral("%1 (%2)").arg(caption, keys.toString(QKeySequence::NativeText)));
}

// A click on the caption label of a check box that shows only its box toggles the box.
class CaptionClick final : public QObject
{
public:
    CaptionClick(QLabel *caption, QCheckBox *box)
        : QObject(caption)
        , m_box(box)
    {
        caption->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::MouseButtonRelease)
            return QObject::eventFilter(watched, event);
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const auto *caption = static_cast<QWidget *>(watched);
        if (mouse->button() == Qt::LeftButton
            && caption->rect().contains(mouse->position().toPoint()) && m_box->isEnabled()) {
            m_box->setFocus(Qt::MouseFocusReason);
            m_box->click();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QCheckBox *m_box;
};

void captionOfBox(QLabel *caption, QCheckBox *box)
{
    caption->setText(QLatin1Char('&') + caption->text());
    caption->setBuddy(box);
    new CaptionClick(caption, box);
}

void orderFocus(MainControls &c)
{
    QList<QWidget *> chain { c.COMMON_CTRL_7, c.PD_R_HIGH,   c.PD_R_LOW,    c.Interval_Update,
                             c.Update_All,    c.TX_SYS_CTRL, c.Port_Control };
    std::vector<const layout::PortCheckRow *> rows;
    for (const layout::PortCheckRow &row : layout::kPortChecks) {
        if (row.show == layout::Show::Shown)
            rows.push_back(&row);
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto *a, const auto *b) { return a->place.top < b->place.top; });
    // Page by page; the pages not shown are skipped by Qt itself.
    for (int first = 0; first < kElementCount; first += kColumns) {
        for (const layout::PortCheckRow *row : rows) {
            for (int e = first; e < first + kColumns; ++e)
                chain << row->array(c)[e];
        }
    }
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

} // namespace

void setUpKeyboard(QWidget &window, MainControls &c)
{
    clickOnKeys(window, QKeySequence(Qt::Key_F5), c.Update_All);
    clickOnKeys(window, QKeySequence::Save, c.TX_SYS_CTRL);
    captionOfBox(c.Label1[52], c.COMMON_CTRL_7);
    c.Label1[39]->setBuddy(c.PD_R_HIGH);
    c.Label1[41]->setBuddy(c.PD_R_LOW);
    orderFocus(c);
}

} // namespace vantor::window
