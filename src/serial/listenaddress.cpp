// SPDX-License-Identifier: MIT
#include "listenaddress.h"

#include <QHostInfo>
#include <QNetworkInterface>

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

namespace {

QString bracketed(const QHostAddress &address)
{
    return address.protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]").arg(address.toString())
        : address.toString();
}

} // namespace

QString urlHost(const QHostAddress &bound)
{
    const bool everywhere = bound == QHostAddress(QHostAddress::Any)
        || bound == QHostAddress(QHostAddress::AnyIPv4)
        || bound == QHostAddress(QHostAddress::AnyIPv6);
    if (!everywhere)
        return bracketed(bound);
    QHostAddress v6;
    for (const QNetworkInterface &iface : QNetworkInterface::allInterfaces()) {
        const auto flags = iface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || !flags.testFlag(QNetworkInterface::IsRunning)
            || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : iface.addressEntries()) {
            const QHostAddress a = entry.ip();
            if (a.isLoopback() || a.isLinkLocal())
                continue;
            if (a.protocol() == QAbstractSocket::IPv4Protocol)
                return a.toString();
            if (v6.isNull() && a.protocol() == QAbstractSocket::IPv6Protocol
                && bound != QHostAddress(QHostAddress::AnyIPv4))
                v6 = a;
        }
    }
    if (!v6.isNull())
        return bracketed(v6);
    const QString name = QHostInfo::localHostName();
    return name.isEmpty() ? QStringLiteral("localhost") : name;
}

} // namespace vantor::serial
