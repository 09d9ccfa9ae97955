// SPDX-License-Identifier: MIT
#pragma once

// Every setting the panel writes to the board, and every reading it shows for a port, in one
// table each. Profile keys, JSON keys, CSV columns, metric names, dialog captions and ranges
// all come from here; nothing else spells a field list out again.
//
// A setting's value is an integer: a check box's value (0 clear, 1 set), a list's 0-based
// index, or an entry's number (the discovery limits in ohms, as the window shows them).

#include "snapshot.h"

#include <array>
#include <optional>
#include <span>
#include <string_view>

namespace vantor::codec {

// System settings first, then the settings of one port; the order is the readback's.
enum class Setting : std::uint8_t {
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
    COMMON_CTRL_7,
    PD_R_LOW,
    PD_R_HIGH,
    LEG_SUPP_1,
    LEG_SUPP_2,
    LEG_SUPP_3,
    LEG_SUPP_4,
    MAX_SYS_PWR,
    STARTUP_OL_DLY,
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
    PORT_PWR_ORDER_2,
    PORT_PWR_LMT,
    PORT_LED_DRV,
    FAULT_ENABLE,
    FAULT_PAUSED,
};

inline constexpr std::size_t kSystemSettingCount = 21;
inline constexpr std::size_t kPortSettingCount = 15;
inline constexpr Setting kFirstPortSetting = Setting::PORT_MODE_BYPS_1;

// Elements of the per-port settings: port p of group g is element g * 8 + p.
inline constexpr int kElementCount = protocol::kGroupCount * kPortsPerGroup;

enum class Scope : std::uint8_t { System, Port };

enum class Kind : std::uint8_t {
    Flag,   // false / true
    Number, // a whole number within the row's range (and on its step)
    Choice, // one of the row's choices, by caption
};

enum class Access : std::uint8_t {
    ReadBack,  // a whole read shows it
    WriteOnly, // only ever written: no read can show it
    OneShot,   // an action that rides on one write; never kept in a profile
};

struct SettingRow
{
    Setting setting;
    std::string_view name;    // the control's own name
    std::string_view key;     // profile and JSON key
    std::string_view caption; // as the window labels it
    Scope scope;
    Kind kind;
    Access access;
    // What a write carries without wrapping; a profile or the settings dialog refuses the rest.
    int minimum = 0;
    int maximum = 1;
    int step = 1;
    // Where a whole read finds it, and by how much its raw value is multiplied.
    std::optional<Field> field;
    int readScale = 1;
    std::span<const std::string_view> choices {};
    int designDefault = 0;
    // Whether the design lets the operator change it.
    bool designEnabled = true;
    // A gauge in the metrics exposition (per board or per port, by scope), in the unit the
    // store holds it in; empty when the setting is not one.
    std::string_view metric = {};
    std::string_view metricHelp = {};
};

namespace detail {
inline constexpr std::array<std::string_view, 4> kFrequencyChoices { "60 Hz", "50 Hz", "55 Hz",
                                                                     "Err" };
inline constexpr std::array<std::string_view, 4> kLedChoices { "Hi-Z", "Red", "Green", "Err" };
} // namespace detail

inline constexpr int kPortCountStep = 8;
inline constexpr int kMaxPortCount = 48;

// clang-format off
inline constexpr std::array<SettingRow, kSystemSettingCount + kPortSettingCount> kSettings { {
    { Setting::SYS_PORT_CNT, "SYS_PORT_CNT", "ports_in_system", "Ports in System",
      Scope::System, Kind::Number, Access::ReadBack, kPortCountStep, kMaxPortCount, kPortCountStep,
      Field::SYS_PORT_CNT, 1, {}, 8, true },
    { Setting::NOISE_MST_EN_1, "NOISE_MST_EN_1", "line_frequency_rejection",
      "Line Frequency Rejection", Scope::System, Kind::Choice, Access::ReadBack, 0, 3, 1,
      Field::NOISE_MST_EN_1, 1, detail::kFrequencyChoices, 0, true },
    { Setting::NOISE_MST_EN_2, "NOISE_MST_EN_2", "enable_all_ports_for_power",
      "Enable All Ports for Power", Scope::System, Kind::Flag, Access::ReadBack, 0, 1, 1,
      Field::NOISE_MST_EN_2, 1, {}, 0, false },
    { Setting::Brellik_I2C_ADDR, "Brellik_I2C_ADDR", "brellik_i2c_address",
      "Brellik I2C Address (dec)", Scope::System, Kind::Number, Access::ReadBack, 0, 31, 1,
      Field::Brellik_I2C_ADDR, 1, {}, 0, false },
    { Setting::FLT_PWR_CYCLES_1, "FLT_PWR_CYCLES_1", "fault_cycles", "Fault Cycles",
      Scope::System, Kind::Number, Access::ReadBack, 0, 15, 1, Field::FLT_PWR_CYCLES_1, 1, {}, 0,
      false },
    { Setting::FLT_PWR_CYCLES_2, "FLT_PWR_CYCLES_2", "power_cycles", "Power Cycles",
      Scope::System, Kind::Number, Access::ReadBack, 0, 15, 1, Field::FLT_PWR_CYCLES_2, 1, {}, 0,
      false },
    { Setting::COMMON_CTRL_1, "COMMON_CTRL_1", "master_enable", "Master Enable",
      Scope::System, Kind::Flag, Access::ReadBack, 0, 1, 1, Field::COMMON_CTRL_1, 1, {}, 1, true },
    { Setting::COMMON_CTRL_2, "COMMON_CTRL_2", "software_por_vantor", "Software POR Vantor",
      Scope::System, Kind::Flag, Access::OneShot, 0, 1, 1, Field::COMMON_CTRL_2, 1, {}, 0, true },
    { Setting::COMMON_CTRL_3, "COMMON_CTRL_3", "software_por_brellik", "Software POR Brellik",
      Scope::System, Kind::Flag, Access::OneShot, 0, 1, 1, Field::COMMON_CTRL_3, 1, {}, 0, true },
    { Setting::COMMON_CTRL_4, "COMMON_CTRL_4", "pause_brellik", "Pause Brellik",
      Scope::System, Kind::Flag, Access::ReadBack, 0, 1, 1, Field::COMMON_CTRL_4, 1, {}, 0, false },
    { Setting::COMMON_CTRL_5, "COMMON_CTRL_5", "port_led_direct_write", "Port LED Direct Write",
      Scope::System, Kind::Flag, Access::ReadBack, 0, 1, 1, Field::COMMON_CTRL_5, 1, {}, 0, true },
    { Setting::COMMON_CTRL_6, "COMMON_CTRL_6", "priority_disconnect_enable",
      "Priority Disconnect Enable", Scope::System, Kind::Flag, Access::ReadBack, 0, 1, 1,
      Field::COMMON_CTRL_6, 1, {}, 0, false },
    { Setting::COMMON_CTRL_7, "COMMON_CTRL_7", "calibrate_system", "Calibrate System",
      Scope::System, Kind::Flag, Access::OneShot, 0, 1, 1, std::nullopt, 1, {}, 0, true },
    { Setting::PD_R_LOW, "PD_R_LOW", "pd_discovery_r_low_ohm",
      "Lower Limit of PD Discovery R (ohms)", Scope::System, Kind::Number, Access::ReadBack,
      0, 131070, 1, Field::PD_R_LOW, 2, {}, 19000, true },
    { Setting::PD_R_HIGH, "PD_R_HIGH", "pd_discovery_r_high_ohm",
      "Upper Limit of PD Discovery R (ohms)", Scope::System, Kind::Number, Access::ReadBack,
      0, 131070, 1, Field::PD_R_HIGH, 2, {}, 26500, true },
    { Setting::LEG_SUPP_1, "LEG_SUPP_1", "accept_legacy_type_1", "Accept Legacy Type 1",
      Scope::System, Kind::Flag, Access::ReadBack, 0, 1, 1, Field::LEG_SUPP_1, 1, {}, 0, false },
    { Setting::LEG_SUPP_2, "LEG_SUPP_2", "accept_legacy_type_2", "Accept Legacy Type 2",
      Scope::System, Kind::Flag, Access::ReadBack, 0, 1, 1, Field::LEG_SUPP_2, 1, {}, 0, true },
    { Setting::LEG_SUPP_3, "LEG_SUPP_3", "accept_legacy_type_3", "Accept Legacy Type 3",
      Scope::System, Kind::Flag, Access::ReadBack, 0, 1, 1, Field::LEG_SUPP_3, 1, {}, 0, false },
    { Setting::LEG_SUPP_4, "LEG_SUPP_4", "accept_legacy_type_4", "Accept Legacy Type 4",
      Scope::System, Kind::Flag, Access::ReadBack, 0, 1, 1, Field::LEG_SUPP_4, 1, {}, 0, false },
    { Setting::MAX_SYS_PWR, "MAX_SYS_PWR", "total_power_limit_w", "Total Power Limit (W)",
      Scope::System, Kind::Number, Access::ReadBack, 0, 2047, 1, Field::MAX_SYS_PWR, 1, {}, 0,
      false, "vantor_board_power_limit_watts",
      "Total power limit of the board; 0 is no limit." },
    { Setting::STARTUP_OL_DLY, "STARTUP_OL_DLY", "startup_overload_delay_ms",
      "Startup Overload Delay (ms)", Scope::System, Kind::Number, Access::ReadBack, 0, 255, 1,
      Field::STARTUP_OL_DLY, 1, {}, 0, true },

    { Setting::PORT_MODE_BYPS_1, "PORT_MODE_BYPS_1", "bypass_detection", "Bypass Detection",
      Scope::Port, Kind::Flag, Access::ReadBack, 0, 1, 1, Field::PORT_MODE_BYPS_1, 1, {}, 0, true },
    { Setting::PORT_MODE_BYPS_2, "PORT_MODE_BYPS_2", "bypass_classification",
      "Bypass Classification", Scope::Port, Kind::Flag, Access::ReadBack, 0, 1, 1,
      Field::PORT_MODE_BYPS_2, 1, {}, 0, true },
    { Setting::PORT_MODE_BYPS_3, "PORT_MODE_BYPS_3", "bypass_power_up", "Bypass Power-up",
      Scope::Port, Kind::Flag, Access::ReadBack, 0, 1, 1, Field::PORT_MODE_BYPS_3, 1, {}, 0, true },
    { Setting::PORT_MODE_BYPS_4, "PORT_MODE_BYPS_4", "bypass_power_sampling",
      "Bypass Power Sampling", Scope::Port, Kind::Flag, Access::ReadBack, 0, 1, 1,
      Field::PORT_MODE_BYPS_4, 1, {}, 0, true },
    { Setting::PORT_MODE_BYPS_5, "PORT_MODE_BYPS_5", "detect_legacy_signature",
      "Detect Legacy Signature", Scope::Port, Kind::Flag, Access::ReadBack, 0, 1, 1,
      Field::PORT_MODE_BYPS_5, 1, {}, 0, true },
    { Setting::PORT_MODE_BYPS_6, "PORT_MODE_BYPS_6", "dc_disconnect_detect_enable",
      "DC Disconnect Detect Enable", Scope::Port, Kind::Flag, Access::ReadBack, 0, 1, 1,
      Field::PORT_MODE_BYPS_6, 1, {}, 0, true },
    { Setting::PORT_MODE_BYPS_7, "PORT_MODE_BYPS_7", "ac_disconnect_detect_enable",
      "AC Disconnect Detect Enable", Scope::Port, Kind::Flag, Access::ReadBack, 0, 1, 1,
      Field::PORT_MODE_BYPS_7, 1, {}, 0, false },
    { Setting::PORT_SYS_MGMNT_1, "PORT_SYS_MGMNT_1", "class_violation_power_down",
      "Class Violation Power-down", Scope::Port, Kind::Flag, Access::ReadBack, 0, 1, 1,
      Field::PORT_SYS_MGMNT_1, 1, {}, 0, false },
    { Setting::PORT_SYS_MGMNT_2, "PORT_SYS_MGMNT_2", "port_enable", "Port Enable",
      Scope::Port, Kind::Flag, Access::ReadBack, 0, 1, 1, Field::PORT_SYS_MGMNT_2, 1, {}, 0, true },
    { Setting::PORT_SYS_MGMNT_3, "PORT_SYS_MGMNT_3", "priority", "Set Port Priorty",
      Scope::Port, Kind::Number, Access::ReadBack, 0, 7, 1, Field::PORT_SYS_MGMNT_3, 1, {}, 0,
      false },
    { Setting::PORT_PWR_ORDER_2, "PORT_PWR_ORDER_2", "powered_order", "Powered Order",
      Scope::Port, Kind::Number, Access::ReadBack, 0, 255, 1, Field::PORT_PWR_ORDER, 1, {}, 0,
      false },
    { Setting::PORT_PWR_LMT, "PORT_PWR_LMT", "power_limit_w", "Set Port Power Limit (W)",
      Scope::Port, Kind::Number, Access::ReadBack, 0, 255, 1, Field::PORT_PWR_LMT, 1, {}, 0,
      false, "vantor_port_power_limit_watts", "Power limit of the port." },
    { Setting::PORT_LED_DRV, "PORT_LED_DRV", "led_output_drive", "LED Output Drive",
      Scope::Port, Kind::Choice, Access::ReadBack, 0, 3, 1, Field::PORT_LED_DRV, 1,
      detail::kLedChoices, 0, true },
    { Setting::FAULT_ENABLE, "FAULT_ENABLE", "fault_enable", "Fault Enable",
      Scope::Port, Kind::Flag, Access::WriteOnly, 0, 1, 1, std::nullopt, 1, {}, 0, true },
    { Setting::FAULT_PAUSED, "FAULT_PAUSED", "fault_paused", "Fault Paused",
      Scope::Port, Kind::Flag, Access::WriteOnly, 0, 1, 1, std::nullopt, 1, {}, 0, false },
} };
// clang-format on

[[nodiscard]] constexpr const SettingRow &settingRow(Setting setting)
{
    return kSettings[static_cast<std::size_t>(setting)];
}

[[nodiscard]] constexpr bool isPortSetting(Setting setting)
{
    return setting >= kFirstPortSetting;
}

// The rows of one scope, in table order.
[[nodiscard]] constexpr std::span<const SettingRow> settingRows(Scope scope)
{
    return scope == Scope::System ? std::span(kSettings).first(kSystemSettingCount)
                                  : std::span(kSettings).subspan(kSystemSettingCount);
}

[[nodiscard]] std::optional<Setting> settingForKey(Scope scope, std::string_view key);

// Whether a value lies in the row's range and on its step.
[[nodiscard]] constexpr bool inRange(const SettingRow &row, int value)
{
    return value >= row.minimum && value <= row.maximum && (value - row.minimum) % row.step == 0;
}

namespace detail {

[[nodiscard]] constexpr bool settingRowsAreSound()
{
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
        const SettingRow &row = kSettings[i];
        if (static_cast<std::size_t>(row.setting) != i)
            return false;
        if ((row.scope == Scope::Port) != (i >= kSystemSettingCount))
            return false;
        if (!inRange(row, row.designDefault) || row.step <= 0)
            return false;
        if (row.kind == Kind::Choice
            && row.choices.size() != static_cast<std::size_t>(row.maximum + 1))
            return false;
        // A read shows what has a field; one-shot actions may or may not have one.
        if (row.access == Access::ReadBack && !row.field)
            return false;
        if (row.access == Access::WriteOnly && row.field)
            return false;
    }
    return true;
}

} // namespace detail

static_assert(detail::settingRowsAreSound(),
              "a setting row is out of order, out of its scope, or its range does not hold it");

// One value of a port record: the columns every record writer (JSON, CSV, text, metrics)
// takes in this order.
enum class Column : std::uint8_t {
    Timestamp,
    Group,
    Port,
    PortEnable,
    Mode,
    Fault,
    PwDStatus,
    Class,
    ClassText,
    ClassCurrent,
    Current,
    Voltage,
    Power,
    DiscoveryR,
    DiscoveryC,
    PoweredOrder,
    Led,
};

enum class ColumnType : std::uint8_t { Time, Integer, Bool, Text, Number, OptionalInteger };

// A gauge holds the column's value; a state set has one series per state, 1 for the current.
enum class MetricKind : std::uint8_t { Gauge, StateSet };

struct ColumnRow
{
    Column column;
    std::string_view key;
    std::string_view caption; // the window's row caption, where it has one
    std::string_view unit;
    ColumnType type;
    // A gauge per port for the metrics exposition; empty when the column is not one.
    std::string_view metric = {};
    std::string_view metricHelp = {};
    double metricFactor = 1.0; // from the column's unit to the metric's base unit
    MetricKind metricKind = MetricKind::Gauge;
};

// clang-format off
inline constexpr std::array<ColumnRow, 17> kColumns { {
    { Column::Timestamp, "timestamp", "Time", "", ColumnType::Time },
    { Column::Group, "group", "Port group", "", ColumnType::Integer },
    { Column::Port, "port", "Port", "", ColumnType::Integer },
    { Column::PortEnable, "port_enable", "Port Enable", "", ColumnType::Bool,
      "vantor_port_enabled", "Whether Port Enable is set (1) or clear (0).", 1.0 },
    { Column::Mode, "mode", "Mode Status", "", ColumnType::Text,
      "vantor_port_mode", "Mode status of the port", 1.0, MetricKind::StateSet },
    { Column::Fault, "fault", "Fault Status", "", ColumnType::Text,
      "vantor_port_fault", "Fault status of the port", 1.0, MetricKind::StateSet },
    { Column::PwDStatus, "pw_d_status", "Power status", "", ColumnType::Text,
      "vantor_port_state", "Power status of the port in the kernel's PSE words", 1.0,
      MetricKind::StateSet },
    { Column::Class, "class", "Class", "", ColumnType::OptionalInteger,
      "vantor_port_class", "Determined class of the powered device (0..5).", 1.0 },
    { Column::ClassText, "class_text", "Determined Class", "", ColumnType::Text },
    { Column::ClassCurrent, "class_current_ma", "Class Current (mA)", "mA", ColumnType::Number },
    { Column::Current, "current_ma", "Port Current (mA)", "mA", ColumnType::Number,
      "vantor_port_current_amperes", "Port current.", 0.001 },
    { Column::Voltage, "voltage_v", "Port Voltage (V)", "V", ColumnType::Number,
      "vantor_port_voltage_volts", "Port voltage.", 1.0 },
    { Column::Power, "power_w", "Port Power (W)", "W", ColumnType::Number,
      "vantor_port_power_watts", "Port power.", 1.0 },
    { Column::DiscoveryR, "discovery_r_ohm", "Discovery R (ohms)", "ohm", ColumnType::Number,
      "vantor_port_discovery_resistance_ohms", "Signature resistance seen by detection.", 1.0 },
    { Column::DiscoveryC, "discovery_c_uf", "Discovery C (uF)", "uF", ColumnType::Number },
    { Column::PoweredOrder, "powered_order", "Powered Order", "", ColumnType::Integer },
    { Column::Led, "led", "LED Status Indicators", "", ColumnType::Text },
} };
// clang-format on

static_assert(
    [] {
        for (std::size_t i = 0; i < kColumns.size(); ++i) {
            if (static_cast<std::size_t>(kColumns[i].column) != i)
                return false;
        }
        return true;
    }(),
    "the record columns are out of order");

[[nodiscard]] constexpr const ColumnRow &columnRow(Column column)
{
    return kColumns[static_cast<std::size_t>(column)];
}

} // namespace vantor::codec
