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

} // namespace vantor::serial
