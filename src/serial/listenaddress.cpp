// SPDX-License-Identifier: MIT
#include "listenaddress.h"

namespace vantor::serial {

std::optional<ListenAddress> parseListenAddress(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(u':');
    QString host = colon < 0 ? QString() : text.left(colon);
    const QString portText = colon < 0 ? text : text.mid(colon + 1);

    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port > 65535 || portText.isEmpty() || !portText.front().isDigit())
        return std::nullopt;

    ListenAddress result;
    result.port = static_cast<quint16>(port);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(u':'))
        return std::nullopt; // an IPv6 address without brackets: the port is ambiguous
    if (colon < 0 || host == u"localhost")
        result.address = QHostAddress(QHostAddress::LocalHost);
    else if (colon == 0)
        result.address = QHostAddress(QHostAddress::Any);
    else if (!result.address.setAddress(host))
        return std::nullopt;
    return result;
}

} // namespace vantor::serial
