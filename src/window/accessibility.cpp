// SPDX-License-Identifier: MIT
#include "accessibility.h"

#include "controls.h"
#include "layout.h"
#include "ledwidget.h"
#include "staledisplay.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>

namespace vantor::window {

namespace {

// Keeps a value label's description in step with its hover text, which the decoders set
// before each status text.
class ValueDescription final : public QObject
{
public:
    ValueDescription(QLabel *label, QString what)
        : QObject(label)
        , m_what(std::move(what))
    {
        label->installEventFilter(this);
        describe(label);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ToolTipChange)
            describe(static_cast<QLabel *>(watched));
        return QObject::eventFilter(watched, event);
    }

private:
    void describe(QLabel *label) const
    {
        const QString hover = label->toolTip();
        QString description = hover.isEmpty() ? m_what : m_what + QStringLiteral(": ") + hover;
        // A new hover text keeps a reading's stale mark until the mark itself is cleared.
        if (isReadingStale(label))
            description = staleDescription(description);
        // The same hover text again is no news for a screen reader.
        if (description != label->accessibleDescription())
            label->setAccessibleDescription(description);
    }

    QString m_what;
};

// No accessible name is set: the label's own interface then reports its text as the name.
void describeValue(QLabel *value, const QString &what)
{
    new ValueDescription(value, what);
}

// The caption as shown: "&&" stands for one "&".
QString shown(const char *caption)
{
    return QString::fromUtf8(caption).replace(QStringLiteral("&&"), QStringLiteral("&"));
}

} // namespace

void describeForAccessibility(MainControls &c)
{
    // Each system value with the caption beside it.
    const std::pair<QLabel *, QLabel *> systemValues[] = {
        { c.REV_IDENT_2, c.Label1[34] },  { c.REV_IDENT_1, c.Label1[12] },
        { c.Label5, c.Label3 },           { c.BOX_PWR, c.Label1[45] },
        { c.PORT_SVC_NUM, c.Label1[38] }, { c.Label4, c.Label1[4] },
    };
    for (const auto &[value, caption] : systemValues)
        describeValue(value, caption->text());

    for (int e = 0; e < kElementCount; ++e) {
        const QString port = c.Port_Frame[e]->title();
        for (const layout::PortValueRow &row : layout::kPortValues)
            describeValue((c.*row.array)[e], port + u' ' + shown(row.rowCaption));
        for (const layout::PortLedRow &row : layout::kPortLeds) {
            LedWidget *led = (c.*row.array)[e];
            // "Port_LED_Red" is the red one.
            const QString colour = QString::fromUtf8(row.name).section(u'_', -1);
            led->setAccessibleName(QStringLiteral("%1 LED").arg(colour));
            led->setAccessibleDescription(port + u' ' + c.Label1[48]->text());
        }
        for (const layout::PortCheckRow &row : layout::kPortChecks)
            row.array(c)[e]->setAccessibleDescription(port);
    }
}

} // namespace vantor::window
