// SPDX-License-Identifier: MIT
#pragma once

// Where the panel keeps the board's settings between a read and a write: the window's controls,
// or memory for the command line and profiles. Decoding writes into a store, encoding reads
// from one; the paused-fault rule of a write writes back into it.

#include "configuration.h"
#include "textnumber.h"

#include <optional>

namespace vantor::codec {

// A setting as a store holds it: its value, or why it has none (an entry emptied, or holding
// what is not a whole number in the range its text is read in, or a list with no item chosen).
struct StoredValue
{
    int value = 0;
    TextProblem problem = TextProblem::None;

    [[nodiscard]] bool ok() const { return problem == TextProblem::None; }
};

class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    // element: 0 for a system setting; g * 8 + p for port p of group g (0..kElementCount-1).
    [[nodiscard]] virtual StoredValue value(Setting setting, int element = 0) const = 0;
    virtual void setValue(Setting setting, int element, int value) = 0;
    // Whether the operator may change it: the LED drive lists follow "Port LED Direct Write",
    // and a paused-fault mark is open to the operator only while it is set.
    [[nodiscard]] virtual bool isEnabled(Setting setting, int element) const = 0;
    virtual void setEnabled(Setting setting, int element, bool enabled) = 0;
};

// Settings in memory, starting at the window's designed values.
class MemoryStore final : public SettingsStore
{
public:
    MemoryStore();

    [[nodiscard]] StoredValue value(Setting setting, int element = 0) const override;
    void setValue(Setting setting, int element, int value) override;
    [[nodiscard]] bool isEnabled(Setting setting, int element) const override;
    void setEnabled(Setting setting, int element, bool enabled) override;

private:
    SystemConfiguration m_system;
    std::array<PortConfiguration, kElementCount> m_ports {};
    std::array<bool, kSystemSettingCount> m_systemEnabled {};
    std::array<std::array<bool, kPortSettingCount>, kElementCount> m_portEnabled {};
};

// The range an entry's text is read in before its field masks it: 32 bits for the discovery
// limits, 0..255 for the start-up overload delay (the one field never masked), else 16 bits.
[[nodiscard]] IntegerRange textRange(Setting setting);

// The settings a write needs, or the first that cannot be read, named by its caption
// ("Set Port Power Limit (W) of Port 12 is empty").
struct SystemReading
{
    SystemConfiguration config;
    std::optional<Refusal> refusal;
};
struct PortGroupReading
{
    PortGroupConfiguration ports {};
    std::optional<Refusal> refusal;
};

[[nodiscard]] SystemReading readSystemConfiguration(const SettingsStore &store);
[[nodiscard]] PortGroupReading readPortGroup(const SettingsStore &store, int group);

// Writes a configuration into the store (the system settings, or the eight ports of a group).
void storeSystemConfiguration(SettingsStore &store, const SystemConfiguration &config);
void storePortGroup(SettingsStore &store, int group, const PortGroupConfiguration &ports);

} // namespace vantor::codec
