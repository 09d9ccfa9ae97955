// SPDX-License-Identifier: MIT
#include "screenfit.h"

#include <QApplication>
#include <QMainWindow>
#include <QScreen>
#include <QScrollArea>

namespace vantor::window {

namespace {

// Room kept around a control scrolled into view.
constexpr int kFocusMargin = 4;

} // namespace

void scrollContent(QMainWindow &window, QSize contentSize)
{
    QWidget *content = window.takeCentralWidget();
    content->setFixedSize(contentSize);
    auto *area = new QScrollArea(&window);
    area->setObjectName(QStringLiteral("ContentScroll"));
    area->setFrameShape(QFrame::NoFrame);
    // The controls take the focus, not the area around them.
    area->setFocusPolicy(Qt::NoFocus);
    area->setWidget(content);
    window.setCentralWidget(area);

    // Tab already scrolls to the control it reaches; mnemonics and clicks do not.
    QObject::connect(qApp, &QApplication::focusChanged, area, [area](QWidget *, QWidget *now) {
        if (now && area->widget()->isAncestorOf(now))
            area->ensureWidgetVisible(now, kFocusMargin, kFocusMargin);
    });
}

void keepOnScreen(QWidget &window)
{
    const QScreen *screen = window.screen();
    if (!screen)
        return;
    const QRect free = screen->availableGeometry();
    const QMargins frame(window.geometry().left() - window.frameGeometry().left(),
                         window.geometry().top() - window.frameGeometry().top(),
                         window.frameGeometry().right() - window.geometry().right(),
                         window.frameGeometry().bottom() - window.geometry().bottom());
    const QSize room = free.size().shrunkBy(frame);
    if (window.width() <= room.width() && window.height() <= room.height())
        return;
    window.resize(window.size().boundedTo(room));
    window.move(free.topLeft());
}

} // namespace vantor::window
