// SPDX-License-Identifier: MIT
#pragma once

class QWidget;

namespace vantor::window {

struct MainControls;

// How the designed window is reached from the keyboard: F5 loads from the device and Ctrl+S
// saves to it (as their buttons do, while they are enabled); the caption label beside a
// box-only check box carries the box's mnemonic and toggles it when clicked; the entries'
// captions label them; and Tab follows the reading order: the system setup, the device
// settings, the tab headers, then the port boxes of the shown page row by row.
void setUpKeyboard(QWidget &window, MainControls &c);

} // namespace vantor::window
