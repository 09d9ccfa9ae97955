// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QHash>
#include <QList>

class QWidget;

namespace vantor::window {

struct MainControls;

// The dynamic property that says a widget shows a stale reading (bool).
inline constexpr char kStaleProperty[] = "stale";

// Marks one reading stale or current for assistive technology: the "stale" property, and
// "stale" at the end of its accessible description. Every view marks its readings through
// this one function, so that they all say it alike.
void setReadingStale(QWidget *widget, bool stale);
[[nodiscard]] bool isReadingStale(const QWidget *widget);
// A reading's accessible description with the stale mark: "Port 1 Port Current (mA); stale".
[[nodiscard]] QString staleDescription(const QString &description);

// The board's readings in the window (System Info values, and each port's status values and
// LEDs) shown as stale while the link is down or the board is silent: the last values stay
// readable but turn grey, so that no value looks live and no LED still looks green. Nothing is
// disabled, hidden, moved or resized, and the LEDs keep being shown or hidden by the decoders
// as before.
class StaleDisplay
{
public:
    // How much of a reading's own brightness a stale one keeps, the rest being its ground's.
    static constexpr qreal kStaleStrength = 0.8;

    explicit StaleDisplay(MainControls &controls);

    void setStale(bool stale);
    [[nodiscard]] bool isStale() const { return m_stale; }
    [[nodiscard]] const QList<QWidget *> &readings() const { return m_readings; }

    // A colour as a stale reading shows it, over the given background: a grey as bright as the
    // colour was, a little towards the background.
    [[nodiscard]] static QColor greyed(const QColor &colour, const QColor &background);

private:
    QList<QWidget *> m_readings;
    // Each reading's own colour: text colour of a label, fill of an LED.
    QHash<QWidget *, QColor> m_colours;
    bool m_stale = false;
};

} // namespace vantor::window
