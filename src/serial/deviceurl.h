// SPDX-License-Identifier: MIT
#pragma once

// Device names that are network addresses, the way labs hand out serial devices:
//   tcp://HOST:PORT       the raw byte stream (ser2net's raw accepter, a terminal server)
//   rfc2217://HOST:PORT   telnet with the COM-PORT-OPTION (RFC 2217)
// HOST is a name, an IPv4 address or an IPv6 address in brackets. Anything else is a tty path.

#include <QString>

#include <optional>

namespace vantor::serial {

enum class Transport { Tty, Tcp, Rfc2217 };

struct DeviceUrl
{
    Transport transport = Transport::Tcp;
    QString host; // without brackets
    quint16 port = 0;

    friend bool operator==(const DeviceUrl &, const DeviceUrl &) = default;
};

// The transport a device name asks for: a name with a scheme ("...://") is a network one
// (unknown schemes included, so that they are refused as such rather than looked for in /dev).
[[nodiscard]] Transport transportOf(const QString &device);
[[nodiscard]] bool isNetworkDevice(const QString &device);

// The parts of tcp:// and rfc2217:// names; nullopt (with why in `error`) for anything else.
[[nodiscard]] std::optional<DeviceUrl> parseDeviceUrl(const QString &device,
                                                      QString *error = nullptr);

// "tcp://host:port", with brackets around an IPv6 host.
[[nodiscard]] QString deviceUrlText(const DeviceUrl &url);

} // namespace vantor::serial
