// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QWidget;

namespace vantor::window {

// "Network Board...": asks for a board behind a network server, its kind (raw TCP as
// ser2net's raw accepter and terminal servers give it, or RFC 2217), host and port. Returns its
// device name (tcp://HOST:PORT or rfc2217://HOST:PORT), or empty when cancelled. `current`
// fills the fields when it is such a name.
[[nodiscard]] QString askNetworkBoard(QWidget *parent, const QString &current);

} // namespace vantor::window
