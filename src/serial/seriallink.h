// SPDX-License-Identifier: MIT
#pragma once

#include "commevent.h"
#include "openfailure.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace vantor::serial {

// The line settings the board always uses.
inline constexpr const char *kLineSettings = "19200,N,8,1";

// One serial port as the transaction engine sees it. Only the owner of the real port
// implements this; tests implement it with a fake.
//
// Events are delivered from the event loop, never from inside a call made on the link
// (a write never raises its send event before it has returned).
//
// A link on a line with a character time may let the line fall quiet around an exchange, at
// most a few milliseconds and never blocking: a write that follows discardInput() may leave a
// moment later (bytes arriving meanwhile are discarded too), and the receive event may come a
// moment after its threshold was reached. A network link does neither: its server's buffering
// makes a character time meaningless.
class SerialLink : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Device to open next (a path such as /dev/ttyS0, COM1 on Windows, or a network board's
    // tcp://HOST:PORT or rfc2217://HOST:PORT).
    virtual void setPortName(const QString &device) = 0;
    [[nodiscard]] virtual QString portName() const = 0;

    // "19200,N,8,1" style; false when the text is not understood (the old settings stay).
    virtual bool setSettings(const QString &settings) = 0;
    [[nodiscard]] virtual QString settings() const = 0;

    // 0: a read takes every waiting byte; n > 0: at most n bytes.
    virtual void setReadLength(int n) = 0;

    // Opens with the held name and settings. On failure returns false, emits portFailed once.
    // A link that opens in the background (a board on the network) returns true once the
    // open is under way and stays !isOpen() until openChanged(true) says it is usable; if it
    // cannot be, portFailed comes instead, as for a failed open.
    virtual bool open() = 0;
    virtual void close() = 0;
    [[nodiscard]] virtual bool isOpen() const = 0;

    virtual void discardOutput() = 0;
    virtual void discardInput() = 0;

    // n > 0: one receive event as soon as at least n bytes wait; 0: none.
    virtual void setReceiveThreshold(int n) = 0;
    // n > 0: a send event once fewer than n bytes remain to be sent; 0: none.
    virtual void setSendThreshold(int n) = 0;

    // Hands the block to the system at once; false when the port is closed or the write fails.
    virtual bool write(const QByteArray &block) = 0;
    virtual QByteArray read() = 0;
    [[nodiscard]] virtual qsizetype bytesWaiting() const = 0;

    // Why the last open failed or the port was lost; empty when nothing went wrong.
    [[nodiscard]] virtual QString errorString() const = 0;
    // The kind of the last failed open; None once an open has succeeded.
    [[nodiscard]] virtual OpenFailure openFailure() const = 0;

signals:
    void commEvent(vantor::serial::CommEvent event);
    // The port could not be opened, or was lost while open (and is now closed).
    void portFailed(const QString &reason);
    void openChanged(bool open);
};

} // namespace vantor::serial
