// SPDX-License-Identifier: MIT
#pragma once

// Every named control of the main window. The controls are the panel's only store of
// settings: decoders write into them, encoders read from them. Per-port controls are arrays
// of kElementCount elements; element g * 8 + p is port p of port group (tab) g.
//
// objectName scheme: the control's own name (`COMMON_CTRL_1`), and for array elements the
// name, an underscore and the element (`PORT_VOLTAGE_3`, `Label1_52`).

#include <array>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QTabWidget;
class QWidget;

namespace vantor::window {

class LedWidget;
class NumericEntry;

inline constexpr int kElementCount = 64;
inline constexpr int kLabel1Count = 55;

template<class T> using PerPort = std::array<T *, kElementCount>;

struct ScalePair
{
    NumericEntry *m = nullptr; // slope, default "1"
    NumericEntry *b = nullptr; // offset, default "0"
};

struct MainControls
{
    // Layout
    QWidget *Image2 = nullptr;
    QFrame *Master_Frame = nullptr;
    QScrollBar *VScroll1 = nullptr;
    QGroupBox *Sys_Ctrl = nullptr;
    QGroupBox *Sys_Info = nullptr;
    QGroupBox *Frame1 = nullptr;
    QWidget *Image3 = nullptr;
    QWidget *Image1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QGroupBox *Frame3 = nullptr;
    QTabWidget *Port_Control = nullptr;
    PerPort<QGroupBox> Port_Frame {};
    std::array<QLabel *, kLabel1Count> Label1 {};
    QLabel *Label2_26 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;

    // Menu
    QAction *Comm1 = nullptr;
    QAction *Comm2 = nullptr;
    QAction *Comm3 = nullptr;

    // System settings
    QComboBox *SYS_PORT_CNT = nullptr;
    QComboBox *NOISE_MST_EN_1 = nullptr;
    QCheckBox *NOISE_MST_EN_2 = nullptr;
    NumericEntry *Brellik_I2C_ADDR = nullptr;
    NumericEntry *FLT_PWR_CYCLES_1 = nullptr;
    NumericEntry *FLT_PWR_CYCLES_2 = nullptr;
    QCheckBox *COMMON_CTRL_1 = nullptr; // "Master Enable"
    QCheckBox *COMMON_CTRL_2 = nullptr;
    QCheckBox *COMMON_CTRL_3 = nullptr;
    QCheckBox *COMMON_CTRL_4 = nullptr; // "Pause Brellik"
    QCheckBox *COMMON_CTRL_5 = nullptr; // "Port LED Direct Write"
    QCheckBox *COMMON_CTRL_6 = nullptr;
    QCheckBox *COMMON_CTRL_7 = nullptr; // "Calibrate System"
    NumericEntry *PD_R_LOW = nullptr;
    NumericEntry *PD_R_HIGH = nullptr;
    QCheckBox *LEG_SUPP_1 = nullptr;
    QCheckBox *LEG_SUPP_2 = nullptr;
    QCheckBox *LEG_SUPP_3 = nullptr;
    QCheckBox *LEG_SUPP_4 = nullptr;
    NumericEntry *MAX_SYS_PWR = nullptr;
    NumericEntry *STARTUP_OL_DLY = nullptr;

    // System information
    QLabel *REV_IDENT_1 = nullptr;
    QLabel *REV_IDENT_2 = nullptr;
    QLabel *BOX_PWR = nullptr;
    QLabel *PORT_SVC_NUM = nullptr;

    // Commands
    QCheckBox *Interval_Update = nullptr;
    QPushButton *Update_All = nullptr;
    QPushButton *TX_SYS_CTRL = nullptr;
    QPushButton *TX_PRT_CTRL = nullptr;
    QPushButton *Update_Port_Status = nullptr;
    QPushButton *Reset_GUI = nullptr;
    QPushButton *COM_Reset_Cmd = nullptr;
    QCheckBox *PortOn_Chk = nullptr;

    // Scale pairs (slope m, offset b) of the six scaled readings
    ScalePair Disc_C_Scale;
    ScalePair Disc_R_Scale;
    ScalePair Port_CI_Scale;
    ScalePair Port_I_Scale;
    ScalePair Port_V_Scale;
    ScalePair Port_W_Scale;

    // Per-port settings
    std::array<PerPort<QCheckBox>, 7> PORT_MODE_BYPS {}; // [0] is PORT_MODE_BYPS_1
    PerPort<QCheckBox> PORT_SYS_MGMNT_1 {};
    PerPort<QCheckBox> PORT_SYS_MGMNT_2 {}; // "Port Enable"
    PerPort<QComboBox> PORT_SYS_MGMNT_3 {};
    PerPort<NumericEntry> PORT_PWR_LMT {};
    PerPort<NumericEntry> PORT_PWR_ORDER_2 {};
    PerPort<QComboBox> PORT_LED_DRV {};
    PerPort<QCheckBox> FAULT_ENABLE {};
    PerPort<QCheckBox> FAULT_PAUSED {};

    // Per-port status
    PerPort<QLabel> PORT_PWR_ORDER_1 {};
    PerPort<LedWidget> Port_LED_Red {};
    PerPort<LedWidget> Port_LED_Yellow {};
    PerPort<LedWidget> Port_LED_Green {};
    PerPort<QLabel> PORT_FLT_MODE_1 {};
    PerPort<QLabel> PORT_FLT_MODE_2 {};
    PerPort<QLabel> PORT_DISC_R {};
    PerPort<QLabel> PORT_DISC_C {};
    PerPort<QLabel> PORT_CURRENT {};
    PerPort<QLabel> PORT_VOLTAGE {};
    PerPort<QLabel> PORT_POWER {};
    PerPort<QLabel> PORT_CLASS_1 {};
    PerPort<QLabel> PORT_CLASS_2 {};
};

// Check-box value as the system reads it: 0 clear, 1 set, 2 partly set.
[[nodiscard]] int checkValue(const QCheckBox *box);
// Sets a check box from the system; handlers connected to toggled() run when it changes.
void setCheckValue(QCheckBox *box, int value);

} // namespace vantor::window
