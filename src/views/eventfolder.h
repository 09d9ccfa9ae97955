// SPDX-License-Identifier: MIT
#pragma once

// Repeated cycles shown as one entry. A port that keeps cycling through detection, or a board
// that leaves request after request unanswered, would otherwise bury everything else under the
// same few entries. Entries are followed per port (the entries about no port form a stream of
// their own): once the same sequence of entries of one kind comes twice in a row, those entries
// become a group, and each further entry that goes on with the cycle joins it. Any other entry
// of that port (a fault, a class change, a mode off the cycle) ends the group, and the steps of
// a cycle it had not completed are shown on their own again.
//
// Only which entries are shown changes: every entry stays in the log as it came.

#include "event.h"

#include <deque>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace vantor::views {

class EventFolder
{
public:
    // Longer cycles are not looked for.
    static constexpr int kMaxCycle = 8;

    enum class Role : std::uint8_t {
        Single, // shown on its own
        Head,   // shown for its whole group
        Member, // of a group, not shown
    };

    struct Group
    {
        std::vector<int> rows; // oldest first; the first is the head
        int cycle = 1;         // entries in one cycle
        [[nodiscard]] int repeats() const { return static_cast<int>(rows.size()) / cycle; }
    };

    // Folds the entry that follows the last one; its row is size(). Returns the earlier rows
    // whose role or group changed.
    std::vector<int> append(const Event &event);
    void clear();

    [[nodiscard]] int size() const { return static_cast<int>(m_slots.size()); }
    [[nodiscard]] Role role(int row) const { return slot(row).role; }
    // The group of a head or a member; null for a single entry.
    [[nodiscard]] const Group *group(int row) const { return slot(row).group.get(); }

    // Whether the entry can be folded at all: faults, class changes, the link coming and going
    // and a port's initial state always stand on their own.
    [[nodiscard]] static bool foldable(const Event &event);

private:
    // What makes two entries the same step of a cycle. Where a step came from is the step
    // before it, but for the first one, which may come from anywhere.
    struct Step
    {
        EventKind kind = EventKind::Mode;
        QString to;
        QString detail;
        bool operator==(const Step &) const = default;
    };
    struct Slot
    {
        Role role = Role::Single;
        std::shared_ptr<Group> group;
    };
    struct Stream
    {
        // The latest entries shown on their own, all of one foldable kind, oldest first.
        std::vector<std::pair<int, Step>> tail;
        // The group that the next entries may join, and its cycle's steps.
        std::shared_ptr<Group> open;
        std::vector<Step> cycle;
    };

    [[nodiscard]] const Slot &slot(int row) const { return m_slots[static_cast<std::size_t>(row)]; }
    Slot &slot(int row) { return m_slots[static_cast<std::size_t>(row)]; }
    void close(Stream &stream, std::vector<int> &changed);
    void findCycle(Stream &stream, std::vector<int> &changed);

    std::deque<Slot> m_slots;
    std::map<std::pair<int, int>, Stream> m_streams;
};

} // namespace vantor::views
