#include "encodeglue.h"

#include "controls.h"
#include "numericentry.h"

#include <encode/portblock.h>
#include <encode/systemblock.h>

#include <QCheckBox>
#include <QComboBox>

#include <algorithm>

namespace vantor::window {

namespace {

constexpr int kPorts = protocol::kPortsPerGroup;

std::optional<QString> missingGroup(int group)
{
    if (group >= 0 && group < protocol::kGroupCount)
        return std::nullopt;
    return QStringLiteral("Port group %1 has no controls").arg(group);
}

void applyPauseMarks(MainControls &c, int group, const encode::PauseMarks &marks)
{
    for (int p = 0; p < kPorts; ++p) {
        QCheckBox *box = c.FAULT_PAUSED[group * kPorts + p];
        setCheckValue(box, marks[static_cast<std::size_t>(p)].value);
        box->setEnabled(marks[static_cast<std::size_t>(p)].enabled);
    }
}

encode::SystemSettings systemSettings(const MainControls &c)
{
    encode::SystemSettings s;
    s.SYS_PORT_CNT = c.SYS_PORT_CNT->currentText();
    s.NOISE_MST_EN_1 = c.NOISE_MST_EN_1->currentIndex();
    s.NOISE_MST_EN_2 = checkValue(c.NOISE_MST_EN_2);
    s.Brellik_I2C_ADDR = c.Brellik_I2C_ADDR->text();
    s.FLT_PWR_CYCLES_1 = c.FLT_PWR_CYCLES_1->text();
    s.FLT_PWR_CYCLES_2 = c.FLT_PWR_CYCLES_2->text();
    s.COMMON_CTRL_1 = checkValue(c.COMMON_CTRL_1);
    s.COMMON_CTRL_2 = checkValue(c.COMMON_CTRL_2);
    s.COMMON_CTRL_3 = checkValue(c.COMMON_CTRL_3);
    s.COMMON_CTRL_4 = checkValue(c.COMMON_CTRL_4);
    s.COMMON_CTRL_5 = checkValue(c.COMMON_CTRL_5);
    s.COMMON_CTRL_6 = checkValue(c.COMMON_CTRL_6);
    s.COMMON_CTRL_7 = checkValue(c.COMMON_CTRL_7);
    s.PD_R_LOW = c.PD_R_LOW->text();
    s.PD_R_HIGH = c.PD_R_HIGH->text();
    s.LEG_SUPP_1 = checkValue(c.LEG_SUPP_1);
    s.LEG_SUPP_2 = checkValue(c.LEG_SUPP_2);
    s.LEG_SUPP_3 = checkValue(c.LEG_SUPP_3);
    s.LEG_SUPP_4 = checkValue(c.LEG_SUPP_4);
    s.MAX_SYS_PWR = c.MAX_SYS_PWR->text();
    s.STARTUP_OL_DLY = c.STARTUP_OL_DLY->text();
    return s;
}

encode::PortGroupSettings portSettings(const MainControls &c, int group)
{
    encode::PortGroupSettings g;
    g.COMMON_CTRL_1 = checkValue(c.COMMON_CTRL_1);
    for (int p = 0; p < kPorts; ++p) {
        const int e = group * kPorts + p;
        encode::PortSettings &s = g.ports[static_cast<std::size_t>(p)];
        for (std::size_t k = 0; k < s.PORT_MODE_BYPS.size(); ++k)
            s.PORT_MODE_BYPS[k] = checkValue(c.PORT_MODE_BYPS[k][e]);
        s.PORT_SYS_MGMNT_1 = checkValue(c.PORT_SYS_MGMNT_1[e]);
        s.PORT_SYS_MGMNT_2 = checkValue(c.PORT_SYS_MGMNT_2[e]);
        s.PORT_SYS_MGMNT_3 = c.PORT_SYS_MGMNT_3[e]->currentIndex();
        s.PORT_PWR_ORDER_2 = c.PORT_PWR_ORDER_2[e]->text();
        s.PORT_PWR_LMT = c.PORT_PWR_LMT[e]->text();
        s.PORT_LED_DRV = c.PORT_LED_DRV[e]->currentIndex();
        s.FAULT_ENABLE = checkValue(c.FAULT_ENABLE[e]);
        s.FAULT_PAUSED = checkValue(c.FAULT_PAUSED[e]);
    }
    return g;
}

} // namespace

std::optional<QString> buildSystemBlock(MainControls &controls, int group,
                                        protocol::SystemBlock &block)
{
    if (auto refusal = missingGroup(group))
        return refusal;
    const encode::SystemBlockResult built = encode::encodeSystemBlock(systemSettings(controls));
    if (!built.ok())
        return built.refusal->message;

    std::array<int, kPorts> faultPaused {};
    std::array<int, kPorts> portEnable {};
    for (int p = 0; p < kPorts; ++p) {
        faultPaused[static_cast<std::size_t>(p)]
            = checkValue(controls.FAULT_PAUSED[group * kPorts + p]);
        portEnable[static_cast<std::size_t>(p)]
            = checkValue(controls.PORT_SYS_MGMNT_2[group * kPorts + p]);
    }
    applyPauseMarks(
        controls, group,
        encode::systemPauseMarks(faultPaused, portEnable, checkValue(controls.COMMON_CTRL_1)));
    std::copy_n(built.block.begin(), protocol::kSystemBlockUsed, block.begin());
    return std::nullopt;
}

std::optional<QString> buildPortBlock(MainControls &controls, int group, protocol::PortBlock &block)
{
    if (auto refusal = missingGroup(group))
        return refusal;
    const encode::PortBlockResult built
        = encode::encodePortBlock(portSettings(controls, group), group);
    if (!built.ok())
        return built.refusal->message;
    applyPauseMarks(controls, group, built.pauseMarks);
    std::copy_n(built.block.begin(), protocol::kPortBlockUsed, block.begin());
    return std::nullopt;
}

} // namespace vantor::window
