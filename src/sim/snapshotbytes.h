// SPDX-License-Identifier: MIT
#pragma once

// The board's little-endian fields, read and written here rather than with the panel's own
// code so that the simulated board stays an independent check of it.

#include "boardmodel.h"

#include <cstddef>
#include <cstdint>

namespace vantor::sim {

// COMMON_CTRL_4's bit that lets ports deliver power at all.
inline constexpr std::uint8_t kMasterEnable = 0x80;

inline std::uint16_t readU16le(const Snapshot &s, std::size_t offset)
{
    return static_cast<std::uint16_t>(s[offset] | s[offset + 1] << 8);
}

// Eleven bits: the low byte, then bits 10..8 in the next byte.
inline int readU11(const Snapshot &s, std::size_t offset)
{
    return s[offset] | (s[offset + 1] & 0x07) << 8;
}

inline void putU16(Snapshot &s, std::size_t offset, std::uint16_t v)
{
    s[offset] = static_cast<std::uint8_t>(v & 0xFF);
    s[offset + 1] = static_cast<std::uint8_t>(v >> 8);
}

inline void putU11(Snapshot &s, std::size_t offset, int v)
{
    s[offset] = static_cast<std::uint8_t>(v & 0xFF);
    s[offset + 1] = static_cast<std::uint8_t>((v >> 8) & 0x07);
}

} // namespace vantor::sim
