// SPDX-License-Identifier: MIT
#include "settingsstore.h"

namespace vantor::codec {

MemoryStore::MemoryStore()
    : m_system(SystemConfiguration::designDefaults())
{
    m_ports.fill(PortConfiguration::designDefaults());
    for (const SettingRow &row : settingRows(Scope::System))
        m_systemEnabled[scopeIndex(row.setting)] = row.designEnabled;
    for (auto &port : m_portEnabled) {
        for (const SettingRow &row : settingRows(Scope::Port))
            port[scopeIndex(row.setting)] = row.designEnabled;
    }
}

namespace {

bool validElement(Setting setting, int element)
{
    return isPortSetting(setting) ? element >= 0 && element < kElementCount : element == 0;
}

} // namespace

StoredValue MemoryStore::value(Setting setting, int element) const
{
    if (!validElement(setting, element))
        return {};
    return { isPortSetting(setting) ? m_ports[static_cast<std::size_t>(element)][setting]
                                    : m_system[setting] };
}

void MemoryStore::setValue(Setting setting, int element, int value)
{
    if (!validElement(setting, element))
        return;
    if (isPortSetting(setting))
        m_ports[static_cast<std::size_t>(element)][setting] = value;
    else
        m_system[setting] = value;
}

bool MemoryStore::isEnabled(Setting setting, int element) const
{
    if (!validElement(setting, element))
        return false;
    return isPortSetting(setting)
        ? m_portEnabled[static_cast<std::size_t>(element)][scopeIndex(setting)]
        : m_systemEnabled[scopeIndex(setting)];
}

void MemoryStore::setEnabled(Setting setting, int element, bool enabled)
{
    if (!validElement(setting, element))
        return;
    if (isPortSetting(setting))
        m_portEnabled[static_cast<std::size_t>(element)][scopeIndex(setting)] = enabled;
    else
        m_systemEnabled[scopeIndex(setting)] = enabled;
}

IntegerRange textRange(Setting setting)
{
    switch (setting) {
    case Setting::PD_R_LOW:
    case Setting::PD_R_HIGH:
        return kInt32;
    case Setting::STARTUP_OL_DLY: {
        const SettingRow &row = settingRow(setting);
        return { row.minimum, row.maximum };
    }
    default:
        return kInt16;
    }
}

namespace {

Refusal refusalFor(const SettingRow &row, TextProblem problem, int element)
{
    QString field = QString::fromLatin1(row.name);
    QString caption = QString::fromLatin1(row.caption);
    if (row.scope == Scope::Port) {
        field += QStringLiteral("_%1").arg(element);
        caption += QStringLiteral(" of Port %1").arg(element + 1);
    }
    return { field, caption + QLatin1Char(' ') + problemText(problem, textRange(row.setting)) };
}

} // namespace

SystemReading readSystemConfiguration(const SettingsStore &store)
{
    SystemReading reading;
    for (const SettingRow &row : settingRows(Scope::System)) {
        const StoredValue v = store.value(row.setting);
        if (!v.ok()) {
            reading.refusal = refusalFor(row, v.problem, 0);
            return reading;
        }
        // A count the board reported but the list does not offer is never written back.
        if (row.setting == Setting::SYS_PORT_CNT && !inRange(row, v.value)) {
            reading.refusal = Refusal {
                QString::fromLatin1(row.name),
                QStringLiteral("%1: the board reports %2 ports, which the list does not offer; "
                               "choose a count or load from the device")
                    .arg(QLatin1String(row.caption))
                    .arg(v.value)
            };
            return reading;
        }
        reading.config[row.setting] = v.value;
    }
    return reading;
}

PortGroupReading readPortGroup(const SettingsStore &store, int group)
{
    PortGroupReading reading;
    if (group < 0 || group >= protocol::kGroupCount) {
        reading.refusal
            = Refusal { QString(), QStringLiteral("Port group %1 has no controls").arg(group) };
        return reading;
    }
    for (int p = 0; p < kPortsPerGroup; ++p) {
        const int e = group * kPortsPerGroup + p;
        for (const SettingRow &row : settingRows(Scope::Port)) {
            const StoredValue v = store.value(row.setting, e);
            if (!v.ok()) {
                reading.refusal = refusalFor(row, v.problem, e);
                return reading;
            }
            reading.ports[static_cast<std::size_t>(p)][row.setting] = v.value;
        }
    }
    return reading;
}

void storeSystemConfiguration(SettingsStore &store, const SystemConfiguration &config)
{
    for (const SettingRow &row : settingRows(Scope::System))
        store.setValue(row.setting, 0, config[row.setting]);
}

void storePortGroup(SettingsStore &store, int group, const PortGroupConfiguration &ports)
{
    for (int p = 0; p < kPortsPerGroup; ++p) {
        for (const SettingRow &row : settingRows(Scope::Port))
            store.setValue(row.setting, group * kPortsPerGroup + p,
                           ports[static_cast<std::size_t>(p)][row.setting]);
    }
}

} // namespace vantor::codec
