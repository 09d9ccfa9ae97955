// SPDX-License-Identifier: MIT
#pragma once

// The board's documented worked examples, shared by the decoding and the window tests.

#include "bytes.h"

#include <array>
#include <utility>

namespace vantor::testing {

// Port 0 of group 0 with default scales: powered order 3, LED drive "Green", 0.1 uF,
// 25000 ohms, class "2: 7W", 10 mA class current, 350.5 mA, 48 V, 15.9 W, "Null", "Ramp Up".
inline constexpr std::array<std::pair<int, std::uint8_t>, 16> kPortZeroExample { {
    { 35, 3 },
    { 51, 0x02 },
    { 53, 0x01 },
    { 54, 0x00 },
    { 69, 0xD4 },
    { 70, 0x30 },
    { 85, 2 },
    { 93, 0x64 },
    { 94, 0x00 },
    { 109, 0xB1 },
    { 110, 0x0D },
    { 125, 0xC0 },
    { 126, 0x12 },
    { 141, 0x9F },
    { 142, 0x00 },
    { 157, 0x04 },
} };

inline void setBytes(QByteArray &block, std::span<const std::pair<int, std::uint8_t>> bytes)
{
    for (const auto &[offset, value] : bytes)
        block[offset] = static_cast<char>(value);
}

} // namespace vantor::testing
