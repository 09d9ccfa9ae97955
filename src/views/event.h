// SPDX-License-Identifier: MIT
#pragma once

// One entry of the event log, as plain data: what changed on a port, what happened to the link,
// or the outcome of something the operator asked for.

#include <QString>

#include <array>
#include <cstdint>
#include <string_view>

namespace vantor::views {

// The port kinds come first, in the order of the port change tracker.
enum class EventKind : std::uint8_t {
    Mode,
    Fault,
    Class,
    PortEnable,
    LinkOpened,
    LinkLost,
    LinkReconnected,
    LinkOpenFailed,
    LinkClosed,
    TimeOut,
    RefusedWrite,
    Implausible,
    SaveToDevice,
    SendPortControl,
    SettingsFile,
};

inline constexpr std::size_t kEventKindCount = 15;

// The kinds' names, in EventKind order: shown, filtered by and saved.
inline constexpr std::array<std::string_view, kEventKindCount> kEventKindNames {
    "Mode",
    "Fault",
    "Class",
    "Port Enable",
    "Link opened",
    "Link lost",
    "Link reconnected",
    "Link open failed",
    "Link closed",
    "Time-out",
    "Refused write",
    "Implausible answer",
    "Save to Device",
    "Send Port Control",
    "Settings file",
};
static_assert(static_cast<std::size_t>(EventKind::SettingsFile) + 1 == kEventKindCount);

[[nodiscard]] QString eventKindName(EventKind kind);

struct Event
{
    qint64 utcMs = 0;
    EventKind kind = EventKind::Mode;
    int group = -1; // -1: not about a port group
    int port = 0;   // 1..48; 0: not about a port
    QString from;   // empty for a port's initial state
    QString to;
    QString detail; // the hover text of a fault or mode, or why the event happened
};

} // namespace vantor::views
