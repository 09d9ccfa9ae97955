// SPDX-License-Identifier: MIT
#pragma once

// Whether a snapshot can be the board's at all. The block has no checksum, so noise, a shifted
// answer or another device's bytes decode as readily as the board's; only values the board
// never reports give them away. Those are the read-back settings whose range holds every value
// the board takes (the port count: 8 to 48 in steps of 8), and nothing else: other fields use
// every value of their bits, or show what they do not expect as "Err".

#include "settingtable.h"
#include "snapshot.h"

#include <QString>

#include <array>
#include <optional>

namespace vantor::codec {

// Read-back settings the board keeps within their range.
inline constexpr std::array kPlausibleRanges { Setting::SYS_PORT_CNT };

static_assert(
    [] {
        for (const Setting s : kPlausibleRanges) {
            if (settingRow(s).access != Access::ReadBack || !settingRow(s).field)
                return false;
        }
        return true;
    }(),
    "a plausibility check needs a setting that a read shows");

struct Implausibility
{
    Setting setting;
    int value; // as a read shows it

    bool operator==(const Implausibility &) const = default;
};

// The first setting out of its range, or nothing when the snapshot may be the board's.
[[nodiscard]] std::optional<Implausibility> checkPlausible(Snapshot snapshot);

// "Ports in System 34 (the board reports 8 to 48 in steps of 8)".
[[nodiscard]] QString implausibilityText(const Implausibility &found);

} // namespace vantor::codec
