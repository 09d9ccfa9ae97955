// SPDX-License-Identifier: MIT
#include "openfailure.h"

#include <QFile>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vantor::serial {

namespace {

OpenVerdict verdict(OpenFailure kind, const QString &device, const QString &what)
{
    return { kind, QStringLiteral("%1: %2").arg(device, what) };
}

#ifdef Q_OS_UNIX
// Where Qt opens a device named so: a bare name such as "ttyUSB0" lives in /dev.
QString systemLocation(const QString &device)
{
    if (device.startsWith(u'/') || device.startsWith(QStringLiteral("./"))
        || device.startsWith(QStringLiteral("../")))
        return device;
    return QStringLiteral("/dev/") + device;
}
#endif

} // namespace

OpenVerdict classifyOpenFailure(const OpenFacts &facts)
{
    if (facts.device.isEmpty())
        return { OpenFailure::NoSuchDevice, QStringLiteral("no serial device chosen") };
    if (facts.error == QSerialPort::NoError)
        return {};
    if (!facts.exists || facts.error == QSerialPort::DeviceNotFoundError)
        return verdict(OpenFailure::NoSuchDevice, facts.device, QStringLiteral("no such device"));
    if (!facts.characterDevice)
        return verdict(OpenFailure::NotSerialDevice, facts.device,
                       QStringLiteral("not a serial device"));
    if (facts.accessError == EACCES || facts.accessError == EPERM)
        return verdict(OpenFailure::PermissionDenied, facts.device,
                       QStringLiteral("permission denied (add your user to the dialout group: "
                                      "sudo usermod -aG dialout $USER, then log in again)"));
    // Qt reports another program's lock and EBUSY as a permission error: the access check
    // above has just said that permission is not what is missing.
    if (facts.error == QSerialPort::PermissionError && facts.accessError == 0)
        return verdict(OpenFailure::Busy, facts.device,
                       QStringLiteral("busy, in use by another program"));
    // A character device without terminal settings (/dev/null, a sound card).
    if (facts.error == QSerialPort::UnsupportedOperationError)
        return verdict(OpenFailure::NotSerialDevice, facts.device,
                       QStringLiteral("not a serial device"));
    return verdict(OpenFailure::Other, facts.device,
                   facts.errorText.isEmpty() ? QStringLiteral("cannot open") : facts.errorText);
}

OpenFacts gatherOpenFacts(const QString &device, QSerialPort::SerialPortError error,
                          const QString &errorText)
{
    OpenFacts facts { device, error, errorText };
    if (device.isEmpty())
        return facts;
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(systemLocation(device));
    struct stat info
    {
    };
    if (::stat(path.constData(), &info) == 0) {
        facts.exists = true;
        facts.characterDevice = S_ISCHR(info.st_mode);
    }
    facts.accessError = ::access(path.constData(), R_OK | W_OK) == 0 ? 0 : errno;
#else
    // Elsewhere a port is a name, not a file: Qt's verdict is all there is.
    facts.exists = error != QSerialPort::DeviceNotFoundError;
    facts.characterDevice = true;
#endif
    return facts;
}

QString serverTextLine(const QByteArray &bytes)
{
    QString line;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\r' || b == '\n' || b == '\0') {
            if (!line.isEmpty() && !line.endsWith(u' '))
                line.append(u' ');
            continue;
        }
        if (b < 0x20 || b > 0x7e)
            return {}; // not text: bytes of a board, or noise
        line.append(QLatin1Char(c));
    }
    line = line.trimmed();
    constexpr qsizetype kLongest = 120;
    if (line.size() > kLongest)
        line = line.left(kLongest) + QStringLiteral("...");
    return line;
}

OpenVerdict classifyNetworkFailure(const NetworkFacts &f)
{
    using Stage = NetworkFacts::Stage;
    const QString text = serverTextLine(f.serverText);
    if (!text.isEmpty()) {
        // ser2net: "Port already in use", "Port's device already in use".
        if (text.contains(QStringLiteral("in use"), Qt::CaseInsensitive)
            || text.contains(QStringLiteral("busy"), Qt::CaseInsensitive))
            return verdict(OpenFailure::Busy, f.device,
                           QStringLiteral("busy, in use by another client (the server says "
                                          "\"%1\")")
                               .arg(text));
        return verdict(OpenFailure::Other, f.device,
                       QStringLiteral("the server sent text instead of data: \"%1\"").arg(text));
    }
    if (f.timedOut) {
        const double seconds = f.timeoutMs / 1000.0;
        if (f.stage == Stage::Negotiating)
            return verdict(OpenFailure::NegotiationFailed, f.device,
                           QStringLiteral("RFC 2217 negotiation not answered within %1 s%2")
                               .arg(seconds)
                               .arg(f.awaited.isEmpty()
                                        ? QString()
                                        : QStringLiteral(" (still awaited: %1)").arg(f.awaited)));
        return verdict(OpenFailure::TimedOut, f.device,
                       QStringLiteral("connection timed out after %1 s").arg(seconds));
    }
    if (!f.negotiationFailure.isEmpty())
        return verdict(OpenFailure::NegotiationFailed, f.device,
                       QStringLiteral("RFC 2217 negotiation refused: %1").arg(f.negotiationFailure));
    switch (f.error) {
    case QAbstractSocket::HostNotFoundError:
        return verdict(OpenFailure::HostNotFound, f.device, QStringLiteral("host not found"));
    case QAbstractSocket::ConnectionRefusedError:
        return verdict(OpenFailure::ConnectionRefused, f.device,
                       QStringLiteral("connection refused (nothing listens there)"));
    case QAbstractSocket::SocketTimeoutError:
        return verdict(OpenFailure::TimedOut, f.device, QStringLiteral("connection timed out"));
    default:
        break;
    }
    if (f.closedByServer || f.error == QAbstractSocket::RemoteHostClosedError)
        return verdict(OpenFailure::Other, f.device,
                       f.stage == Stage::Negotiating
                           ? QStringLiteral("the server closed the connection during the RFC 2217 "
                                            "negotiation")
                           : QStringLiteral("the server closed the connection at once"));
    return verdict(OpenFailure::Other, f.device,
                   f.errorText.isEmpty() ? QStringLiteral("cannot connect") : f.errorText);
}

} // namespace vantor::serial
