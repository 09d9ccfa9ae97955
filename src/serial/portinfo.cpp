// SPDX-License-Identifier: MIT
#include "portinfo.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

namespace vantor::serial {

namespace {

// The file behind a path; the path itself when nothing is there to resolve.
QString resolved(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

} // namespace

SystemPortInfoSource::SystemPortInfoSource(QString byIdFolder)
    : m_byIdFolder(std::move(byIdFolder))
{
}

QList<PortInfo> SystemPortInfoSource::ports() const
{
    // udev names each adapter after its maker and serial number; those names survive a replug.
    QHash<QString, QString> stableNames;
    const QDir byId(m_byIdFolder);
    for (const QFileInfo &link :
         byId.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name))
        stableNames.insert(resolved(link.filePath()), link.filePath());

    QList<PortInfo> found;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        PortInfo port;
        port.systemLocation = info.systemLocation();
        port.device = stableNames.value(resolved(port.systemLocation), port.systemLocation);
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        found.append(port);
    }
    return found;
}

QString systemPathOf(const QString &device)
{
    if (device.isEmpty() || QDir::isAbsolutePath(device) || device.startsWith(u'.'))
        return device;
    return QStringLiteral("/dev/") + device;
}

std::optional<PortInfo> findPort(const QList<PortInfo> &ports, const QString &device)
{
    if (device.isEmpty())
        return std::nullopt;
    const QString target = resolved(systemPathOf(device));
    for (const PortInfo &port : ports) {
        if (resolved(port.device) == target || resolved(port.systemLocation) == target)
            return port;
    }
    return std::nullopt;
}

} // namespace vantor::serial
