// SPDX-License-Identifier: MIT
#pragma once

// The one address rule of every listener (the simulator's, the share's, the exporter's):
//   PORT          loopback only
//   ADDR:PORT     that address ([v6] in brackets); "localhost" is loopback
//   :PORT         every interface, IPv4 and IPv6

#include <QHostAddress>
#include <QString>

#include <optional>

namespace vantor::serial {

struct ListenAddress
{
    QHostAddress address;
    quint16 port = 0; // 0: any free port
};

[[nodiscard]] std::optional<ListenAddress> parseListenAddress(const QString &text);

} // namespace vantor::serial
