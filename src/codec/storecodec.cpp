// SPDX-License-Identifier: MIT
#include "storecodec.h"

#include "portblock.h"
#include "scaling.h"
#include "systemblock.h"

#include <algorithm>

namespace vantor::codec {

namespace {

int stored(const SettingsStore &store, Setting setting, int element = 0)
{
    return store.value(setting, element).value;
}

bool validGroup(int group)
{
    return group >= 0 && group < protocol::kGroupCount;
}

Refusal missingGroup(int group)
{
    return { QString(), QStringLiteral("Port group %1 has no controls").arg(group) };
}

// The paused-fault marks of a group from the board's flags; skipOpen leaves the marks the
// operator may clear as they are.
void showPausedMarks(SettingsStore &store, Snapshot s, int group, bool skipOpen)
{
    const int master = stored(store, Setting::COMMON_CTRL_1);
    for (int p = 0; p < kPortsPerGroup; ++p) {
        const int e = group * kPortsPerGroup + p;
        if (skipOpen && store.isEnabled(Setting::FAULT_PAUSED, e))
            continue;
        const int v = faultPausedValue(static_cast<int>(fieldValue(s, Field::FAULT_PAUSED, p)),
                                       master, stored(store, Setting::PORT_SYS_MGMNT_2, e));
        store.setValue(Setting::FAULT_PAUSED, e, v);
        store.setEnabled(Setting::FAULT_PAUSED, e, v != 0);
    }
}

void applyPauseMarks(SettingsStore &store, int group, const PauseMarks &marks)
{
    for (int p = 0; p < kPortsPerGroup; ++p) {
        const int e = group * kPortsPerGroup + p;
        const PauseMark &mark = marks[static_cast<std::size_t>(p)];
        store.setValue(Setting::FAULT_PAUSED, e, mark.value);
        store.setEnabled(Setting::FAULT_PAUSED, e, mark.enabled);
    }
}

} // namespace

void readBack(SettingsStore &store, Snapshot s, int group, int portCount)
{
    if (!validGroup(group))
        return;
    const SystemConfiguration sys = decodeSystemConfiguration(s);
    for (const SettingRow &row : settingRows(Scope::System)) {
        if (!row.field)
            continue;
        store.setValue(row.setting, 0, sys[row.setting]);
        if (row.setting == Setting::COMMON_CTRL_5) {
            // By element, not by group: the first portCount lists that exist.
            const int lists = std::clamp(portCount, 0, kElementCount);
            for (int k = 0; k < lists; ++k)
                store.setEnabled(Setting::PORT_LED_DRV, k, sys[row.setting] != 0);
        }
    }
    for (int p = 0; p < kPortsPerGroup; ++p) {
        const PortConfiguration port = decodePortConfiguration(s, p);
        for (const SettingRow &row : settingRows(Scope::Port)) {
            if (row.field)
                store.setValue(row.setting, group * kPortsPerGroup + p, port[row.setting]);
        }
    }
    showPausedMarks(store, s, group, false);
}

void readRefresh(SettingsStore &store, Snapshot s, int group)
{
    if (!validGroup(group))
        return;
    store.setValue(Setting::COMMON_CTRL_4, 0,
                   static_cast<int>(fieldValue(s, Field::COMMON_CTRL_4)));
    showPausedMarks(store, s, group, true);
}

std::optional<Refusal> buildSystemBlock(SettingsStore &store, int group,
                                        protocol::SystemBlock &block)
{
    if (!validGroup(group))
        return missingGroup(group);
    const SystemReading reading = readSystemConfiguration(store);
    if (reading.refusal)
        return reading.refusal;
    const SystemBlockResult built = encodeSystemBlock(reading.config);
    if (!built.ok())
        return built.refusal;

    PortGroupConfiguration marks {};
    for (int p = 0; p < kPortsPerGroup; ++p) {
        const int e = group * kPortsPerGroup + p;
        auto &port = marks[static_cast<std::size_t>(p)];
        port[Setting::FAULT_PAUSED] = stored(store, Setting::FAULT_PAUSED, e);
        port[Setting::PORT_SYS_MGMNT_2] = stored(store, Setting::PORT_SYS_MGMNT_2, e);
    }
    applyPauseMarks(store, group, systemPauseMarks(marks, reading.config[Setting::COMMON_CTRL_1]));
    std::copy_n(built.block.begin(), protocol::kSystemBlockUsed, block.begin());
    return std::nullopt;
}

std::optional<Refusal> buildPortBlock(SettingsStore &store, int group, protocol::PortBlock &block)
{
    const PortGroupReading reading = readPortGroup(store, group);
    if (reading.refusal)
        return reading.refusal;
    const PortBlockResult built
        = encodePortBlock(reading.ports, stored(store, Setting::COMMON_CTRL_1));
    applyPauseMarks(store, group, built.pauseMarks);
    std::copy_n(built.block.begin(), protocol::kPortBlockUsed, block.begin());
    return std::nullopt;
}

} // namespace vantor::codec
