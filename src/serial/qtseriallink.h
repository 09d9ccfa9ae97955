// SPDX-License-Identifier: MIT
#pragma once

#include "seriallink.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTimer>

#include <optional>

namespace vantor::serial {

// A "19200,N,8,1" style text: baud, parity (N, E, O, M, S), data bits (5..8), stop bits (1, 1.5,
// 2).
struct LineSettings
{
    qint32 baudRate = 19200;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    friend bool operator==(const LineSettings &, const LineSettings &) = default;
};

[[nodiscard]] std::optional<LineSettings> parseLineSettings(QStringView text);

// The link on a real serial port: the one object that owns a QSerialPort.
//
// Received bytes are kept in a buffer of its own, bounded to kReceiveLimit bytes; what
// arrives beyond that is dropped and counted, so a board that floods the line cannot grow
// memory without bound. A read, write or resource error on an open port means the port is
// gone (adapter pulled, other end hung up) only when the descriptor says so: Qt also reports a
// read of no bytes (data flushed after the port said it was readable) as one of those errors,
// and that is no data, not a loss. A lost port is closed and reported once.
//
// The line is let fall quiet around each exchange, never blocking the event loop: a write that
// follows a discard of the input while bytes are still arriving waits until none has arrived
// for kQuietGapMs (at most kQuietWaitMs), and what arrives meanwhile is discarded with it, so
// that the tail of a late or doubled answer is not taken for the next one; the receive event
// waits the same way once its threshold is reached, so that a read takes an answer with
// whatever follows it. On a quiet line a write leaves at once.
//
// Events never come from inside a call made on the link: the receive event comes from the
// port's readyRead, the send event is posted after bytesWritten.
class QtSerialLink final : public SerialLink
{
    Q_OBJECT
public:
    static constexpr qsizetype kReceiveLimit = 64 * 1024;
    // Quiet means no byte for about four character times at 19200 bit/s; never waited for
    // longer than that in all.
    static constexpr int kQuietGapMs = 2;
    static constexpr int kQuietWaitMs = 2;

    explicit QtSerialLink(QObject *parent = nullptr);
    ~QtSerialLink() override;

    void setPortName(const QString &device) override;
    [[nodiscard]] QString portName() const override { return m_portName; }
    bool setSettings(const QString &settings) override;
    [[nodiscard]] QString settings() const override { return m_settingsText; }
    void setReadLength(int n) override { m_readLength = n; }

    bool open() override;
    void close() override;
    [[nodiscard]] bool isOpen() const override;

    void discardOutput() override;
    void discardInput() override;

    void setReceiveThreshold(int n) override { m_receiveThreshold = n; }
    void setSendThreshold(int n) override { m_sendThreshold = n; }
    [[nodiscard]] int receiveThreshold() const { return m_receiveThreshold; }
    [[nodiscard]] int sendThreshold() const { return m_sendThreshold; }

    bool write(const QByteArray &block) override;
    QByteArray read() override;
    [[nodiscard]] qsizetype bytesWaiting() const override { return m_received.size(); }

    [[nodiscard]] QString errorString() const override { return m_errorString; }
    [[nodiscard]] OpenFailure openFailure() const override { return m_openFailure; }

    // Bytes dropped because the receive buffer was full, since the link was made.
    [[nodiscard]] qint64 droppedBytes() const { return m_droppedTotal; }

private:
    void onReadyRead();
    void onBytesWritten();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void deliverSendEvent(quint64 writeSerial);
    void finishLoss();
    // Whether the descriptor reports a hang-up or an error (a read error may be neither).
    [[nodiscard]] bool lineGone() const;
    bool sendNow(const QByteArray &block);
    void startQuietWait();
    void onQuietTimer();
    void stopQuietWait();
    void reportDropped();
    void applySettings();
    bool failOpen(const OpenVerdict &verdict);

    QSerialPort m_port;
    QString m_portName;
    QString m_settingsText;
    LineSettings m_settings;
    int m_readLength = 0;
    int m_receiveThreshold = 0;
    int m_sendThreshold = 0;

    QByteArray m_received;
    qint64 m_droppedTotal = 0;
    qint64 m_droppedSinceFull = 0;

    // Each write gets a serial; a posted send event only counts for the last write.
    quint64 m_writeSerial = 0;
    bool m_sendEventArmed = false;

    // The wait for a quiet line: before a held write, or before the receive event.
    enum class Quiet { Off, BeforeWrite, BeforeReceiveEvent };
    Quiet m_quiet = Quiet::Off;
    bool m_writeAfterDiscard = false;
    QByteArray m_heldWrite;
    QElapsedTimer m_quietStarted;
    QElapsedTimer m_lastArrival;
    QTimer m_quietTimer;

    // Set when the port was lost; it is closed on the next turn of the event loop.
    bool m_lost = false;
    QString m_lostReason;
    QString m_errorString;
    OpenFailure m_openFailure = OpenFailure::None;
};

} // namespace vantor::serial
