#pragma once

// Placing a field into a write block by the snapshot's own table rows: the write blocks mirror
// stretches of the snapshot, shifted by base bytes.

#include <decode/byteorder.h>
#include <decode/snapshot.h>

#include <cstdint>
#include <span>

namespace vantor::encode::detail {

// ORs the field of port p into its place; bits beyond the field's width are dropped.
inline void putField(std::span<std::uint8_t> block, std::size_t base, decode::Field field, int p,
                     std::uint32_t value)
{
    const decode::FieldRow &row = decode::fieldRow(field);
    const decode::FieldPlace place = decode::fieldPlace(row, p);
    const std::size_t at = place.offset - base;
    switch (row.width) {
    case decode::Width::U16le:
        decode::writeU16le(block, at, static_cast<std::uint16_t>(value));
        return;
    case decode::Width::U11:
        decode::writeU11(block, at, static_cast<std::uint16_t>(value));
        return;
    case decode::Width::Bits:
        break;
    }
    block[at] = static_cast<std::uint8_t>(block[at] | ((value << place.shift) & place.mask));
}

// A check box as one bit: only a set box (1) sets it; 2 (partly set) ANDs to 0 like elsewhere.
[[nodiscard]] constexpr std::uint32_t flagBit(int boxValue)
{
    return static_cast<std::uint32_t>(boxValue) & 1u;
}

} // namespace vantor::encode::detail
