// SPDX-License-Identifier: MIT
#include "devicelink.h"

#include "logging.h"

namespace vantor::serial {

DeviceLink::DeviceLink(QObject *parent)
    : SerialLink(parent)
    , m_settingsText(QString::fromLatin1(kLineSettings))
{
    follow(m_tty);
    follow(m_network);
}

DeviceLink::~DeviceLink()
{
    // Nothing a transport says while it is torn down concerns anyone any more.
    disconnect(&m_tty, nullptr, this, nullptr);
    disconnect(&m_network, nullptr, this, nullptr);
}

void DeviceLink::follow(SerialLink &transport)
{
    connect(&transport, &SerialLink::commEvent, this, &SerialLink::commEvent);
    connect(&transport, &SerialLink::portFailed, this, &SerialLink::portFailed);
    connect(&transport, &SerialLink::openChanged, this, &SerialLink::openChanged);
}

void DeviceLink::setPortName(const QString &device)
{
    m_portName = device;
    m_active->setPortName(device);
}

bool DeviceLink::setSettings(const QString &settings)
{
    if (!m_active->setSettings(settings))
        return false;
    m_settingsText = settings;
    return true;
}

void DeviceLink::setReadLength(int n)
{
    m_readLength = n;
    m_active->setReadLength(n);
}

void DeviceLink::setReceiveThreshold(int n)
{
    m_receiveThreshold = n;
    m_active->setReceiveThreshold(n);
}

void DeviceLink::setSendThreshold(int n)
{
    m_sendThreshold = n;
    m_active->setSendThreshold(n);
}

bool DeviceLink::open()
{
    const Transport wanted = transportOf(m_portName);
    SerialLink *next = wanted == Transport::Tty ? static_cast<SerialLink *>(&m_tty) : &m_network;
    if (next != m_active) {
        // The other transport is let go first (also a connection still being made): one
        // device at a time, as with one port.
        m_active->close();
        m_active = next;
        qCDebug(lcSerial).noquote() << m_portName << "goes over"
                                    << (wanted == Transport::Tty ? "a tty" : "the network");
    }
    m_transport = wanted;
    m_active->setPortName(m_portName);
    m_active->setSettings(m_settingsText);
    m_active->setReadLength(m_readLength);
    m_active->setReceiveThreshold(m_receiveThreshold);
    m_active->setSendThreshold(m_sendThreshold);
    return m_active->open();
}

void DeviceLink::close()
{
    m_active->close();
}

} // namespace vantor::serial
