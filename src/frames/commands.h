// SPDX-License-Identifier: MIT
#pragma once

// The board's byte protocol. Every request is one command byte:
//
//   whole read      8 + tab   -> 168-byte register snapshot
//   system write   24         -> 1 ack byte, then the panel sends the 14-byte system block
//   port write     32 + tab   -> 1 ack byte, then the panel sends the 217-byte port block
//   port refresh   40 + tab   -> 168-byte register snapshot
//
// No echo, length, address or checksum anywhere; the request in flight says what an answer is.

#include <array>
#include <cstdint>
#include <optional>

namespace vantor::protocol {

inline constexpr std::size_t kSnapshotSize = 168;
inline constexpr std::size_t kSystemBlockSize = 14;
inline constexpr std::size_t kPortBlockSize = 217;
// Offsets of each write block that are ever given a value; the rest are always 0.
inline constexpr std::size_t kSystemBlockUsed = 13;
inline constexpr std::size_t kPortBlockUsed = 36;

inline constexpr std::uint8_t kWholeReadBase = 8;
inline constexpr std::uint8_t kSystemWriteCode = 24;
inline constexpr std::uint8_t kPortWriteBase = 32;
inline constexpr std::uint8_t kPortRefreshBase = 40;
inline constexpr std::uint8_t kKindMask = 0xF8;

inline constexpr int kGroupCount = 8;
inline constexpr int kPortsPerGroup = 8;

using SystemBlock = std::array<std::uint8_t, kSystemBlockSize>;
using PortBlock = std::array<std::uint8_t, kPortBlockSize>;

enum class RequestKind { WholeRead, SystemWrite, PortWrite, PortRefresh };

[[nodiscard]] constexpr std::uint8_t commandCode(RequestKind kind, int selectedTab)
{
    const auto tab = static_cast<std::uint8_t>(selectedTab);
    switch (kind) {
    case RequestKind::WholeRead:
        return static_cast<std::uint8_t>(kWholeReadBase + tab);
    case RequestKind::SystemWrite:
        return kSystemWriteCode;
    case RequestKind::PortWrite:
        return static_cast<std::uint8_t>(kPortWriteBase + tab);
    case RequestKind::PortRefresh:
        return static_cast<std::uint8_t>(kPortRefreshBase + tab);
    }
    return 0;
}

// Bytes to wait for after the command byte: a snapshot, or one acknowledgement byte.
[[nodiscard]] constexpr int receiveThreshold(RequestKind kind)
{
    return kind == RequestKind::WholeRead || kind == RequestKind::PortRefresh
        ? static_cast<int>(kSnapshotSize)
        : 1;
}

// The request a command code belongs to, by its upper five bits; none for unknown codes.
[[nodiscard]] constexpr std::optional<RequestKind> kindOfCode(std::uint8_t code)
{
    switch (code & kKindMask) {
    case kWholeReadBase:
        return RequestKind::WholeRead;
    case kSystemWriteCode:
        return RequestKind::SystemWrite;
    case kPortWriteBase:
        return RequestKind::PortWrite;
    case kPortRefreshBase:
        return RequestKind::PortRefresh;
    default:
        return std::nullopt;
    }
}

[[nodiscard]] constexpr const char *kindName(RequestKind kind)
{
    switch (kind) {
    case RequestKind::WholeRead:
        return "whole read";
    case RequestKind::SystemWrite:
        return "system configuration write";
    case RequestKind::PortWrite:
        return "port control write";
    case RequestKind::PortRefresh:
        return "port status refresh";
    }
    return "";
}

} // namespace vantor::protocol
