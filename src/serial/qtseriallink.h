// SPDX-License-Identifier: MIT
#pragma once

#include "seriallink.h"

#include <QSerialPort>

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
// gone (adapter pulled, other end hung up): the port is closed and reported once.
//
// Events never come from inside a call made on the link: the receive event comes from the
// port's readyRead, the send event is posted after bytesWritten.
class QtSerialLink final : public SerialLink
{
    Q_OBJECT
public:
    static constexpr qsizetype kReceiveLimit = 64 * 1024;

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

    // Set when the port was lost; it is closed on the next turn of the event loop.
    bool m_lost = false;
    QString m_lostReason;
    QString m_errorString;
    OpenFailure m_openFailure = OpenFailure::None;
};

} // namespace vantor::serial
