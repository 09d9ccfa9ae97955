// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QMainWindow;
class QMenu;

namespace vantor::window {

// The menus after "Serial Link Setup": File (Quit, Ctrl+Q) and Help (the status and LED
// legend, About). Further menus go between the two:
// menuBar()->insertMenu(help->menuAction(), menu).
struct PanelMenus
{
    QMenu *file = nullptr;
    QMenu *help = nullptr;
};

PanelMenus addPanelMenus(QMainWindow &window);

// The About text: the panel's name, the application's version and its licence.
[[nodiscard]] QString aboutText();

} // namespace vantor::window
