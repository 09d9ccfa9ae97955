#include "decodeglue.h"

#include "controls.h"
#include "ledwidget.h"
#include "numericentry.h"

#include <decode/logging.h>
#include <decode/numbertext.h>
#include <decode/scaling.h>
#include <decode/snapshot.h>
#include <decode/statustext.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include <algorithm>

namespace vantor::window {

namespace {

using decode::Field;
using decode::Snapshot;

int value(Snapshot s, Field field, int p = 0)
{
    return static_cast<int>(decode::fieldValue(s, field, p));
}

// The box's own enabled flag; a disabled frame around it does not count.
bool ownEnabled(const QWidget *widget)
{
    return !widget->testAttribute(Qt::WA_ForceDisabled);
}

void showScaled(QLabel *label, int raw, const ScalePair &scale, decode::ShownAs shownAs)
{
    // The scale texts are read at every use: whatever the fields hold now applies.
    const float shown = decode::scaledReading(static_cast<unsigned>(raw), scale.m->text(),
                                              scale.b->text(), shownAs);
    label->setText(decode::numberText(shown));
}

void showStatusText(QLabel *label, decode::StatusText text)
{
    label->setToolTip(text.hover);
    label->setText(text.caption);
}

// PORT_SVC_NUM and BOX_PWR.
void showSystemStatus(MainControls &c, Snapshot s)
{
    const decode::SystemStatus st = decode::decodeSystemStatus(s);
    c.PORT_SVC_NUM->setText(decode::integerText(st.PORT_SVC_NUM));
    c.BOX_PWR->setText(decode::numberText(static_cast<float>(st.BOX_PWR) / 10.0f));
}

// Port p of the snapshot into element e: powered order, LEDs, scaled readings, class, then
// the fault and mode texts.
void showPortStatus(MainControls &c, Snapshot s, int p, int e)
{
    using decode::ShownAs;
    const decode::PortStatus st = decode::decodePortStatus(s, p);
    c.PORT_PWR_ORDER_1[e]->setText(decode::integerText(st.PORT_PWR_ORDER_1));

    const decode::LedIndication led
        = decode::ledIndication(st.ledDrive, checkValue(c.PORT_SYS_MGMNT_2[e]));
    c.Port_LED_Green[e]->setVisible(led.green);
    c.Port_LED_Red[e]->setVisible(led.red);
    c.Port_LED_Yellow[e]->setVisible(led.yellow);

    showScaled(c.PORT_DISC_C[e], st.PORT_DISC_C, c.Disc_C_Scale, ShownAs::Tenths);
    showScaled(c.PORT_DISC_R[e], st.PORT_DISC_R, c.Disc_R_Scale, ShownAs::Doubled);
    c.PORT_CLASS_2[e]->setText(decode::classCaption(st.PORT_CLASS_2));
    showScaled(c.PORT_CLASS_1[e], st.PORT_CLASS_1, c.Port_CI_Scale, ShownAs::Tenths);
    showScaled(c.PORT_CURRENT[e], st.PORT_CURRENT, c.Port_I_Scale, ShownAs::Tenths);
    showScaled(c.PORT_VOLTAGE[e], st.PORT_VOLTAGE, c.Port_V_Scale, ShownAs::Hundredths);
    showScaled(c.PORT_POWER[e], st.PORT_POWER, c.Port_W_Scale, ShownAs::Tenths);

    showStatusText(c.PORT_FLT_MODE_1[e], decode::faultText(st.faultCode));
    showStatusText(c.PORT_FLT_MODE_2[e], decode::modeText(st.modeCode));
}

// The paused-fault boxes. A refresh leaves an enabled box alone: once a mark has been shown
// the operator may clear it, and only a whole read or a write recomputes it.
void showPausedFaults(MainControls &c, Snapshot s, int group, bool skipEnabled)
{
    for (int p = 0; p < decode::kPortsPerGroup; ++p) {
        const int e = group * decode::kPortsPerGroup + p;
        QCheckBox *box = c.FAULT_PAUSED[e];
        if (skipEnabled && ownEnabled(box))
            continue;
        const int v = decode::faultPausedValue(value(s, Field::FAULT_PAUSED, p),
                                               checkValue(c.COMMON_CTRL_1),
                                               checkValue(c.PORT_SYS_MGMNT_2[e]));
        setCheckValue(box, v);
        box->setEnabled(v != 0);
    }
}

void showPortRefresh(MainControls &c, Snapshot s, int group)
{
    setCheckValue(c.COMMON_CTRL_4, value(s, Field::COMMON_CTRL_4));
    showSystemStatus(c, s);
    for (int p = 0; p < decode::kPortsPerGroup; ++p)
        showPortStatus(c, s, p, group * decode::kPortsPerGroup + p);
    showPausedFaults(c, s, group, true);
}

void setEntry(NumericEntry *entry, int v)
{
    entry->setText(decode::integerText(v));
}

void showPortCount(QComboBox *list, int count, const Report &report)
{
    const int item = list->findText(decode::integerText(count), Qt::MatchExactly);
    if (item >= 0) {
        list->setCurrentIndex(item);
        return;
    }
    qCWarning(lcDecode) << "port count" << count << "is not offered by the list";
    if (report)
        report(QStringLiteral("The board reports %1 ports; the list keeps %2")
                   .arg(count)
                   .arg(list->currentText()));
}

void readBack(MainControls &c, Snapshot s, int group, int portCount, const Report &report)
{
    const decode::SystemConfig sys = decode::decodeSystemConfig(s);
    showPortCount(c.SYS_PORT_CNT, sys.SYS_PORT_CNT, report);
    c.NOISE_MST_EN_1->setCurrentIndex(sys.NOISE_MST_EN_1);
    setCheckValue(c.NOISE_MST_EN_2, sys.NOISE_MST_EN_2);
    setEntry(c.Brellik_I2C_ADDR, sys.Brellik_I2C_ADDR);
    setEntry(c.FLT_PWR_CYCLES_1, sys.FLT_PWR_CYCLES_1);
    setEntry(c.FLT_PWR_CYCLES_2, sys.FLT_PWR_CYCLES_2);
    setCheckValue(c.COMMON_CTRL_1, sys.COMMON_CTRL_1);
    setCheckValue(c.COMMON_CTRL_2, sys.COMMON_CTRL_2);
    setCheckValue(c.COMMON_CTRL_3, sys.COMMON_CTRL_3);
    setCheckValue(c.COMMON_CTRL_4, sys.COMMON_CTRL_4);
    setCheckValue(c.COMMON_CTRL_5, sys.COMMON_CTRL_5);
    // By element, not by group: the first portCount lists, as far as the window has them.
    const int lists = std::clamp(portCount, 0, kElementCount);
    for (int k = 0; k < lists; ++k)
        c.PORT_LED_DRV[k]->setEnabled(sys.COMMON_CTRL_5 != 0);
    setCheckValue(c.COMMON_CTRL_6, sys.COMMON_CTRL_6);
    setEntry(c.PD_R_LOW, sys.PD_R_LOW);
    setEntry(c.PD_R_HIGH, sys.PD_R_HIGH);
    setCheckValue(c.LEG_SUPP_1, sys.LEG_SUPP_1);
    setCheckValue(c.LEG_SUPP_2, sys.LEG_SUPP_2);
    setCheckValue(c.LEG_SUPP_3, sys.LEG_SUPP_3);
    setCheckValue(c.LEG_SUPP_4, sys.LEG_SUPP_4);
    setEntry(c.MAX_SYS_PWR, sys.MAX_SYS_PWR);
    setEntry(c.STARTUP_OL_DLY, sys.STARTUP_OL_DLY);
    c.REV_IDENT_1->setText(decode::firmwareVersionText(sys.firmwareMajor, sys.firmwareMinor));
    c.REV_IDENT_2->setText(decode::chipVersionText(sys.REV_IDENT_2));
    showSystemStatus(c, s);

    for (int p = 0; p < decode::kPortsPerGroup; ++p) {
        const int e = group * decode::kPortsPerGroup + p;
        const decode::PortConfig port = decode::decodePortConfig(s, p);
        for (std::size_t k = 0; k < port.PORT_MODE_BYPS.size(); ++k)
            setCheckValue(c.PORT_MODE_BYPS[k][e], port.PORT_MODE_BYPS[k]);
        setCheckValue(c.PORT_SYS_MGMNT_1[e], port.PORT_SYS_MGMNT_1);
        setCheckValue(c.PORT_SYS_MGMNT_2[e], port.PORT_SYS_MGMNT_2);
        c.PORT_SYS_MGMNT_3[e]->setCurrentIndex(port.PORT_SYS_MGMNT_3);
        setEntry(c.PORT_PWR_ORDER_2[e], port.PORT_PWR_ORDER_2);
        setEntry(c.PORT_PWR_LMT[e], port.PORT_PWR_LMT);
        c.PORT_LED_DRV[e]->setCurrentIndex(port.PORT_LED_DRV);
        showPortStatus(c, s, p, e);
    }
    showPausedFaults(c, s, group, false);
}

} // namespace

void decodeAnswer(MainControls &controls, std::uint8_t code, std::span<const std::uint8_t> block,
                  int group, int portCount, const Report &report)
{
    const auto kind = protocol::kindOfCode(code);
    if (kind != protocol::RequestKind::WholeRead && kind != protocol::RequestKind::PortRefresh) {
        qCWarning(lcDecode) << "no decoder for an answer to command" << code;
        return;
    }
    const std::optional<Snapshot> snapshot = decode::asSnapshot(block);
    if (!snapshot) {
        qCWarning(lcDecode) << "answer of" << block.size() << "bytes is shorter than a snapshot";
        if (report)
            report(QStringLiteral("The board answered %1 bytes instead of %2; nothing was shown")
                       .arg(block.size())
                       .arg(protocol::kSnapshotSize));
        return;
    }
    if (group < 0 || group >= protocol::kGroupCount) {
        qCWarning(lcDecode) << "port group" << group << "has no controls";
        return;
    }
    if (kind == protocol::RequestKind::WholeRead)
        readBack(controls, *snapshot, group, portCount, report);
    else
        showPortRefresh(controls, *snapshot, group);
}

} // namespace vantor::window
