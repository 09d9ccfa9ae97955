// SPDX-License-Identifier: MIT
#pragma once

#include "portmap.h"

namespace vantor::serial {

class SerialLink;

// Which port is in use and the open / choose / reset operations of the menu and "Reset Port".
class PortControl
{
public:
    PortControl(SerialLink &link, PortMap map);

    // OpenPort: applies the port number, line settings and whole-buffer reads, then opens.
    bool openPort();
    // Comm1_Click .. Comm3_Click: close if open, pause, take the number, open.
    bool choosePort(int commPortNumber);
    // COM_Reset_Cmd_Click: close if open, pause, reopen with what the port object holds.
    bool resetPort();

    [[nodiscard]] int commPortNumber() const { return m_commPortNumber; }
    void setCommPortNumber(int n) { m_commPortNumber = n; }
    [[nodiscard]] QString device() const { return m_map.device(m_commPortNumber); }
    [[nodiscard]] const PortMap &map() const { return m_map; }
    // The device behind a COM number from now on (the port menu's detected ports use COM1).
    void setDevice(int commPortNumber, const QString &device)
    {
        m_map.setDevice(commPortNumber, device);
    }

    // A short busy pause between close and open (microseconds on any machine).
    static void pauseSteps();

private:
    SerialLink &m_link;
    PortMap m_map;
    int m_commPortNumber = 1;
};

} // namespace vantor::serial
