#pragma once

#include <protocol/commands.h>

#include <QString>

#include <optional>

namespace vantor::window {

struct MainControls;

// Fills offsets 0..12 of the system block from the window and applies the fault-pause rule
// to the group's FAULT_PAUSED boxes. Returns a refusal (field and reason, in plain words)
// when an entry the block needs is empty or out of range; then neither the block nor the
// window is changed.
std::optional<QString> buildSystemBlock(MainControls &controls, int group,
                                        protocol::SystemBlock &block);

// Fills offsets 0..35 of the port block from the eight ports of the group and updates their
// FAULT_PAUSED boxes; refuses like buildSystemBlock.
std::optional<QString> buildPortBlock(MainControls &controls, int group,
                                      protocol::PortBlock &block);

} // namespace vantor::window
