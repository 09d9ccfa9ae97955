// SPDX-License-Identifier: MIT
#pragma once

// Placing a field into a write block by the snapshot's own table rows: the write blocks mirror
// stretches of the snapshot, shifted by base bytes.

#include "byteorder.h"
#include "snapshot.h"

#include <cstdint>
#include <span>

namespace vantor::codec::detail {

// ORs the field of port p into its place; bits beyond the field's width are dropped.
inline void putField(std::span<std::uint8_t> block, std::size_t base, codec::Field field, int p,
                     std::uint32_t value)
{
    const codec::FieldRow &row = codec::fieldRow(field);
    const codec::FieldPlace place = codec::fieldPlace(row, p);
    const std::size_t at = place.offset - base;
    switch (row.width) {
    case codec::Width::U16le:
        codec::writeU16le(block, at, static_cast<std::uint16_t>(value));
        return;
    case codec::Width::U11:
        codec::writeU11(block, at, static_cast<std::uint16_t>(value));
        return;
    case codec::Width::Bits:
        break;
    }
    block[at] = static_cast<std::uint8_t>(block[at] | ((value << place.shift) & place.mask));
}

// A check box as one bit: only a set box (1) sets it; 2 (partly set) ANDs to 0 like elsewhere.
[[nodiscard]] constexpr std::uint32_t flagBit(int boxValue)
{
    return static_cast<std::uint32_t>(boxValue) & 1u;
}

} // namespace vantor::codec::detail
