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

// The host to print in a URL for a listener bound to `bound`: the address itself (an IPv6 one
// in brackets), or for every interface one this host is reached by from elsewhere (its first
// non-loopback address that is up, IPv4 first; its name when it has none).
[[nodiscard]] QString urlHost(const QHostAddress &bound);

} // namespace vantor::serial
