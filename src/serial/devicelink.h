// SPDX-License-Identifier: MIT
#pragma once

#include "deviceurl.h"
#include "networklink.h"
#include "qtseriallink.h"
#include "seriallink.h"

namespace vantor::serial {

// The link every executable uses: it picks the transport by the device's name as it opens,
// a tty (QtSerialLink) for a path, the network (NetworkLink) for tcp:// and rfc2217://, so
// that the session, the engine and the port menu deal with names only. Both transports keep
// the same promises; what one reports is passed on as its own.
class DeviceLink final : public SerialLink
{
    Q_OBJECT
public:
    explicit DeviceLink(QObject *parent = nullptr);
    ~DeviceLink() override;

    void setPortName(const QString &device) override;
    [[nodiscard]] QString portName() const override { return m_portName; }
    bool setSettings(const QString &settings) override;
    [[nodiscard]] QString settings() const override { return m_settingsText; }
    void setReadLength(int n) override;

    bool open() override;
    void close() override;
    [[nodiscard]] bool isOpen() const override { return m_active->isOpen(); }

    void discardOutput() override { m_active->discardOutput(); }
    void discardInput() override { m_active->discardInput(); }
    void setReceiveThreshold(int n) override;
    void setSendThreshold(int n) override;

    bool write(const QByteArray &block) override { return m_active->write(block); }
    QByteArray read() override { return m_active->read(); }
    [[nodiscard]] qsizetype bytesWaiting() const override { return m_active->bytesWaiting(); }

    [[nodiscard]] QString errorString() const override { return m_active->errorString(); }
    [[nodiscard]] OpenFailure openFailure() const override { return m_active->openFailure(); }

    // The transport the last open used (a tty until a network name is opened).
    [[nodiscard]] Transport transport() const { return m_transport; }
    [[nodiscard]] QtSerialLink &ttyLink() { return m_tty; }
    [[nodiscard]] NetworkLink &networkLink() { return m_network; }

private:
    void follow(SerialLink &transport);

    QtSerialLink m_tty;
    NetworkLink m_network;
    SerialLink *m_active = &m_tty;
    Transport m_transport = Transport::Tty;
    QString m_portName;
    QString m_settingsText;
    int m_readLength = 0;
    int m_receiveThreshold = 0;
    int m_sendThreshold = 0;
};

} // namespace vantor::serial
