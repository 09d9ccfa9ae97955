// SPDX-License-Identifier: MIT
#include "portcontrol.h"

#include "seriallink.h"

namespace vantor::serial {

PortControl::PortControl(SerialLink &link, PortMap map)
    : m_link(link)
    , m_map(std::move(map))
{
}

bool PortControl::openPort()
{
    m_link.setPortName(m_map.device(m_commPortNumber));
    m_link.setSettings(QString::fromLatin1(kLineSettings));
    m_link.setReadLength(0);
    return m_link.open();
}

bool PortControl::choosePort(int commPortNumber)
{
    if (m_link.isOpen())
        m_link.close();
    pauseSteps();
    m_commPortNumber = commPortNumber;
    return openPort();
}

bool PortControl::resetPort()
{
    if (m_link.isOpen())
        m_link.close();
    pauseSteps();
    return m_link.open();
}

void PortControl::pauseSteps()
{
    // Only separates a close from the next open; volatile keeps the loop.
    volatile int step = 0;
    while (step <= 3000)
        step = step + 1;
}

} // namespace vantor::serial
