// SPDX-License-Identifier: MIT
#include "decodeglue.h"

#include "controls.h"
#include "ledwidget.h"
#include "numericentry.h"

#include <codec/logging.h>
#include <codec/numbertext.h>
#include <codec/scaling.h>
#include <codec/statustext.h>
#include <session/decodedanswer.h>

#include <QCheckBox>
#include <QLabel>

namespace vantor::window {

namespace {

void showScaled(QLabel *label, int raw, const ScalePair &scale, codec::ShownAs shownAs)
{
    // The scale texts are read at every use: whatever the fields hold now applies.
    const float shown = codec::scaledReading(static_cast<unsigned>(raw), scale.m->text(),
                                             scale.b->text(), shownAs);
    label->setText(codec::numberText(shown));
}

void showStatusText(QLabel *label, codec::StatusText text)
{
    label->setToolTip(text.hover);
    label->setText(text.caption);
}

// Port p of the answer into element e: powered order, LEDs, scaled readings, class, then
// the fault and mode texts.
void showPortStatus(MainControls &c, const codec::PortStatus &st, int e)
{
    using codec::ShownAs;
    c.PORT_PWR_ORDER_1[e]->setText(codec::integerText(st.PORT_PWR_ORDER_1));

    // The window's own "Port Enable" box: a whole read has already set it from the board.
    const codec::LedIndication led
        = codec::ledIndication(st.ledDrive, checkValue(c.PORT_SYS_MGMNT_2[e]));
    c.Port_LED_Green[e]->setVisible(led.green);
    c.Port_LED_Red[e]->setVisible(led.red);
    c.Port_LED_Yellow[e]->setVisible(led.yellow);

    showScaled(c.PORT_DISC_C[e], st.PORT_DISC_C, c.Disc_C_Scale, ShownAs::Tenths);
    showScaled(c.PORT_DISC_R[e], st.PORT_DISC_R, c.Disc_R_Scale, ShownAs::Doubled);
    c.PORT_CLASS_2[e]->setText(codec::classCaption(st.PORT_CLASS_2));
    showScaled(c.PORT_CLASS_1[e], st.PORT_CLASS_1, c.Port_CI_Scale, ShownAs::Tenths);
    showScaled(c.PORT_CURRENT[e], st.PORT_CURRENT, c.Port_I_Scale, ShownAs::Tenths);
    showScaled(c.PORT_VOLTAGE[e], st.PORT_VOLTAGE, c.Port_V_Scale, ShownAs::Hundredths);
    showScaled(c.PORT_POWER[e], st.PORT_POWER, c.Port_W_Scale, ShownAs::Tenths);

    showStatusText(c.PORT_FLT_MODE_1[e], codec::faultText(st.faultCode));
    showStatusText(c.PORT_FLT_MODE_2[e], codec::modeText(st.modeCode));
}

} // namespace

void showAnswer(MainControls &c, const session::DecodedAnswer &answer, int group)
{
    if (group < 0 || group >= protocol::kGroupCount) {
        qCWarning(lcCodec) << "port group" << group << "has no controls";
        return;
    }
    const codec::DecodedSnapshot &d = answer.snapshot;
    if (answer.isWholeRead()) {
        c.REV_IDENT_1->setText(
            codec::firmwareVersionText(d.info.firmwareMajor, d.info.firmwareMinor));
        c.REV_IDENT_2->setText(codec::chipVersionText(d.info.chipEighths));
    }
    c.PORT_SVC_NUM->setText(codec::integerText(d.status.PORT_SVC_NUM));
    c.BOX_PWR->setText(codec::numberText(static_cast<float>(d.status.BOX_PWR) / 10.0f));
    for (int p = 0; p < protocol::kPortsPerGroup; ++p)
        showPortStatus(c, d.portStatus[static_cast<std::size_t>(p)],
                       group * protocol::kPortsPerGroup + p);
}

} // namespace vantor::window
