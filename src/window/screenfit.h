// SPDX-License-Identifier: MIT
#pragma once

#include <QSize>

class QMainWindow;
class QWidget;

namespace vantor::window {

// Puts the window's content, contentSize pixels as designed, into a scroll area: at the
// designed size it shows whole without scroll bars, and a smaller window (a small screen, a
// scale factor, a large font DPI) scrolls instead of cutting it off. A control that takes
// the focus is scrolled into view.
void scrollContent(QMainWindow &window, QSize contentSize);

// Shrinks a window that is larger than the free area of its screen to fit it, and moves it
// onto that area.
void keepOnScreen(QWidget &window);

} // namespace vantor::window
