// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QWidget;

namespace vantor::window {

// What the port columns show, from the decoder's own tables: which LED each drive code
// lights, and every fault, mode and class caption with its meaning. HTML for a text view.
[[nodiscard]] QString legendHtml();

// Shows the legend in a window of its own beside parent (one at a time, not modal).
void showLegend(QWidget *parent);

} // namespace vantor::window
