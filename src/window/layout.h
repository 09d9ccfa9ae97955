// SPDX-License-Identifier: MIT
#pragma once

// The designed window, in twips (15 twips are one device-independent pixel). Every position
// is relative to the top-left corner of the control's container. The window is built by
// loops over these tables.

#include "controls.h"

#include <QRgb>

#include <array>
#include <string_view>

namespace vantor::window::layout {

inline constexpr int kTwipsPerPixel = 15;

struct Twips
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

enum class Container { Master, SysCtrl, SysInfo, Frame1, Frame2, Frame3 };

// Shown: visible in its container. Hidden: never shown (hidden from the start, or placed
// outside its frame, which would clip it). Covered: visible but lying under a frame.
enum class Show { Shown, Hidden, Covered };

enum class Look { Caption, BoldCaption, Orange, Green, Yellow };

inline constexpr QRgb kOrange = 0xFF8000;
inline constexpr QRgb kGreen = 0x00FF00;
inline constexpr QRgb kYellow = 0xFFFF00;

// The designed window: 12300 twips wide outside, its client area 7860 high. The panel adds
// tab headers and a status bar below the menu, so it sizes the client area, not the frame.
inline constexpr int kDesignedWidth = 12300;
inline constexpr int kDesignedClientHeight = 7860;
inline constexpr int kResizeMargin = 1000;

inline constexpr Twips kImage2 { 0, 0, 12240, 555 };
inline constexpr Twips kMasterFrame { 0, 480, 12255, 7335 };
inline constexpr Twips kVScroll1 { 12480, 0, 255, 12015 };
inline constexpr Twips kPortControl { 2400, 2040, 9780, 5175 };
inline constexpr Twips kImage3 { 10680, 120, 1455, 1815 };
inline constexpr Twips kImage1 { 11760, 240, 570, 615 };

[[nodiscard]] constexpr Twips box(int left, int top)
{
    return { left, top, 255, 255 };
}

struct FrameRow
{
    QGroupBox *MainControls::*member;
    const char *name;
    const char *caption;
    Twips place;
    bool large; // 9 pt caption instead of 8.25 pt
};

// clang-format off
inline constexpr FrameRow kFrames[] {
    {&MainControls::Sys_Ctrl, "Sys_Ctrl", "System Setup && Control", {120, 240, 4335, 1695}, false},
    {&MainControls::Sys_Info, "Sys_Info", "System Info", {4560, 240, 3135, 1695}, false},
    {&MainControls::Frame1, "Frame1", "Device Setting", {7800, 240, 2055, 1695}, true},
    {&MainControls::Frame2, "Frame2", "Port Specific Control", {120, 2040, 2175, 2535}, true},
    {&MainControls::Frame3, "Frame3", "Parametric Information", {120, 4680, 2175, 2535}, true},
};
// clang-format on

// Static captions of the Label1 array.
struct Label1Row
{
    int index;
    Container container;
    const char *caption;
    Twips place;
    Show show;
};

// clang-format off
inline constexpr Label1Row kLabel1[] {
    // System setup
    {52, Container::SysCtrl, "Calibrate System", {600, 360, 1335, 255}, Show::Shown},
    {40, Container::SysCtrl, "PD Discovery R (ohms):", {120, 720, 1815, 255}, Show::Shown},
    {39, Container::SysCtrl, "Upper Limit", {2040, 720, 975, 375}, Show::Shown},
    {41, Container::SysCtrl, "Lower Limit", {2040, 1200, 975, 255}, Show::Shown},
    {16, Container::SysCtrl, "Fault Cycles", {4680, 240, 1215, 375}, Show::Hidden},
    {15, Container::SysCtrl, "Power Cycles", {4680, 600, 1215, 375}, Show::Hidden},
    {18, Container::SysCtrl, "Accept Legacy Types:", {4680, 960, 1815, 255}, Show::Hidden},
    {19, Container::SysCtrl, "Type 1", {4800, 1200, 735, 255}, Show::Hidden},
    {42, Container::SysCtrl, "Type 2", {4800, 1440, 735, 255}, Show::Hidden},
    {43, Container::SysCtrl, "Type 3", {4800, 1680, 735, 255}, Show::Hidden},
    {44, Container::SysCtrl, "Type 4", {4800, 1920, 735, 255}, Show::Hidden},
    {53, Container::SysCtrl, "Startup Overload Delay (ms)", {4680, 2160, 2055, 375}, Show::Hidden},
    {6, Container::SysCtrl, "Brellik I2C Address (dec):", {4680, 2760, 2055, 375}, Show::Hidden},
    // System information
    {34, Container::SysInfo, "Chip Version", {120, 240, 1695, 255}, Show::Shown},
    {12, Container::SysInfo, "Firmware Version", {120, 600, 1695, 255}, Show::Shown},
    {45, Container::SysInfo, "Total Port Power (W)", {120, 1320, 1575, 255}, Show::Shown},
    // Row captions of the port columns
    {32, Container::Frame2, "Bypass Classification", {120, 720, 1815, 255}, Show::Shown},
    {33, Container::Frame2, "Bypass Detection", {120, 1080, 1815, 255}, Show::Shown},
    {48, Container::Frame2, "LED Status Indicators", {120, 1440, 1695, 255}, Show::Shown},
    {35, Container::Frame2, "Fault Status", {120, 1800, 1095, 255}, Show::Shown},
    {7, Container::Frame2, "Mode Status", {120, 2160, 975, 255}, Show::Shown},
    {13, Container::Frame3, "Discovery R (ohms)", {120, 240, 1575, 255}, Show::Shown},
    {21, Container::Frame3, "Port Current (mA)", {120, 600, 1455, 255}, Show::Shown},
    {22, Container::Frame3, "Port Voltage (V)", {120, 960, 1335, 255}, Show::Shown},
    {50, Container::Frame3, "Port Power (W)", {120, 1320, 1335, 255}, Show::Shown},
    {9, Container::Frame3, "Class Current (mA)", {120, 1680, 1455, 255}, Show::Shown},
    {10, Container::Frame3, "Determined Class", {120, 2040, 1455, 255}, Show::Shown},
    // Captions of the settings kept out of sight
    {20, Container::Master, "Enable All Ports for Power", {120, 240, 1815, 255}, Show::Hidden},
    {36, Container::Master, "Software POR Vantor", {120, 720, 1455, 255}, Show::Hidden},
    {37, Container::Master, "Software POR Brellik", {120, 1080, 1455, 255}, Show::Hidden},
    {25, Container::Master, "Pause Brellik", {120, 1320, 1455, 255}, Show::Hidden},
    {17, Container::Master, "Master Enable", {120, 1680, 1455, 255}, Show::Covered},
    {23, Container::Master, "Port LED Direct Write", {1920, 240, 1695, 255}, Show::Hidden},
    {51, Container::Master, "Priority Disconnect Enable", {1920, 600, 1455, 255}, Show::Hidden},
    {5, Container::Master, "Ports in System", {1920, 1080, 1215, 255}, Show::Hidden},
    {24, Container::Master, "Line Frequency Rejection", {1920, 1320, 1095, 375}, Show::Hidden},
    {46, Container::Master, "Total Power Limit (W):", {3840, 240, 1695, 255}, Show::Hidden},
    {4, Container::Master, "System Status", {6000, 240, 1095, 255}, Show::Hidden},
    {38, Container::Master, "Current Port Serviced", {5520, 720, 1575, 255}, Show::Covered},
    {1, Container::Master, "Parametric Info", {240, 9720, 1455, 255}, Show::Hidden},
    {2, Container::Master, "(m)", {1680, 9720, 375, 255}, Show::Hidden},
    {3, Container::Master, "(b)", {2040, 9720, 375, 255}, Show::Hidden},
    {14, Container::Master, "Discovery C (uF)", {240, 10200, 1455, 255}, Show::Hidden},
    {0, Container::Master, "Port Specific Control", {120, 2760, 1815, 255}, Show::Hidden},
    {31, Container::Master, "Bypass Power-up", {120, 3480, 2175, 255}, Show::Hidden},
    {30, Container::Master, "Bypass Power Sampling", {120, 3720, 2175, 255}, Show::Hidden},
    {29, Container::Master, "Detect Legacy Signature", {120, 3960, 2175, 255}, Show::Hidden},
    {28, Container::Master, "DC Disconnect Detect Enable", {120, 4200, 2175, 255}, Show::Hidden},
    {27, Container::Master, "AC Disconnect Detect Enable", {120, 4440, 2175, 255}, Show::Hidden},
    {47, Container::Master, "Set Port Priorty", {120, 4800, 2175, 255}, Show::Hidden},
    {8, Container::Master, "Set Port Power Limit (W)", {120, 5160, 2175, 255}, Show::Hidden},
    {49, Container::Master, "Class Violation Power-down", {120, 5520, 2175, 255}, Show::Hidden},
    {11, Container::Master, "LED Output Drive", {120, 5760, 2175, 255}, Show::Hidden},
    {26, Container::Master, "Powered Order", {120, 7440, 2175, 255}, Show::Hidden},
    {54, Container::Master, "Fault Enable && Paused", {120, 7800, 2175, 255}, Show::Hidden},
};
// clang-format on
static_assert(std::size(kLabel1) == kLabel1Count, "every Label1 element has one row");

// Labels held by name: the other captions and the single value displays.
struct LabelRow
{
    QLabel *MainControls::*member;
    const char *name;
    Container container;
    const char *caption;
    Twips place;
    Look look;
    Show show;
};

// clang-format off
inline constexpr LabelRow kLabels[] {
    {&MainControls::Label2_26, "Label2_26", Container::Frame2, "Port Enable", {120, 360, 855, 255}, Look::Caption, Show::Shown},
    {&MainControls::Label3, "Label3", Container::SysInfo, "Utility Version", {120, 960, 1215, 375}, Look::Caption, Show::Shown},
    {&MainControls::REV_IDENT_2, "REV_IDENT_2", Container::SysInfo, "Chip Ver.", {1920, 240, 1095, 375}, Look::Orange, Show::Shown},
    {&MainControls::REV_IDENT_1, "REV_IDENT_1", Container::SysInfo, "FW Ver.", {1920, 600, 1095, 375}, Look::Orange, Show::Shown},
    {&MainControls::Label5, "Label5", Container::SysInfo, "1.21", {1920, 960, 1095, 375}, Look::Orange, Show::Shown},
    {&MainControls::BOX_PWR, "BOX_PWR", Container::SysInfo, "Port #", {1920, 1320, 1095, 255}, Look::Orange, Show::Shown},
    {&MainControls::Label4, "Label4", Container::Master, "Status", {7080, 240, 975, 255}, Look::Green, Show::Hidden},
    {&MainControls::PORT_SVC_NUM, "PORT_SVC_NUM", Container::Master, "Port #", {7200, 600, 495, 375}, Look::Orange, Show::Covered},
};
// clang-format on

struct CheckRow
{
    QCheckBox *MainControls::*member;
    const char *name;
    Container container;
    const char *caption;
    Twips place;
    int value;
    bool enabled;
    Show show;
};

// clang-format off
inline constexpr CheckRow kChecks[] {
    {&MainControls::COMMON_CTRL_7, "COMMON_CTRL_7", Container::SysCtrl, "Calibrate System", box(120, 360), 0, true, Show::Shown},
    {&MainControls::LEG_SUPP_1, "LEG_SUPP_1", Container::SysCtrl, "Type 1", box(5640, 1200), 0, false, Show::Hidden},
    {&MainControls::LEG_SUPP_2, "LEG_SUPP_2", Container::SysCtrl, "Type 2", box(5640, 1440), 0, true, Show::Hidden},
    {&MainControls::LEG_SUPP_3, "LEG_SUPP_3", Container::SysCtrl, "Type 3", box(5640, 1680), 0, false, Show::Hidden},
    {&MainControls::LEG_SUPP_4, "LEG_SUPP_4", Container::SysCtrl, "Type 4", box(5640, 1920), 0, false, Show::Hidden},
    {&MainControls::Interval_Update, "Interval_Update", Container::Frame1, "Enable &Auto-Refresh", {120, 360, 1815, 255}, 0, true, Show::Shown},
    {&MainControls::NOISE_MST_EN_2, "NOISE_MST_EN_2", Container::Master, "Port Status", box(1560, 240), 0, false, Show::Hidden},
    {&MainControls::COMMON_CTRL_2, "COMMON_CTRL_2", Container::Master, "Port Status", box(1560, 720), 0, true, Show::Hidden},
    {&MainControls::COMMON_CTRL_3, "COMMON_CTRL_3", Container::Master, "Port Status", box(1560, 1080), 0, true, Show::Hidden},
    {&MainControls::COMMON_CTRL_4, "COMMON_CTRL_4", Container::Master, "Port Status", box(1560, 1320), 0, false, Show::Hidden},
    {&MainControls::COMMON_CTRL_1, "COMMON_CTRL_1", Container::Master, "Port Status", box(1560, 1680), 1, true, Show::Hidden},
    {&MainControls::COMMON_CTRL_5, "COMMON_CTRL_5", Container::Master, "Port Status", box(3600, 240), 0, true, Show::Hidden},
    {&MainControls::COMMON_CTRL_6, "COMMON_CTRL_6", Container::Master, "Port Status", box(3360, 600), 0, false, Show::Hidden},
    {&MainControls::PortOn_Chk, "PortOn_Chk", Container::Master, "Comm Port On", {9960, 720, 1335, 255}, 1, false, Show::Hidden},
};
// clang-format on

struct EntryRow
{
    NumericEntry *MainControls::*member;
    const char *name;
    Container container;
    const char *text;
    int typedLimit;
    Twips place;
    bool enabled;
    Show show;
};

// clang-format off
inline constexpr EntryRow kEntries[] {
    {&MainControls::PD_R_HIGH, "PD_R_HIGH", Container::SysCtrl, "26500", 5, {3120, 720, 975, 285}, true, Show::Shown},
    {&MainControls::PD_R_LOW, "PD_R_LOW", Container::SysCtrl, "19000", 5, {3120, 1200, 975, 285}, true, Show::Shown},
    {&MainControls::FLT_PWR_CYCLES_1, "FLT_PWR_CYCLES_1", Container::SysCtrl, "0", 3, {5760, 240, 975, 285}, false, Show::Hidden},
    {&MainControls::FLT_PWR_CYCLES_2, "FLT_PWR_CYCLES_2", Container::SysCtrl, "0", 3, {5760, 600, 975, 285}, false, Show::Hidden},
    {&MainControls::STARTUP_OL_DLY, "STARTUP_OL_DLY", Container::SysCtrl, "0", 3, {4800, 2400, 975, 285}, true, Show::Hidden},
    {&MainControls::Brellik_I2C_ADDR, "Brellik_I2C_ADDR", Container::SysCtrl, "0", 3, {4800, 3000, 975, 285}, false, Show::Hidden},
    {&MainControls::MAX_SYS_PWR, "MAX_SYS_PWR", Container::Master, "0", 4, {5520, 240, 255, 285}, false, Show::Hidden},
};
// clang-format on

// The six scale pairs: slope m (at most 3 digits, "1") and offset b (at most 2, "0"),
// centred, in two columns of the hidden "Parametric Info" area; all disabled.
struct ScaleRow
{
    ScalePair MainControls::*member;
    const char *quantity; // m_<quantity>_Scale, b_<quantity>_Scale
    int top;
};

inline constexpr int kScaleSlopeLeft = 1680;
inline constexpr int kScaleOffsetLeft = 2040;
inline constexpr int kScaleWidth = 375;
inline constexpr int kScaleHeight = 285;
inline constexpr int kScaleSlopeLimit = 3;
inline constexpr int kScaleOffsetLimit = 2;

inline constexpr ScaleRow kScales[] {
    { &MainControls::Disc_R_Scale, "Disc_R", 9960 },
    { &MainControls::Disc_C_Scale, "Disc_C", 10200 },
    { &MainControls::Port_I_Scale, "Port_I", 10440 },
    { &MainControls::Port_V_Scale, "Port_V", 10680 },
    { &MainControls::Port_W_Scale, "Port_W", 10920 },
    { &MainControls::Port_CI_Scale, "Port_CI", 11280 },
};

// The two system lists, hidden in the master frame, both enabled.
struct ComboRow
{
    QComboBox *MainControls::*member;
    const char *name;
    const char *items; // separated by '|'
    Twips place;
};

// clang-format off
inline constexpr ComboRow kCombos[] {
    {&MainControls::SYS_PORT_CNT, "SYS_PORT_CNT", "8|16|24|32|40|48", {3120, 960, 495, 300}},
    {&MainControls::NOISE_MST_EN_1, "NOISE_MST_EN_1", "60 Hz|50 Hz|55 Hz|Err", {3000, 1320, 855, 300}},
};
// clang-format on

struct ButtonRow
{
    QPushButton *MainControls::*member;
    const char *name;
    Container container;
    const char *caption;
    Twips place;
    bool enabled;
    Show show;
};

// clang-format off
inline constexpr ButtonRow kButtons[] {
    {&MainControls::Update_All, "Update_All", Container::Frame1, "&Load from Device", {120, 720, 1815, 375}, true, Show::Shown},
    {&MainControls::TX_SYS_CTRL, "TX_SYS_CTRL", Container::Frame1, "Save &to Device", {120, 1200, 1815, 375}, true, Show::Shown},
    {&MainControls::TX_PRT_CTRL, "TX_PRT_CTRL", Container::Master, "Send Port Control", {3840, 600, 1935, 495}, true, Show::Hidden},
    {&MainControls::Update_Port_Status, "Update_Port_Status", Container::Master, "Update Port Status Only", {3960, 1200, 2535, 495}, true, Show::Hidden},
    {&MainControls::Reset_GUI, "Reset_GUI", Container::Master, "Reset GUI", {9960, 1080, 1335, 735}, false, Show::Hidden},
    {&MainControls::COM_Reset_Cmd, "COM_Reset_Cmd", Container::Master, "Reset Port", {9960, 240, 1095, 375}, false, Show::Hidden},
};
// clang-format on

// Port columns. Port_Frame(k) of a tab page stands at kPortFrameLeft + kPortFrameStep * column,
// kPortFrameTop below the top of the strip's pane; its children are listed below.
inline constexpr int kPortFrameLeft = 120;
inline constexpr int kPortFrameTop = 120;
inline constexpr int kPortFrameStep = 1200;
inline constexpr int kPortFrameWidth = 1215;
inline constexpr int kPortFrameHeight = 4935;
// Frame3's rows start this far below Frame2's, like the port column rows they caption.
inline constexpr int kFrame3Offset = 2640;

// Per-port rows of one column, by kind. The row captions (hidden labels for the rows that
// are not shown) name what each control means.
using PortChecks = PerPort<QCheckBox> &(*)(MainControls &);

struct PortCheckRow
{
    PortChecks array;
    const char *name;
    Twips place;
    bool enabled;
    Show show;
    const char *rowCaption;
};

// clang-format off
inline constexpr PortCheckRow kPortChecks[] {
    {[](MainControls &c) -> PerPort<QCheckBox> & { return c.PORT_SYS_MGMNT_2; }, "PORT_SYS_MGMNT_2", box(120, 240), true, Show::Shown, "Port Enable"},
    {[](MainControls &c) -> PerPort<QCheckBox> & { return c.PORT_MODE_BYPS[1]; }, "PORT_MODE_BYPS_2", box(120, 600), true, Show::Shown, "Bypass Classification"},
    {[](MainControls &c) -> PerPort<QCheckBox> & { return c.PORT_MODE_BYPS[0]; }, "PORT_MODE_BYPS_1", box(120, 960), true, Show::Shown, "Bypass Detection"},
    {[](MainControls &c) -> PerPort<QCheckBox> & { return c.PORT_MODE_BYPS[2]; }, "PORT_MODE_BYPS_3", box(480, 240), true, Show::Hidden, "Bypass Power-up"},
    {[](MainControls &c) -> PerPort<QCheckBox> & { return c.PORT_MODE_BYPS[3]; }, "PORT_MODE_BYPS_4", box(480, 480), true, Show::Hidden, "Bypass Power Sampling"},
    {[](MainControls &c) -> PerPort<QCheckBox> & { return c.PORT_MODE_BYPS[4]; }, "PORT_MODE_BYPS_5", box(480, 720), true, Show::Hidden, "Detect Legacy Signature"},
    {[](MainControls &c) -> PerPort<QCheckBox> & { return c.PORT_MODE_BYPS[5]; }, "PORT_MODE_BYPS_6", box(480, 960), true, Show::Hidden, "DC Disconnect Detect Enable"},
    {[](MainControls &c) -> PerPort<QCheckBox> & { return c.PORT_MODE_BYPS[6]; }, "PORT_MODE_BYPS_7", box(480, 1200), false, Show::Hidden, "AC Disconnect Detect Enable"},
    {[](MainControls &c) -> PerPort<QCheckBox> & { return c.PORT_SYS_MGMNT_1; }, "PORT_SYS_MGMNT_1", box(720, 960), false, Show::Hidden, "Class Violation Power-down"},
    {[](MainControls &c) -> PerPort<QCheckBox> & { return c.FAULT_ENABLE; }, "FAULT_ENABLE", box(120, 5400), true, Show::Hidden, "Fault Enable && Paused"},
    {[](MainControls &c) -> PerPort<QCheckBox> & { return c.FAULT_PAUSED; }, "FAULT_PAUSED", box(360, 5400), false, Show::Hidden, "Fault Enable && Paused"},
};
// clang-format on

struct PortLedRow
{
    PerPort<LedWidget> MainControls::*array;
    const char *name;
    Twips place;
    QRgb fill;
};

// clang-format off
inline constexpr PortLedRow kPortLeds[] {
    {&MainControls::Port_LED_Red, "Port_LED_Red", box(120, 1320), 0xFF0000},
    {&MainControls::Port_LED_Yellow, "Port_LED_Yellow", box(480, 1320), 0xFFFF00},
    {&MainControls::Port_LED_Green, "Port_LED_Green", box(840, 1320), 0x00FF00},
};
// clang-format on

struct PortValueRow
{
    PerPort<QLabel> MainControls::*array;
    const char *name;
    Twips place;
    const char *text;
    Look look;
    Show show;
    const char *rowCaption;
};

// clang-format off
inline constexpr PortValueRow kPortValues[] {
    {&MainControls::PORT_FLT_MODE_1, "PORT_FLT_MODE_1", {120, 1680, 975, 375}, "(status)", Look::Green, Show::Shown, "Fault Status"},
    {&MainControls::PORT_FLT_MODE_2, "PORT_FLT_MODE_2", {120, 2040, 975, 255}, "(status)", Look::Green, Show::Shown, "Mode Status"},
    {&MainControls::PORT_DISC_R, "PORT_DISC_R", {120, 2760, 975, 375}, "(ohm)", Look::Yellow, Show::Shown, "Discovery R (ohms)"},
    {&MainControls::PORT_CURRENT, "PORT_CURRENT", {120, 3120, 975, 375}, "(mA)", Look::Yellow, Show::Shown, "Port Current (mA)"},
    {&MainControls::PORT_VOLTAGE, "PORT_VOLTAGE", {120, 3480, 975, 375}, "(V)", Look::Yellow, Show::Shown, "Port Voltage (V)"},
    {&MainControls::PORT_POWER, "PORT_POWER", {120, 3840, 975, 375}, "(W)", Look::Yellow, Show::Shown, "Port Power (W)"},
    {&MainControls::PORT_CLASS_1, "PORT_CLASS_1", {120, 4200, 975, 375}, "(mA)", Look::Yellow, Show::Shown, "Class Current (mA)"},
    {&MainControls::PORT_CLASS_2, "PORT_CLASS_2", {120, 4560, 975, 255}, "(Class)", Look::Green, Show::Shown, "Determined Class"},
    {&MainControls::PORT_PWR_ORDER_1, "PORT_PWR_ORDER_1", {120, 5160, 975, 255}, "(Order)", Look::Orange, Show::Hidden, "Powered Order"},
    {&MainControls::PORT_DISC_C, "PORT_DISC_C", {120, 6240, 975, 255}, "(uF)", Look::Yellow, Show::Hidden, "Discovery C (uF)"},
};
// clang-format on

// Both lists are not shown.
struct PortListRow
{
    PerPort<QComboBox> MainControls::*array;
    const char *name;
    Twips place;
    const char *items; // separated by '|'
    bool enabled;
    const char *rowCaption;
};

// clang-format off
inline constexpr PortListRow kPortLists[] {
    {&MainControls::PORT_SYS_MGMNT_3, "PORT_SYS_MGMNT_3", {720, 240, 390, 300}, "0|1|2|3|4|5|6|7", false, "Set Port Priorty"},
    {&MainControls::PORT_LED_DRV, "PORT_LED_DRV", {720, 1200, 390, 300}, "Hi-Z|Red|Green|Err", true, "LED Output Drive"},
};
// clang-format on

// Both entries are disabled and not shown.
struct PortEntryRow
{
    PerPort<NumericEntry> MainControls::*array;
    const char *name;
    Twips place;
    const char *text;
    int typedLimit;
    const char *rowCaption;
};

// clang-format off
inline constexpr PortEntryRow kPortEntries[] {
    {&MainControls::PORT_PWR_LMT, "PORT_PWR_LMT", {720, 600, 375, 285}, "0", 3, "Set Port Power Limit (W)"},
    {&MainControls::PORT_PWR_ORDER_2, "PORT_PWR_ORDER_2", {120, 5640, 975, 285}, "0", 2, "Powered Order"},
};
// clang-format on

// The few controls that sit elsewhere in one column of every tab page (column = element % 8).
struct PortException
{
    std::string_view name;
    int column;
    Twips place;
};

inline constexpr PortException kPortExceptions[] {
    { "PORT_SYS_MGMNT_1", 0, box(840, 960) },
    { "PORT_SYS_MGMNT_1", 5, box(720, 840) },
    { "PORT_PWR_ORDER_2", 0, { 120, 5760, 975, 285 } },
};

// Where the control of a row stands in a column (0..7 of its tab page).
[[nodiscard]] constexpr Twips portPlace(std::string_view name, Twips designed, int column)
{
    for (const PortException &e : kPortExceptions) {
        if (e.name == name && e.column == column)
            return e.place;
    }
    return designed;
}

[[nodiscard]] constexpr int toPixels(int twips)
{
    // Rounds half away from zero, so that -600 and 600 twips are mirror images.
    return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel
                      : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}

} // namespace vantor::window::layout
