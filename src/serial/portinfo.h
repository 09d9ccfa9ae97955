// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace vantor::serial {

// One serial port present on this system, as the port menu offers it.
struct PortInfo
{
    // What to open: the stable /dev/serial/by-id name when the adapter has one, else the
    // system location.
    QString device;
    QString systemLocation; // /dev/ttyUSB0
    QString description;
    QString manufacturer;
    QString serialNumber;

    friend bool operator==(const PortInfo &, const PortInfo &) = default;
};

// The serial ports present now. The system's list leaves pseudo-terminals out, so tests and
// the simulator's users list theirs through a source of their own.
class PortInfoSource
{
public:
    virtual ~PortInfoSource() = default;
    [[nodiscard]] virtual QList<PortInfo> ports() const = 0;
};

// Qt's list of serial ports, each named by its /dev/serial/by-id link where one points at it.
class SystemPortInfoSource final : public PortInfoSource
{
public:
    explicit SystemPortInfoSource(QString byIdFolder = QStringLiteral("/dev/serial/by-id"));
    [[nodiscard]] QList<PortInfo> ports() const override;

private:
    QString m_byIdFolder;
};

// Where a device named so lives: a bare name such as "ttyUSB0" is in /dev.
[[nodiscard]] QString systemPathOf(const QString &device);

// The port that is the same file as `device` (symbolic links followed), if it is listed.
[[nodiscard]] std::optional<PortInfo> findPort(const QList<PortInfo> &ports, const QString &device);

} // namespace vantor::serial
