// SPDX-License-Identifier: MIT
#pragma once

// The 217-byte port control block, sent after command 32 + group. Bytes 0..33 carry the same
// fields as snapshot bytes 19..52; p is the port of the group.
//
//   p       PORT_MODE_BYPS_1..7 (bits 7..1), bit 0 always 0
//   8 + p   PORT_SYS_MGMNT_1 (6), _2 (5), _3 (2..0)
//   16 + p  PORT_PWR_ORDER_2 AND 0xFF
//   24 + p  PORT_PWR_LMT AND 0xFF
//   32, 33  PORT_LED_DRV, 2 bits a port (ports 0..3, then 4..7)
//   34      FAULT_ENABLE, bit p
//   35      pause mark, bit p: FAULT_PAUSED AND FAULT_ENABLE AND Port Enable AND Master Enable
//   36..216 always 0

#include "configuration.h"

namespace vantor::codec {

// Byte k of the block (k < 34) holds what snapshot byte k + kPortBlockSnapshotBase holds.
inline constexpr std::size_t kPortBlockSnapshotBase = 19;
inline constexpr std::size_t kFaultEnableOffset = 34;
inline constexpr std::size_t kPauseMarkOffset = 35;

struct PortBlockResult
{
    protocol::PortBlock block {};
    PauseMarks pauseMarks {}; // the group's FAULT_PAUSED marks after the build
};

// Numbers wider than their byte wrap into it (a power limit of 300 goes out as 44).
[[nodiscard]] PortBlockResult encodePortBlock(const PortGroupConfiguration &ports,
                                              int masterEnable);

} // namespace vantor::codec
