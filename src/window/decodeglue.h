// SPDX-License-Identifier: MIT
#pragma once

namespace vantor::session {
struct DecodedAnswer;
}

namespace vantor::window {

struct MainControls;

// Shows one answer in the window's status displays: for a whole read the versions, then for
// both reads the port serviced, the total power and each port of the group in the designed
// order (powered order, LEDs, scaled readings, class, fault and mode). The settings, "Pause
// Brellik" and the paused-fault boxes are already in the controls: the session keeps them.
// group: where the window shows the answer (the group captured when the last transaction ended).
void showAnswer(MainControls &controls, const session::DecodedAnswer &answer, int group);

} // namespace vantor::window
