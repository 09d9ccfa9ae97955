// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringView>

namespace vantor::codec {

// Text from a file, made safe to echo on a terminal or in the status line: every control
// character (C0, DEL, C1) is written as \u001b style, so an escape sequence in a key cannot
// move the cursor or recolour the terminal, and a message stays on one line.
[[nodiscard]] QString escapeControls(QStringView text);

} // namespace vantor::codec
