// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>

namespace vantor::window {

// The face that stands in for the designed small sans-serif. Its narrow metrics let every
// caption, button, tab header and decoded value fit its designed box at the designed sizes;
// it comes from the fonts-roboto-unhinted package.
inline constexpr auto kPanelFamily = "Roboto Condensed";

// The panel's font at a designed point size. Narrow faces follow as fallbacks, so that a
// machine without the chosen face still gets the closest fit it can.
[[nodiscard]] QFont panelFont(qreal points, bool bold);

} // namespace vantor::window
