// SPDX-License-Identifier: MIT
#pragma once

// What apply and set write. Both read the groups involved first, then overlay the changes on
// what was read, then write: the system block when system settings are named, and the port
// block of each group with named port settings. Settings no read can show take their designed
// values unless named: the write-only fault enable and pause marks, and the one-shot actions
// (set may name these to send them once; a profile never holds them).

#include <codec/settingsstore.h>
#include <frames/commands.h>
#include <session/profile.h>

#include <QByteArray>
#include <QStringList>

#include <optional>
#include <set>
#include <vector>

namespace vantor::cli {

// KEY=VALUE from the command line: the setting, its element and its value as a store holds it.
struct Assignment
{
    codec::Setting setting;
    int element = 0;
    int value = 0;
};

struct Assignments
{
    std::vector<Assignment> items;
    QString error; // set: refused, naming the KEY=VALUE

    [[nodiscard]] bool ok() const { return error.isEmpty(); }
};

// port: 1..48, needed for port settings. Flags take true/false (1/0, on/off, yes/no), lists
// their caption, numbers a whole number within the setting's range.
[[nodiscard]] Assignments parseAssignments(const QStringList &texts, std::optional<int> port);

struct WritePlan
{
    bool system = false;
    std::set<int> groups; // port blocks, one per group

    [[nodiscard]] bool empty() const { return !system && groups.empty(); }
    // Every group written, and group 0 for the system settings.
    [[nodiscard]] std::set<int> groupsToRead() const;
    // The group whose paused-fault marks the system write updates, as the panel's tab would.
    [[nodiscard]] int systemGroup() const { return groups.empty() ? 0 : *groups.begin(); }
};

[[nodiscard]] WritePlan planFor(const session::Profile &profile);
// Before checking what changed: every block a named setting lives in.
[[nodiscard]] WritePlan planFor(const std::vector<Assignment> &assignments);

// After the reads, before the overlay: one-shot actions off, and the write-only settings of the
// groups' ports at their designed values.
void resetUnreadable(codec::SettingsStore &store, const std::set<int> &groups);

// Writes the assignments into the store; the blocks that carry a change: a read-back value
// that differs, any write-only value, a one-shot action that is asked for.
[[nodiscard]] WritePlan applyAssignments(const std::vector<Assignment> &assignments,
                                         codec::SettingsStore &store);

// One line per setting of the plan's blocks that differs: "port 2 power_limit_w 15 -> 10",
// "master_enable true -> false".
[[nodiscard]] QStringList changeLines(const WritePlan &plan, const codec::SettingsStore &before,
                                      const codec::SettingsStore &after);

struct PlannedBlock
{
    protocol::RequestKind kind;
    std::uint8_t code = 0;
    QByteArray bytes;
};

struct PlannedBlocks
{
    std::vector<PlannedBlock> blocks;
    QString error; // a block could not be built

    [[nodiscard]] bool ok() const { return error.isEmpty(); }
};

// The blocks in the order they go out, built from the store as the engine builds them at
// launch (this updates the paused-fault marks in the store, as a write does).
[[nodiscard]] PlannedBlocks buildBlocks(const WritePlan &plan, codec::SettingsStore &store);

// One line per block: "0x18 system configuration write: 08 00 ...".
[[nodiscard]] QByteArray blocksText(const std::vector<PlannedBlock> &blocks);

} // namespace vantor::cli
