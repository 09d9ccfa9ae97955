// SPDX-License-Identifier: MIT
#pragma once

// The 14-byte system configuration block, sent after command 24. Bytes 0..12 carry the same
// fields as snapshot bytes 0..12, so a configuration read back and written unchanged gives
// the same bytes (except bit 2 of byte 4, "Calibrate System", which the board never reports).
//
//   0  SYS_PORT_CNT (low 8 bits of the number)   7..8  PD_R_HIGH / 2, little-endian
//   1  NOISE_MST_EN_1 (5..4), _2 (3)             9     LEG_SUPP_1..4 (3..0)
//   2  Brellik_I2C_ADDR AND 0x1F                 10..11 MAX_SYS_PWR, 11 bits
//   3  FLT_PWR_CYCLES_1 (7..4), _2 (3..0)        12    STARTUP_OL_DLY, 0..255
//   4  COMMON_CTRL_1..4 (7..4), 0 (3),           13    always 0
//      COMMON_CTRL_7 (2), _5 (1), _6 (0)
//   5..6  PD_R_LOW / 2, little-endian, halves to even

#include "configuration.h"
#include "textnumber.h"

#include <optional>

namespace vantor::codec {

struct SystemBlockResult
{
    protocol::SystemBlock block {};
    std::optional<Refusal> refusal; // set: there is no block

    [[nodiscard]] bool ok() const { return !refusal; }
};

// Numbers wider than their field wrap into it, as the board's block has them; the start-up
// overload delay alone is not masked, so a delay outside 0..255 is refused instead.
[[nodiscard]] SystemBlockResult encodeSystemBlock(const SystemConfiguration &config);

// The FAULT_PAUSED marks after a system write: a mark survives only while its port is enabled
// and "Master Enable" is set (bitwise AND of the box values).
[[nodiscard]] PauseMarks systemPauseMarks(const PortGroupConfiguration &ports, int masterEnable);

} // namespace vantor::codec
