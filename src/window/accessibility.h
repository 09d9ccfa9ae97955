// SPDX-License-Identifier: MIT
#pragma once

namespace vantor::window {

struct MainControls;

// What assistive technology hears. A value label's accessible name is its current text, so
// that every value written into it is announced (QLabel raises the name change itself); its
// description tells what the value is: "Port 1 Port Current (mA)", followed for the fault and
// mode labels by their hover text. Lit LEDs are named by colour; per-port boxes keep their
// row captions as names and are described by their port.
void describeForAccessibility(MainControls &c);

} // namespace vantor::window
