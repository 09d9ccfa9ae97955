// SPDX-License-Identifier: MIT
#pragma once

// Why a serial device could not be opened, in words an operator can act on. The verdict is
// a pure function of facts gathered after the failed open, so every kind can be checked
// without making it happen (a permission error never happens to root).

#include <QAbstractSocket>
#include <QByteArray>
#include <QSerialPort>
#include <QString>

namespace vantor::serial {

enum class OpenFailure {
    None,
    NoSuchDevice,
    PermissionDenied,
    Busy,
    NotSerialDevice,
    Other,
    // A board on the network (tcp://, rfc2217://).
    HostNotFound,
    ConnectionRefused,
    TimedOut,
    NegotiationFailed,
};

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

// What is known once a network board could not be opened.
struct NetworkFacts
{
    enum class Stage {
        Connecting,  // the name looked up and the connection made (kConnectTimeoutMs)
        Negotiating, // RFC 2217: BINARY, COM-PORT-OPTION and the line settings
        Settling,    // raw TCP: the moment after connecting in which a server's refusal comes
    };
    QString device; // the URL as the operator named it
    Stage stage = Stage::Connecting;
    // The socket's error; UnknownSocketError with an empty text when there was none.
    QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
    QString errorText;
    bool timedOut = false;
    int timeoutMs = 0;
    bool closedByServer = false;
    // Data that came before the link was usable: a board never speaks unasked, so this is the
    // server's own text (ser2net's "Port already in use").
    QByteArray serverText;
    // RFC 2217: why the negotiation failed, or what it still awaited when the time ran out.
    QString negotiationFailure;
    QString awaited;
};

[[nodiscard]] OpenVerdict classifyNetworkFailure(const NetworkFacts &facts);

// The server's text as one printable line ("Port already in use"); empty when it is not text.
[[nodiscard]] QString serverTextLine(const QByteArray &bytes);

} // namespace vantor::serial
