// SPDX-License-Identifier: MIT
#include "portmap.h"

namespace vantor::serial {

namespace {
bool validNumber(int n)
{
    return n >= 1 && n <= PortMap::kPortCount;
}
} // namespace

QString PortMap::defaultDevice(int commPortNumber)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(commPortNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(commPortNumber - 1);
#endif
}

QString PortMap::device(int commPortNumber) const
{
    if (!validNumber(commPortNumber))
        return {};
    const QString &override = m_overrides[static_cast<std::size_t>(commPortNumber - 1)];
    return override.isEmpty() ? defaultDevice(commPortNumber) : override;
}

void PortMap::setDevice(int commPortNumber, const QString &device)
{
    if (validNumber(commPortNumber))
        m_overrides[static_cast<std::size_t>(commPortNumber - 1)] = device;
}

} // namespace vantor::serial
