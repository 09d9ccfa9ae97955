// SPDX-License-Identifier: MIT
#include "configuration.h"

namespace vantor::codec {

namespace {

template<Scope S> Configuration<S> decodeScope(Snapshot snapshot, int p)
{
    Configuration<S> c;
    for (const SettingRow &row : settingRows(S)) {
        if (row.field)
            c[row.setting] = static_cast<int>(fieldValue(snapshot, *row.field, p)) * row.readScale;
    }
    return c;
}

} // namespace

SystemConfiguration decodeSystemConfiguration(Snapshot snapshot)
{
    return decodeScope<Scope::System>(snapshot, 0);
}

PortConfiguration decodePortConfiguration(Snapshot snapshot, int p)
{
    return decodeScope<Scope::Port>(snapshot, p);
}

std::optional<DecodedSnapshot> decodeSnapshot(std::span<const std::uint8_t> block)
{
    const std::optional<Snapshot> s = asSnapshot(block);
    if (!s)
        return std::nullopt;
    DecodedSnapshot d;
    d.config = decodeSystemConfiguration(*s);
    d.info = decodeSystemInfo(*s);
    d.status = decodeSystemStatus(*s);
    for (int p = 0; p < kPortsPerGroup; ++p) {
        d.ports[static_cast<std::size_t>(p)] = decodePortConfiguration(*s, p);
        d.portStatus[static_cast<std::size_t>(p)] = decodePortStatus(*s, p);
    }
    return d;
}

std::optional<Setting> settingForKey(Scope scope, std::string_view key)
{
    for (const SettingRow &row : settingRows(scope)) {
        if (row.key == key)
            return row.setting;
    }
    return std::nullopt;
}

} // namespace vantor::codec
