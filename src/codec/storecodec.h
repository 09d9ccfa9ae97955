// SPDX-License-Identifier: MIT
#pragma once

// Answers decoded into a settings store, and write blocks built out of one.

#include "settingsstore.h"

#include <frames/commands.h>

#include <optional>

namespace vantor::codec {

// The configuration readback of a whole read, in the panel's order: the system settings (with
// the LED drive lists of elements 0..portCount-1 enabled as "Port LED Direct Write" says), the
// settings of each port of the group, then the group's paused-fault marks, recomputed from
// the board's flag, "Master Enable" and "Port Enable" as just written.
void readBack(SettingsStore &store, Snapshot snapshot, int group, int portCount);

// What a port refresh writes into the settings: "Pause Brellik", and the paused-fault marks
// that are not open to the operator (an open mark is left for the operator to clear).
void readRefresh(SettingsStore &store, Snapshot snapshot, int group);

// Offsets 0..12 of the system block from the store, and the fault-pause rule applied to the
// group's marks. On a refusal neither the block nor the store changes.
[[nodiscard]] std::optional<Refusal> buildSystemBlock(SettingsStore &store, int group,
                                                      protocol::SystemBlock &block);
// Offsets 0..35 of the port block from the group's ports, and their marks updated; refuses alike.
[[nodiscard]] std::optional<Refusal> buildPortBlock(SettingsStore &store, int group,
                                                    protocol::PortBlock &block);

} // namespace vantor::codec
