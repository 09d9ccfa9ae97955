// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <array>

namespace vantor::serial {

// Maps the menu's COM numbers 1..3 to devices of this system; each can be overridden.
class PortMap
{
public:
    static constexpr int kPortCount = 3;

    [[nodiscard]] static QString defaultDevice(int commPortNumber);
    [[nodiscard]] QString device(int commPortNumber) const;
    void setDevice(int commPortNumber, const QString &device);

private:
    std::array<QString, kPortCount> m_overrides;
};

} // namespace vantor::serial
