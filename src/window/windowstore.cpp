// SPDX-License-Identifier: MIT
#include "windowstore.h"

#include "controls.h"
#include "numericentry.h"

#include <codec/numbertext.h>

#include <QCheckBox>
#include <QComboBox>

namespace vantor::window {

using codec::Setting;

WindowStore::WindowStore(MainControls &controls, Report report)
    : m_controls(controls)
    , m_report(std::move(report))
{
    // The operator's own choice is not stale.
    QObject::connect(controls.SYS_PORT_CNT, &QComboBox::activated, controls.SYS_PORT_CNT,
                     [this] { m_unlistedCount.reset(); });
}

QWidget *WindowStore::control(Setting setting, int element) const
{
    MainControls &c = m_controls;
    if (codec::isPortSetting(setting) && (element < 0 || element >= kElementCount))
        return nullptr;
    const auto e = static_cast<std::size_t>(element);
    switch (setting) {
    case Setting::SYS_PORT_CNT:
        return c.SYS_PORT_CNT;
    case Setting::NOISE_MST_EN_1:
        return c.NOISE_MST_EN_1;
    case Setting::NOISE_MST_EN_2:
        return c.NOISE_MST_EN_2;
    case Setting::Brellik_I2C_ADDR:
        return c.Brellik_I2C_ADDR;
    case Setting::FLT_PWR_CYCLES_1:
        return c.FLT_PWR_CYCLES_1;
    case Setting::FLT_PWR_CYCLES_2:
        return c.FLT_PWR_CYCLES_2;
    case Setting::COMMON_CTRL_1:
        return c.COMMON_CTRL_1;
    case Setting::COMMON_CTRL_2:
        return c.COMMON_CTRL_2;
    case Setting::COMMON_CTRL_3:
        return c.COMMON_CTRL_3;
    case Setting::COMMON_CTRL_4:
        return c.COMMON_CTRL_4;
    case Setting::COMMON_CTRL_5:
        return c.COMMON_CTRL_5;
    case Setting::COMMON_CTRL_6:
        return c.COMMON_CTRL_6;
    case Setting::COMMON_CTRL_7:
        return c.COMMON_CTRL_7;
    case Setting::PD_R_LOW:
        return c.PD_R_LOW;
    case Setting::PD_R_HIGH:
        return c.PD_R_HIGH;
    case Setting::LEG_SUPP_1:
        return c.LEG_SUPP_1;
    case Setting::LEG_SUPP_2:
        return c.LEG_SUPP_2;
    case Setting::LEG_SUPP_3:
        return c.LEG_SUPP_3;
    case Setting::LEG_SUPP_4:
        return c.LEG_SUPP_4;
    case Setting::MAX_SYS_PWR:
        return c.MAX_SYS_PWR;
    case Setting::STARTUP_OL_DLY:
        return c.STARTUP_OL_DLY;
    case Setting::PORT_MODE_BYPS_1:
    case Setting::PORT_MODE_BYPS_2:
    case Setting::PORT_MODE_BYPS_3:
    case Setting::PORT_MODE_BYPS_4:
    case Setting::PORT_MODE_BYPS_5:
    case Setting::PORT_MODE_BYPS_6:
    case Setting::PORT_MODE_BYPS_7:
        return c.PORT_MODE_BYPS[static_cast<std::size_t>(setting)
                                - static_cast<std::size_t>(Setting::PORT_MODE_BYPS_1)][e];
    case Setting::PORT_SYS_MGMNT_1:
        return c.PORT_SYS_MGMNT_1[e];
    case Setting::PORT_SYS_MGMNT_2:
        return c.PORT_SYS_MGMNT_2[e];
    case Setting::PORT_SYS_MGMNT_3:
        return c.PORT_SYS_MGMNT_3[e];
    case Setting::PORT_PWR_ORDER_2:
        return c.PORT_PWR_ORDER_2[e];
    case Setting::PORT_PWR_LMT:
        return c.PORT_PWR_LMT[e];
    case Setting::PORT_LED_DRV:
        return c.PORT_LED_DRV[e];
    case Setting::FAULT_ENABLE:
        return c.FAULT_ENABLE[e];
    case Setting::FAULT_PAUSED:
        return c.FAULT_PAUSED[e];
    }
    return nullptr;
}

codec::StoredValue WindowStore::value(Setting setting, int element) const
{
    QWidget *w = control(setting, element);
    if (auto *box = qobject_cast<QCheckBox *>(w))
        return { checkValue(box) };
    if (auto *list = qobject_cast<QComboBox *>(w)) {
        if (list->currentIndex() < 0)
            return { 0, codec::TextProblem::NothingSelected };
        if (setting != Setting::SYS_PORT_CNT)
            return { list->currentIndex() };
        if (m_unlistedCount)
            return { *m_unlistedCount };
        const codec::IntegerReading r = codec::readInteger(list->currentText(), codec::kInt16);
        return { r.value, r.problem };
    }
    if (auto *entry = qobject_cast<NumericEntry *>(w)) {
        const codec::IntegerReading r
            = codec::readInteger(entry->text(), codec::textRange(setting));
        return { r.value, r.problem };
    }
    return {};
}

void WindowStore::setValue(Setting setting, int element, int value)
{
    QWidget *w = control(setting, element);
    if (auto *box = qobject_cast<QCheckBox *>(w)) {
        setCheckValue(box, value);
    } else if (auto *list = qobject_cast<QComboBox *>(w)) {
        if (setting != Setting::SYS_PORT_CNT) {
            list->setCurrentIndex(value);
            return;
        }
        // The list is set by its item's text.
        const int item = list->findText(codec::integerText(value), Qt::MatchExactly);
        if (item >= 0) {
            list->setCurrentIndex(item);
            m_unlistedCount.reset();
            return;
        }
        m_unlistedCount = value;
        if (m_report)
            m_report(QStringLiteral("The board reports %1 ports; the list keeps %2")
                         .arg(value)
                         .arg(list->currentText()));
    } else if (auto *entry = qobject_cast<NumericEntry *>(w)) {
        entry->setText(codec::integerText(value));
    }
}

bool WindowStore::isEnabled(Setting setting, int element) const
{
    // The control's own flag; a disabled frame around it does not count.
    const QWidget *w = control(setting, element);
    return w && !w->testAttribute(Qt::WA_ForceDisabled);
}

void WindowStore::setEnabled(Setting setting, int element, bool enabled)
{
    if (QWidget *w = control(setting, element))
        w->setEnabled(enabled);
}

} // namespace vantor::window
