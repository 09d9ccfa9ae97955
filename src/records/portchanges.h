// SPDX-License-Identifier: MIT
#pragma once

// What changed on the ports from one answer to the next: the mode, fault, class and Port Enable
// codes of every port the answers name. The first answer for a port gives its initial state.
// The switching between current and voltage sampling of a powered port is not a change: the
// controller alternates at every measurement, so every powered port would change twice a
// second. The event log and the metrics' fault counters both count from here.

#include <codec/configuration.h>

#include <array>
#include <optional>
#include <vector>

namespace vantor::records {

enum class PortChangeKind : std::uint8_t { Mode, Fault, Class, PortEnable };
inline constexpr std::size_t kPortChangeKinds = 4;

struct PortChange
{
    PortChangeKind kind = PortChangeKind::Mode;
    int element = 0;           // g * 8 + p
    std::optional<int> before; // none: the port's first answer
    int now = 0;
};

// The code a change follows, from a decoded port.
[[nodiscard]] int changeCode(const codec::PortStatus &status, PortChangeKind kind);

class PortChangeTracker
{
public:
    // The changes the answer for group brings, port by port in kind order.
    [[nodiscard]] std::vector<PortChange> update(const codec::DecodedSnapshot &answer, int group);

private:
    struct PortState
    {
        bool known = false;
        std::array<int, kPortChangeKinds> codes {};
    };
    std::array<PortState, codec::kElementCount> m_ports {};
};

} // namespace vantor::records
