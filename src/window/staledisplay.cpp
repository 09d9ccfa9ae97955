// SPDX-License-Identifier: MIT
#include "staledisplay.h"

#include "controls.h"
#include "ledwidget.h"

#include <QLabel>

namespace vantor::window {

namespace {

const QString kStaleWord = QStringLiteral("stale");

QString withoutStaleWord(QString description)
{
    if (description == kStaleWord)
        return {};
    const QString suffix = QStringLiteral("; ") + kStaleWord;
    if (description.endsWith(suffix))
        description.chop(suffix.size());
    return description;
}

void setColour(QWidget *widget, const QColor &colour)
{
    if (auto *led = qobject_cast<LedWidget *>(widget)) {
        led->setFillColour(colour);
        return;
    }
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

QColor colourOf(const QWidget *widget)
{
    if (const auto *led = qobject_cast<const LedWidget *>(widget))
        return led->fillColour();
    return widget->palette().color(QPalette::WindowText);
}

QColor backgroundOf(const QWidget *widget)
{
    // An LED's fill fades towards its rim; a value label's text towards its black ground.
    if (qobject_cast<const LedWidget *>(widget))
        return QColor(LedWidget::kRimColour);
    return widget->palette().color(QPalette::Window);
}

} // namespace

void setReadingStale(QWidget *widget, bool stale)
{
    if (!widget || isReadingStale(widget) == stale)
        return;
    widget->setProperty(kStaleProperty, stale);
    const QString base = withoutStaleWord(widget->accessibleDescription());
    widget->setAccessibleDescription(stale ? staleDescription(base) : base);
}

QString staleDescription(const QString &description)
{
    return description.isEmpty() ? kStaleWord : description + QStringLiteral("; ") + kStaleWord;
}

bool isReadingStale(const QWidget *widget)
{
    return widget && widget->property(kStaleProperty).toBool();
}

StaleDisplay::StaleDisplay(MainControls &c)
{
    for (QLabel *label : { c.REV_IDENT_1, c.REV_IDENT_2, c.BOX_PWR, c.PORT_SVC_NUM })
        m_readings.append(label);
    for (int e = 0; e < kElementCount; ++e) {
        for (const PerPort<QLabel> *array :
             { &c.PORT_FLT_MODE_1, &c.PORT_FLT_MODE_2, &c.PORT_DISC_R, &c.PORT_DISC_C,
               &c.PORT_CURRENT, &c.PORT_VOLTAGE, &c.PORT_POWER, &c.PORT_CLASS_1, &c.PORT_CLASS_2,
               &c.PORT_PWR_ORDER_1 })
            m_readings.append((*array)[e]);
        for (const PerPort<LedWidget> *array :
             { &c.Port_LED_Red, &c.Port_LED_Yellow, &c.Port_LED_Green })
            m_readings.append((*array)[e]);
    }
    for (QWidget *widget : std::as_const(m_readings))
        m_colours.insert(widget, colourOf(widget));
}

QColor StaleDisplay::greyed(const QColor &colour, const QColor &background)
{
    const int own = qGray(colour.rgb());
    const int ground = qGray(background.rgb());
    const int grey = qRound(own * kStaleStrength + ground * (1.0 - kStaleStrength));
    return QColor(grey, grey, grey);
}

void StaleDisplay::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    for (QWidget *widget : std::as_const(m_readings)) {
        const QColor own = m_colours.value(widget);
        setColour(widget, stale ? greyed(own, backgroundOf(widget)) : own);
        setReadingStale(widget, stale);
    }
}

} // namespace vantor::window
