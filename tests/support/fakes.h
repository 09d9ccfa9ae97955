// SPDX-License-Identifier: MIT
#pragma once

// Fakes for driving the transaction engine without a port and without waiting.

#include <protocol/timer.h>
#include <serial/portinfo.h>
#include <serial/seriallink.h>

#include <QByteArray>
#include <QList>

namespace vantor::testing {

// Records what the engine does to the link; tests feed bytes and raise events by hand.
class FakeLink final : public serial::SerialLink
{
    Q_OBJECT
public:
    using SerialLink::SerialLink;

    void setPortName(const QString &device) override { m_portName = device; }
    QString portName() const override { return m_portName; }
    bool setSettings(const QString &settings) override
    {
        m_settings = settings;
        return true;
    }
    QString settings() const override { return m_settings; }
    void setReadLength(int n) override { readLength = n; }
    bool open() override
    {
        ++openCount;
        if (failOpen) {
            m_openFailure = failKind;
            emit portFailed(QStringLiteral("cannot open"));
            return false;
        }
        m_openFailure = serial::OpenFailure::None;
        m_open = true;
        emit openChanged(true);
        return true;
    }
    void close() override
    {
        ++closeCount;
        m_open = false;
        emit openChanged(false);
    }
    bool isOpen() const override { return m_open; }
    void discardOutput() override { ++outputDiscards; }
    void discardInput() override
    {
        ++inputDiscards;
        m_incoming.clear();
    }
    void setReceiveThreshold(int n) override { receiveThreshold = n; }
    void setSendThreshold(int n) override { sendThreshold = n; }
    bool write(const QByteArray &block) override
    {
        if (!m_open)
            return false;
        writes.append(block);
        emit written(block);
        return true;
    }
    QByteArray read() override { return std::exchange(m_incoming, {}); }
    qsizetype bytesWaiting() const override { return m_incoming.size(); }
    QString errorString() const override
    {
        return m_open ? QString() : QStringLiteral("port closed");
    }
    serial::OpenFailure openFailure() const override { return m_openFailure; }

    // Bytes arrive; a receive event is raised when the threshold is reached, as a real port does.
    void feed(const QByteArray &bytes)
    {
        const qsizetype before = m_incoming.size();
        m_incoming += bytes;
        if (receiveThreshold > 0 && before < receiveThreshold
            && m_incoming.size() >= receiveThreshold)
            emit commEvent(serial::CommEvent::ReceiveThreshold);
    }
    // The transmit buffer drained.
    void drain()
    {
        if (sendThreshold > 0)
            emit commEvent(serial::CommEvent::SendThreshold);
    }
    void raise(serial::CommEvent event) { emit commEvent(event); }
    // The port goes away while open, in the order the real link reports it: already closed
    // when the reason comes, then the close.
    void lose(const QString &reason)
    {
        m_open = false;
        emit portFailed(reason);
        emit openChanged(false);
    }

    // Everything written since the last call, concatenated.
    QByteArray takeWire()
    {
        QByteArray all;
        for (const QByteArray &w : std::as_const(writes))
            all += w;
        writes.clear();
        return all;
    }

    QList<QByteArray> writes;
    int receiveThreshold = 0;
    int sendThreshold = 0;
    int readLength = -1;
    int outputDiscards = 0;
    int inputDiscards = 0;
    int openCount = 0;
    int closeCount = 0;
    bool failOpen = false;
    // What a failing open reports as its kind.
    serial::OpenFailure failKind = serial::OpenFailure::Other;

signals:
    // A block went out: a fake board on the other end reads it here.
    void written(const QByteArray &block);

private:
    QString m_portName;
    QString m_settings;
    QByteArray m_incoming;
    bool m_open = true;
    serial::OpenFailure m_openFailure = serial::OpenFailure::None;
};

class FakeTimer final : public protocol::Timer
{
    Q_OBJECT
public:
    using Timer::Timer;

    void setInterval(int ms) override { m_interval = ms; }
    int interval() const override { return m_interval; }
    void start() override
    {
        m_active = true;
        ++starts;
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }

    // The interval ran out: delivers a tick only when running, as a real timer does.
    void fire()
    {
        if (m_active)
            emit timeout();
    }

    int starts = 0;

private:
    int m_interval = 0;
    bool m_active = false;
};

// The serial ports present, listed by hand: the system's list leaves pseudo-terminals out.
class FakePortInfo final : public serial::PortInfoSource
{
public:
    QList<serial::PortInfo> ports() const override { return list; }
    QList<serial::PortInfo> list;
};

} // namespace vantor::testing
