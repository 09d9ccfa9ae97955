#pragma once

// The window's settings as the two write blocks need them. Check boxes give 0 (clear),
// 1 (set) or 2 (partly set); lists give the 0-based index of the selected item (-1 for none);
// text entries give their text as it stands.

#include <decode/snapshot.h>

#include <QString>

#include <array>

namespace vantor::encode {

inline constexpr int kPortsPerGroup = protocol::kPortsPerGroup;

struct SystemSettings
{
    QString SYS_PORT_CNT; // text of the selected item
    int NOISE_MST_EN_1 = 0;
    int NOISE_MST_EN_2 = 0;
    QString Brellik_I2C_ADDR;
    QString FLT_PWR_CYCLES_1;
    QString FLT_PWR_CYCLES_2;
    int COMMON_CTRL_1 = 0; // "Master Enable"
    int COMMON_CTRL_2 = 0;
    int COMMON_CTRL_3 = 0;
    int COMMON_CTRL_4 = 0;
    int COMMON_CTRL_5 = 0;
    int COMMON_CTRL_6 = 0;
    int COMMON_CTRL_7 = 0; // "Calibrate System"
    QString PD_R_LOW;
    QString PD_R_HIGH;
    int LEG_SUPP_1 = 0;
    int LEG_SUPP_2 = 0;
    int LEG_SUPP_3 = 0;
    int LEG_SUPP_4 = 0;
    QString MAX_SYS_PWR;
    QString STARTUP_OL_DLY;
};

struct PortSettings
{
    std::array<int, 7> PORT_MODE_BYPS {}; // [0] is PORT_MODE_BYPS_1
    int PORT_SYS_MGMNT_1 = 0;
    int PORT_SYS_MGMNT_2 = 0; // "Port Enable"
    int PORT_SYS_MGMNT_3 = 0; // priority index
    QString PORT_PWR_ORDER_2;
    QString PORT_PWR_LMT;
    int PORT_LED_DRV = 0;
    int FAULT_ENABLE = 0;
    int FAULT_PAUSED = 0;
};

struct PortGroupSettings
{
    std::array<PortSettings, kPortsPerGroup> ports {};
    int COMMON_CTRL_1 = 0; // "Master Enable"
};

// A FAULT_PAUSED box after a build: its value, and whether the operator may change it.
struct PauseMark
{
    int value = 0;
    bool enabled = false;

    bool operator==(const PauseMark &) const = default;
};

using PauseMarks = std::array<PauseMark, kPortsPerGroup>;

} // namespace vantor::encode
