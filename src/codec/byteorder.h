// SPDX-License-Identifier: MIT
#pragma once

// Every multi-byte value the board exchanges is little-endian; all reads and writes of them
// go through here.

#include <cstddef>
#include <cstdint>
#include <span>

namespace vantor::codec {

// Bits 15..0 from two bytes, low byte first.
[[nodiscard]] constexpr std::uint16_t readU16le(std::span<const std::uint8_t> bytes,
                                                std::size_t offset)
{
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

// An 11-bit value: bits 7..0 at offset, bits 10..8 in the low three bits of the next byte.
[[nodiscard]] constexpr std::uint16_t readU11(std::span<const std::uint8_t> bytes,
                                              std::size_t offset)
{
    return static_cast<std::uint16_t>(bytes[offset] | ((bytes[offset + 1] & 0x07) << 8));
}

constexpr void writeU16le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value)
{
    bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

// Writes the low 11 bits of value; the upper five bits of the second byte become 0.
constexpr void writeU11(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value)
{
    bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>((value >> 8) & 0x07);
}

} // namespace vantor::codec
