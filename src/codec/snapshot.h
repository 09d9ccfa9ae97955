// SPDX-License-Identifier: MIT
#pragma once

// The register snapshot: the 168 bytes the board answers to a whole read and to a port
// refresh. No header, echo or checksum; offset 0 is already data. p is the port of the group.
//
//   0        SYS_PORT_CNT                   19+p   PORT_MODE_BYPS_1..7 (bits 7..1)
//   1        NOISE_MST_EN_1 (5..4), _2 (3)  27+p   PORT_SYS_MGMNT_1 (6), _2 (5), _3 (2..0)
//   2        Brellik_I2C_ADDR               35+p   PORT_PWR_ORDER
//   3        FLT_PWR_CYCLES_1 (7..4), _2    43+p   PORT_PWR_LMT
//   4        COMMON_CTRL_1..4 (7..4),       51/52  PORT_LED_DRV, 2 bits a port
//            COMMON_CTRL_5 (1), _6 (0)      53+2p  PORT_DISC_C   } 16 bits,
//   5..6     PD_R_LOW   (units of 2 ohms)   69+2p  PORT_DISC_R   } little-endian
//   7..8     PD_R_HIGH  (units of 2 ohms)   85+p   PORT_CLASS_2
//   9        LEG_SUPP_1..4 (3..0)           93+2p  PORT_CLASS_1  }
//   10..11   MAX_SYS_PWR (11 bits)          109+2p PORT_CURRENT  } 16 bits,
//   12       STARTUP_OL_DLY                 125+2p PORT_VOLTAGE  } little-endian
//   13       REV_IDENT_1 (major-1 | minor)  141+2p PORT_POWER    }
//   14       REV_IDENT_2 (eighths)          157+p  PORT_FLT_MODE_1 (7..4), _2 (3..0)
//   15       PORT_SVC_NUM                   167    FAULT_PAUSED, bit p
//   16..17   BOX_PWR (11 bits, 0.1 W)       18, 165, 166: unused

#include <frames/commands.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vantor::codec {

inline constexpr int kPortsPerGroup = protocol::kPortsPerGroup;

// A block that is known to hold a whole snapshot; anything after it is not part of it.
using Snapshot = std::span<const std::uint8_t, protocol::kSnapshotSize>;

// The snapshot at the start of block, or nothing when the block is too short to be one.
[[nodiscard]] std::optional<Snapshot> asSnapshot(std::span<const std::uint8_t> block);

enum class Field : std::uint8_t {
    SYS_PORT_CNT,
    NOISE_MST_EN_1,
    NOISE_MST_EN_2,
    Brellik_I2C_ADDR,
    FLT_PWR_CYCLES_1,
    FLT_PWR_CYCLES_2,
    COMMON_CTRL_1,
    COMMON_CTRL_2,
    COMMON_CTRL_3,
    COMMON_CTRL_4,
    COMMON_CTRL_5,
    COMMON_CTRL_6,
    PD_R_LOW,
    PD_R_HIGH,
    LEG_SUPP_1,
    LEG_SUPP_2,
    LEG_SUPP_3,
    LEG_SUPP_4,
    MAX_SYS_PWR,
    STARTUP_OL_DLY,
    REV_IDENT_1_MAJOR,
    REV_IDENT_1_MINOR,
    REV_IDENT_2,
    PORT_SVC_NUM,
    BOX_PWR,
    PORT_MODE_BYPS_1,
    PORT_MODE_BYPS_2,
    PORT_MODE_BYPS_3,
    PORT_MODE_BYPS_4,
    PORT_MODE_BYPS_5,
    PORT_MODE_BYPS_6,
    PORT_MODE_BYPS_7,
    PORT_SYS_MGMNT_1,
    PORT_SYS_MGMNT_2,
    PORT_SYS_MGMNT_3,
    PORT_PWR_ORDER,
    PORT_PWR_LMT,
    PORT_LED_DRV,
    PORT_DISC_C,
    PORT_DISC_R,
    PORT_CLASS_2,
    PORT_CLASS_1,
    PORT_CURRENT,
    PORT_VOLTAGE,
    PORT_POWER,
    PORT_FLT_MODE_1,
    PORT_FLT_MODE_2,
    FAULT_PAUSED,
};

enum class Width : std::uint8_t {
    Bits,  // (byte AND mask) >> shift
    U16le, // two bytes, low byte first
    U11,   // low byte, then bits 10..8 in the low three bits of the next byte
};

struct FieldRow
{
    Field field;
    std::string_view name;
    std::uint8_t offset; // of port 0
    std::uint8_t mask;   // of port 0; 0xFF for the multi-byte widths
    std::uint8_t shift;
    Width width = Width::Bits;
    std::uint8_t ports = 1;  // 1 for a system field, 8 for a per-port one
    std::uint8_t stride = 0; // bytes from the field of one port to the next
    // Ports sharing one byte: each next port moves mask and shift up by the field's width.
    std::uint8_t portsPerByte = 1;
};

// clang-format off
inline constexpr std::array kFields {
    FieldRow { Field::SYS_PORT_CNT,      "SYS_PORT_CNT",       0, 0xFF, 0 },
    FieldRow { Field::NOISE_MST_EN_1,    "NOISE_MST_EN_1",     1, 0x30, 4 },
    FieldRow { Field::NOISE_MST_EN_2,    "NOISE_MST_EN_2",     1, 0x08, 3 },
    FieldRow { Field::Brellik_I2C_ADDR,  "Brellik_I2C_ADDR",   2, 0xFF, 0 },
    FieldRow { Field::FLT_PWR_CYCLES_1,  "FLT_PWR_CYCLES_1",   3, 0xF0, 4 },
    FieldRow { Field::FLT_PWR_CYCLES_2,  "FLT_PWR_CYCLES_2",   3, 0x0F, 0 },
    FieldRow { Field::COMMON_CTRL_1,     "COMMON_CTRL_1",      4, 0x80, 7 },
    FieldRow { Field::COMMON_CTRL_2,     "COMMON_CTRL_2",      4, 0x40, 6 },
    FieldRow { Field::COMMON_CTRL_3,     "COMMON_CTRL_3",      4, 0x20, 5 },
    FieldRow { Field::COMMON_CTRL_4,     "COMMON_CTRL_4",      4, 0x10, 4 },
    FieldRow { Field::COMMON_CTRL_5,     "COMMON_CTRL_5",      4, 0x02, 1 },
    FieldRow { Field::COMMON_CTRL_6,     "COMMON_CTRL_6",      4, 0x01, 0 },
    FieldRow { Field::PD_R_LOW,          "PD_R_LOW",           5, 0xFF, 0, Width::U16le },
    FieldRow { Field::PD_R_HIGH,         "PD_R_HIGH",          7, 0xFF, 0, Width::U16le },
    FieldRow { Field::LEG_SUPP_1,        "LEG_SUPP_1",         9, 0x08, 3 },
    FieldRow { Field::LEG_SUPP_2,        "LEG_SUPP_2",         9, 0x04, 2 },
    FieldRow { Field::LEG_SUPP_3,        "LEG_SUPP_3",         9, 0x02, 1 },
    FieldRow { Field::LEG_SUPP_4,        "LEG_SUPP_4",         9, 0x01, 0 },
    FieldRow { Field::MAX_SYS_PWR,       "MAX_SYS_PWR",       10, 0xFF, 0, Width::U11 },
    FieldRow { Field::STARTUP_OL_DLY,    "STARTUP_OL_DLY",    12, 0xFF, 0 },
    FieldRow { Field::REV_IDENT_1_MAJOR, "REV_IDENT_1 major", 13, 0x80, 7 },
    FieldRow { Field::REV_IDENT_1_MINOR, "REV_IDENT_1 minor", 13, 0x7F, 0 },
    FieldRow { Field::REV_IDENT_2,       "REV_IDENT_2",       14, 0xFF, 0 },
    FieldRow { Field::PORT_SVC_NUM,      "PORT_SVC_NUM",      15, 0xFF, 0 },
    FieldRow { Field::BOX_PWR,           "BOX_PWR",           16, 0xFF, 0, Width::U11 },
    FieldRow { Field::PORT_MODE_BYPS_1,  "PORT_MODE_BYPS_1",  19, 0x80, 7, Width::Bits,  8, 1 },
    FieldRow { Field::PORT_MODE_BYPS_2,  "PORT_MODE_BYPS_2",  19, 0x40, 6, Width::Bits,  8, 1 },
    FieldRow { Field::PORT_MODE_BYPS_3,  "PORT_MODE_BYPS_3",  19, 0x20, 5, Width::Bits,  8, 1 },
    FieldRow { Field::PORT_MODE_BYPS_4,  "PORT_MODE_BYPS_4",  19, 0x10, 4, Width::Bits,  8, 1 },
    FieldRow { Field::PORT_MODE_BYPS_5,  "PORT_MODE_BYPS_5",  19, 0x08, 3, Width::Bits,  8, 1 },
    FieldRow { Field::PORT_MODE_BYPS_6,  "PORT_MODE_BYPS_6",  19, 0x04, 2, Width::Bits,  8, 1 },
    FieldRow { Field::PORT_MODE_BYPS_7,  "PORT_MODE_BYPS_7",  19, 0x02, 1, Width::Bits,  8, 1 },
    FieldRow { Field::PORT_SYS_MGMNT_1,  "PORT_SYS_MGMNT_1",  27, 0x40, 6, Width::Bits,  8, 1 },
    FieldRow { Field::PORT_SYS_MGMNT_2,  "PORT_SYS_MGMNT_2",  27, 0x20, 5, Width::Bits,  8, 1 },
    FieldRow { Field::PORT_SYS_MGMNT_3,  "PORT_SYS_MGMNT_3",  27, 0x07, 0, Width::Bits,  8, 1 },
    FieldRow { Field::PORT_PWR_ORDER,    "PORT_PWR_ORDER",    35, 0xFF, 0, Width::Bits,  8, 1 },
    FieldRow { Field::PORT_PWR_LMT,      "PORT_PWR_LMT",      43, 0xFF, 0, Width::Bits,  8, 1 },
    FieldRow { Field::PORT_LED_DRV,      "PORT_LED_DRV",      51, 0x03, 0, Width::Bits,  8, 1, 4 },
    FieldRow { Field::PORT_DISC_C,       "PORT_DISC_C",       53, 0xFF, 0, Width::U16le, 8, 2 },
    FieldRow { Field::PORT_DISC_R,       "PORT_DISC_R",       69, 0xFF, 0, Width::U16le, 8, 2 },
    FieldRow { Field::PORT_CLASS_2,      "PORT_CLASS_2",      85, 0xFF, 0, Width::Bits,  8, 1 },
    FieldRow { Field::PORT_CLASS_1,      "PORT_CLASS_1",      93, 0xFF, 0, Width::U16le, 8, 2 },
    FieldRow { Field::PORT_CURRENT,      "PORT_CURRENT",     109, 0xFF, 0, Width::U16le, 8, 2 },
    FieldRow { Field::PORT_VOLTAGE,      "PORT_VOLTAGE",     125, 0xFF, 0, Width::U16le, 8, 2 },
    FieldRow { Field::PORT_POWER,        "PORT_POWER",       141, 0xFF, 0, Width::U16le, 8, 2 },
    FieldRow { Field::PORT_FLT_MODE_1,   "PORT_FLT_MODE_1",  157, 0xF0, 4, Width::Bits,  8, 1 },
    FieldRow { Field::PORT_FLT_MODE_2,   "PORT_FLT_MODE_2",  157, 0x0F, 0, Width::Bits,  8, 1 },
    FieldRow { Field::FAULT_PAUSED,      "FAULT_PAUSED",     167, 0x01, 0, Width::Bits,  8, 0, 8 },
};
// clang-format on

[[nodiscard]] constexpr const FieldRow &fieldRow(Field field)
{
    return kFields[static_cast<std::size_t>(field)];
}

// Where port p's part of a row lies: its first byte, its mask in that byte and its shift.
struct FieldPlace
{
    std::size_t offset;
    std::uint8_t mask;
    std::uint8_t shift;
};

[[nodiscard]] constexpr FieldPlace fieldPlace(const FieldRow &row, int p)
{
    const auto bits = std::popcount(row.mask);
    const auto slot = static_cast<unsigned>(p % row.portsPerByte);
    const auto move = slot * static_cast<unsigned>(bits);
    return { static_cast<std::size_t>(row.offset + (p / row.portsPerByte) * row.stride),
             static_cast<std::uint8_t>(row.mask << move),
             static_cast<std::uint8_t>(row.shift + move) };
}

// The last byte any port's part of the row touches.
[[nodiscard]] constexpr std::size_t lastByte(const FieldRow &row)
{
    return fieldPlace(row, row.ports - 1).offset + (row.width == Width::Bits ? 0 : 1);
}

namespace detail {

[[nodiscard]] constexpr bool rowsAreSound()
{
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        const FieldRow &row = kFields[i];
        if (static_cast<std::size_t>(row.field) != i)
            return false;
        if (row.mask == 0 || std::countr_zero(row.mask) != row.shift)
            return false;
        if (row.ports != 1 && row.ports != kPortsPerGroup)
            return false;
        if (row.portsPerByte == 0 || lastByte(row) >= protocol::kSnapshotSize)
            return false;
    }
    return true;
}

} // namespace detail

static_assert(detail::rowsAreSound(),
              "a snapshot field row is out of order, has a bad mask or reaches past the block");

// The value of a field of port p (0 for system fields). p outside the row's ports reads 0.
[[nodiscard]] unsigned fieldValue(Snapshot snapshot, Field field, int p = 0);

struct SystemStatus
{
    int COMMON_CTRL_4 = 0;
    int PORT_SVC_NUM = 0;
    int BOX_PWR = 0; // tenths of a watt

    bool operator==(const SystemStatus &) const = default;
};

// Firmware (REV_IDENT_1) and chip (REV_IDENT_2) versions.
struct SystemInfo
{
    int firmwareMajor = 1;
    int firmwareMinor = 0;
    int chipEighths = 0;

    bool operator==(const SystemInfo &) const = default;
};

// Raw readings of one port; scaling and texts are applied when they are shown.
struct PortStatus
{
    int PORT_PWR_ORDER_1 = 0;
    int ledDrive = 0;
    int portEnable = 0; // PORT_SYS_MGMNT_2 as the answer reports it
    int PORT_DISC_C = 0;
    int PORT_DISC_R = 0;
    int PORT_CLASS_2 = 0; // class byte
    int PORT_CLASS_1 = 0;
    int PORT_CURRENT = 0;
    int PORT_VOLTAGE = 0;
    int PORT_POWER = 0;
    int faultCode = 0; // PORT_FLT_MODE_1
    int modeCode = 0;  // PORT_FLT_MODE_2
    int pausedBit = 0; // bit p of offset 167

    bool operator==(const PortStatus &) const = default;
};

[[nodiscard]] SystemInfo decodeSystemInfo(Snapshot snapshot);
[[nodiscard]] SystemStatus decodeSystemStatus(Snapshot snapshot);
[[nodiscard]] PortStatus decodePortStatus(Snapshot snapshot, int p);

} // namespace vantor::codec
