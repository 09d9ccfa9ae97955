// SPDX-License-Identifier: MIT
#include "statustext.h"

#include <array>

namespace vantor::codec {

namespace {

using namespace Qt::Literals::StringLiterals;

constexpr StatusText kUndefined { "Error"_L1, "Undefined State"_L1, "error"_L1 };
constexpr StatusText kNull { "Null"_L1, "Null State"_L1, "null"_L1 };

constexpr std::array<StatusText, 16> kFaultTexts {
    kNull,
    StatusText { "UV/OV 2ms"_L1,
                 "UV/OV fault/spike- Port V falls outside the 44-57V window > 2msec"_L1,
                 "uv_ov_2ms"_L1 },
    StatusText { "UV/OV .5ms"_L1,
                 "UV/OV fault/spike- Port V falls outside the 44-57V window > 500usec"_L1,
                 "uv_ov_500us"_L1 },
    StatusText {
        "OI Short"_L1,
        "Peak over current fault- Port peak current exceeded 475mA > 10usec: dead short"_L1,
        "oi_short"_L1 },
    StatusText { "Overload"_L1, "Overload fault- Port average current limited to 475mA > 50msec"_L1,
                 "overload"_L1 },
    kUndefined,
    kUndefined,
    kUndefined,
    kNull,
    StatusText { "CI Fail"_L1, "Port classification current exceeds expected class rating"_L1,
                 "ci_fail"_L1 },
    StatusText { "Disconnect"_L1, "Load disconnect- Port average running current is < 10mA"_L1,
                 "disconnect"_L1 },
    StatusText { "DR A/D Fail"_L1, "Port discovery A/D conversion failed"_L1, "dr_ad_fail"_L1 },
    StatusText { "CI A/D Fail"_L1, "Port classification A/D conversion failed"_L1,
                 "ci_ad_fail"_L1 },
    StatusText { "SA A/D Fail"_L1, "Sample A/D conversion failed"_L1, "sa_ad_fail"_L1 },
    StatusText { "DF A/D Fail"_L1, "Device Fault A/D conversion failed"_L1, "df_ad_fail"_L1 },
    kUndefined,
};

constexpr std::array<StatusText, 16> kModeTexts {
    StatusText { "Port Off"_L1, "Reset State: Port Off"_L1, "port_off"_L1 },
    StatusText { "R Detect"_L1, "Resistive detection in progress"_L1, "r_detect"_L1 },
    StatusText { "C Detect"_L1, "Capacitive detection in progress"_L1, "c_detect"_L1 },
    StatusText { "Classify"_L1, "Classification in progress"_L1, "classify"_L1 },
    StatusText { "Ramp Up"_L1, "Ramp Port Voltage Up"_L1, "ramp_up"_L1 },
    StatusText { "Ramp Down"_L1, "Ramp Port Voltage Down"_L1, "ramp_down"_L1 },
    kUndefined,
    kUndefined,
    StatusText { "I Sample"_L1, "Current (I) sample in progress"_L1, "i_sample"_L1 },
    StatusText { "V Sample"_L1, "Voltage sample in progress"_L1, "v_sample"_L1 },
    kUndefined,
    kUndefined,
    kUndefined,
    kUndefined,
    kUndefined,
    kUndefined,
};

constexpr std::array kClassCaptions { "0: 15.4W"_L1, "1: 4W"_L1,    "2: 7W"_L1,
                                      "3: 15.4W"_L1, "4: 15.4W"_L1, "5: 15.4W"_L1 };

template<std::size_t N> StatusText lookUp(const std::array<StatusText, N> &table, int code)
{
    if (code < 0 || static_cast<std::size_t>(code) >= table.size())
        return kUndefined;
    return table[static_cast<std::size_t>(code)];
}

} // namespace

StatusText faultText(int code)
{
    return lookUp(kFaultTexts, code);
}

StatusText modeText(int code)
{
    return lookUp(kModeTexts, code);
}

QLatin1StringView classCaption(int classByte)
{
    if (classByte < 0 || static_cast<std::size_t>(classByte) >= kClassCaptions.size())
        return "Error"_L1;
    return kClassCaptions[static_cast<std::size_t>(classByte)];
}

} // namespace vantor::codec
