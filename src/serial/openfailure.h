// SPDX-License-Identifier: MIT
#pragma once

// Why a serial device could not be opened, in words an operator can act on. The verdict is
// a pure function of facts gathered after the failed open, so every kind can be checked
// without making it happen (a permission error never happens to root).

#include <QSerialPort>
#include <QString>

namespace vantor::serial {

enum class OpenFailure { None, NoSuchDevice, PermissionDenied, Busy, NotSerialDevice, Other };

// What is known once an open has failed.
struct OpenFacts
{
    QString device; // as the operator named it; the message names it so
    QSerialPort::SerialPortError error = QSerialPort::NoError;
    QString errorText;   // Qt's own, for failures without a kind of their own
    bool exists = false; // the path, after symbolic links, is there
    bool characterDevice = false;
    int accessError = 0; // errno of access(path, R_OK | W_OK); 0 when both are allowed
};

struct OpenVerdict
{
    OpenFailure kind = OpenFailure::None;
    QString message; // one line, naming the device; empty for None
};

[[nodiscard]] OpenVerdict classifyOpenFailure(const OpenFacts &facts);

// The facts about `device` on this system, with Qt's error from the failed open.
[[nodiscard]] OpenFacts gatherOpenFacts(const QString &device, QSerialPort::SerialPortError error,
                                        const QString &errorText);

} // namespace vantor::serial
