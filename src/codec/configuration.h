// SPDX-License-Identifier: MIT
#pragma once

// The board's settings as typed values, one per row of the setting table: what a whole read
// reports and what the two write blocks carry. Decoding and encoding both go through it, so a
// read written back unchanged gives the bytes it was read from (but for what the blocks leave
// out: the upper bits of the I2C address, write-only fields and one-shot actions).

#include "settingtable.h"

#include <optional>
#include <span>

namespace vantor::codec {

// Where a setting sits among the settings of its scope.
[[nodiscard]] constexpr std::size_t scopeIndex(Setting setting)
{
    const auto i = static_cast<std::size_t>(setting);
    return isPortSetting(setting) ? i - kSystemSettingCount : i;
}

template<Scope S> struct Configuration
{
    static constexpr std::size_t kCount
        = S == Scope::System ? kSystemSettingCount : kPortSettingCount;

    std::array<int, kCount> values {};

    [[nodiscard]] int operator[](Setting setting) const { return values[scopeIndex(setting)]; }
    int &operator[](Setting setting) { return values[scopeIndex(setting)]; }

    // Every setting at the value the window is designed with.
    [[nodiscard]] static Configuration designDefaults()
    {
        Configuration c;
        for (const SettingRow &row : settingRows(S))
            c[row.setting] = row.designDefault;
        return c;
    }

    bool operator==(const Configuration &) const = default;
};

using SystemConfiguration = Configuration<Scope::System>;
using PortConfiguration = Configuration<Scope::Port>;
using PortGroupConfiguration = std::array<PortConfiguration, kPortsPerGroup>;

// What a whole read shows of the settings: every row with a field, scaled into the units the
// window shows. Write-only settings and "Calibrate System" read 0.
[[nodiscard]] SystemConfiguration decodeSystemConfiguration(Snapshot snapshot);
[[nodiscard]] PortConfiguration decodePortConfiguration(Snapshot snapshot, int p);

// A FAULT_PAUSED mark after a write is built: its value, and whether the operator may change
// it (only a set mark can be cleared; none can be set).
struct PauseMark
{
    int value = 0;
    bool enabled = false;

    bool operator==(const PauseMark &) const = default;
};

using PauseMarks = std::array<PauseMark, kPortsPerGroup>;

// Everything the panel reads from one answer.
struct DecodedSnapshot
{
    SystemConfiguration config;
    SystemInfo info;
    SystemStatus status;
    PortGroupConfiguration ports {};
    std::array<PortStatus, kPortsPerGroup> portStatus {};

    bool operator==(const DecodedSnapshot &) const = default;
};

// Nothing when the block is shorter than a snapshot; bytes after it are not part of it.
[[nodiscard]] std::optional<DecodedSnapshot> decodeSnapshot(std::span<const std::uint8_t> block);

} // namespace vantor::codec
