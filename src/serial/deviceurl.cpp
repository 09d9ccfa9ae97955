// SPDX-License-Identifier: MIT
#include "deviceurl.h"

#include <QHostAddress>

namespace vantor::serial {

namespace {

constexpr QStringView kTcp = u"tcp://";
constexpr QStringView kRfc2217 = u"rfc2217://";

} // namespace

bool isNetworkDevice(const QString &device)
{
    const qsizetype scheme = device.indexOf(QStringLiteral("://"));
    if (scheme <= 0)
        return false;
    for (const QChar c : QStringView(device).left(scheme)) {
        if (!c.isLetterOrNumber() && c != u'+' && c != u'-' && c != u'.')
            return false;
    }
    return true;
}

Transport transportOf(const QString &device)
{
    if (!isNetworkDevice(device))
        return Transport::Tty;
    return device.startsWith(kRfc2217, Qt::CaseInsensitive) ? Transport::Rfc2217
                                                             : Transport::Tcp;
}

std::optional<DeviceUrl> parseDeviceUrl(const QString &device, QString *error)
{
    const auto fail = [error](const QString &why) -> std::optional<DeviceUrl> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    DeviceUrl url;
    QStringView rest;
    if (device.startsWith(kTcp, Qt::CaseInsensitive)) {
        url.transport = Transport::Tcp;
        rest = QStringView(device).mid(kTcp.size());
    } else if (device.startsWith(kRfc2217, Qt::CaseInsensitive)) {
        url.transport = Transport::Rfc2217;
        rest = QStringView(device).mid(kRfc2217.size());
    } else {
        return fail(QStringLiteral("unknown kind of network device (tcp://HOST:PORT or "
                                   "rfc2217://HOST:PORT)"));
    }
    if (rest.endsWith(u'/'))
        rest.chop(1);

    const qsizetype colon = rest.lastIndexOf(u':');
    if (colon < 0)
        return fail(QStringLiteral("no port (tcp://HOST:PORT or rfc2217://HOST:PORT)"));
    QStringView host = rest.left(colon);
    const QStringView portText = rest.mid(colon + 1);
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port == 0 || port > 65535 || !portText.front().isDigit())
        return fail(QStringLiteral("the port must be a number from 1 to 65535"));
    if (host.startsWith(u'[')) {
        if (!host.endsWith(u']'))
            return fail(QStringLiteral("an IPv6 address needs its closing bracket"));
        host = host.mid(1, host.size() - 2);
        if (QHostAddress(host.toString()).protocol() != QAbstractSocket::IPv6Protocol)
            return fail(QStringLiteral("not an IPv6 address in the brackets"));
    } else if (host.contains(u':')) {
        return fail(QStringLiteral("an IPv6 address goes in brackets: [ADDRESS]:PORT"));
    }
    if (host.isEmpty())
        return fail(QStringLiteral("no host"));
    for (const QChar c : host) {
        if (c.isSpace() || c == u'/' || c == u'@' || c == u'?' || c == u'#')
            return fail(QStringLiteral("not a host name: \"%1\"").arg(host));
    }
    url.host = host.toString();
    url.port = static_cast<quint16>(port);
    return url;
}

QString deviceUrlText(const DeviceUrl &url)
{
    const QString scheme = url.transport == Transport::Rfc2217 ? QStringLiteral("rfc2217")
                                                               : QStringLiteral("tcp");
    const QString host = url.host.contains(u':') ? u'[' + url.host + u']' : url.host;
    return QStringLiteral("%1://%2:%3").arg(scheme, host).arg(url.port);
}

} // namespace vantor::serial
