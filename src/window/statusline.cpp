// SPDX-License-Identifier: MIT
#include "statusline.h"

#include "logging.h"

#include <codec/echotext.h>

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QStatusBar>

#include <algorithm>

namespace vantor::window {

namespace {
// Characters a squeezed field keeps, ellipsis included.
constexpr int kFewestCharacters = 8;
// The port's state never takes more of the bar than this: the messages come first.
constexpr int kPortShareNumerator = 2;
constexpr int kPortShareDenominator = 5;
} // namespace

ElidingLabel::ElidingLabel(QWidget *parent)
    : QWidget(parent)
    , m_label(new QLabel(this))
{
    m_label->setTextFormat(Qt::PlainText);
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_label);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ElidingLabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(text);
    updateShown();
    updateGeometry();
}

void ElidingLabel::setDetail(const QString &detail)
{
    m_detail = detail;
    updateShown();
}

void ElidingLabel::setSqueezable(bool squeezable)
{
    m_squeezable = squeezable;
    updateGeometry();
}

QString ElidingLabel::shownText() const
{
    return m_label->text();
}

QSize ElidingLabel::sizeHint() const
{
    const QFontMetrics metrics = m_label->fontMetrics();
    return { metrics.horizontalAdvance(m_text) + 2 * metrics.averageCharWidth(),
             m_label->sizeHint().height() };
}

QSize ElidingLabel::minimumSizeHint() const
{
    if (!m_squeezable)
        return sizeHint();
    const QFontMetrics metrics = m_label->fontMetrics();
    return { std::min(sizeHint().width(), kFewestCharacters * metrics.averageCharWidth()),
             m_label->sizeHint().height() };
}

void ElidingLabel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateShown();
}

void ElidingLabel::updateShown()
{
    const QString shown = m_label->fontMetrics().elidedText(m_text, Qt::ElideRight, width());
    m_label->setText(shown);
    QStringList tip;
    if (shown != m_text)
        tip.append(m_text);
    if (!m_detail.isEmpty())
        tip.append(m_detail);
    setToolTip(tip.join(u'\n'));
}

StatusLine::StatusLine(QStatusBar *bar)
    : QObject(bar)
    , m_message(new ElidingLabel(bar))
    , m_stale(new ElidingLabel(bar))
    , m_unsent(new ElidingLabel(bar))
    , m_port(new ElidingLabel(bar))
    , m_bar(bar)
{
    m_message->setObjectName(QStringLiteral("OutcomeStatus"));
    m_stale->setObjectName(QStringLiteral("StaleStatus"));
    m_unsent->setObjectName(QStringLiteral("UnsentStatus"));
    m_port->setObjectName(QStringLiteral("PortStatus"));
    // Stale readings are told first, before any message.
    bar->addWidget(m_stale);
    bar->addWidget(m_message, 1);
    bar->addPermanentWidget(m_unsent);
    bar->addPermanentWidget(m_port);
    // "Since when" is the point of it: it is never cut short.
    m_stale->setSqueezable(false);
    m_stale->hide();
    m_unsent->hide();
    bar->installEventFilter(this);
}

bool StatusLine::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_bar && event->type() == QEvent::Resize)
        m_port->setMaximumWidth(m_bar->width() * kPortShareNumerator / kPortShareDenominator);
    return QObject::eventFilter(watched, event);
}

void StatusLine::show(const QString &message, StatusKind kind)
{
    if (kind == StatusKind::Problem && message != m_message->text())
        qCInfo(lcWindow).noquote() << message;
    else if (kind == StatusKind::Confirmation)
        qCDebug(lcWindow).noquote() << message;
    display(message, QString());
}

void StatusLine::setCondition(const QString &key, const QString &message)
{
    for (qsizetype i = 0; i < m_conditions.size(); ++i) {
        if (m_conditions[i].first != key)
            continue;
        // Told again (a retry that failed alike): it does not push newer messages aside.
        if (m_conditions[i].second == message)
            return;
        m_conditions.removeAt(i);
        break;
    }
    m_conditions.append({ key, message });
    if (message != m_message->text())
        qCInfo(lcWindow).noquote() << message;
    display(message, key);
}

void StatusLine::clearCondition(const QString &key)
{
    for (qsizetype i = 0; i < m_conditions.size(); ++i) {
        if (m_conditions[i].first == key) {
            m_conditions.removeAt(i);
            break;
        }
    }
    if (m_shownKey != key)
        return;
    if (m_conditions.isEmpty())
        display(QString(), QString());
    else
        display(m_conditions.last().second, m_conditions.last().first);
}

bool StatusLine::hasCondition(const QString &key) const
{
    return std::any_of(m_conditions.cbegin(), m_conditions.cend(),
                       [&key](const auto &condition) { return condition.first == key; });
}

QString StatusLine::text() const
{
    return m_message->text();
}

void StatusLine::display(const QString &text, const QString &key)
{
    m_shownKey = key;
    m_message->setText(codec::escapeControls(text));
}

void StatusLine::setStaleText(const QString &text, const QString &why)
{
    m_stale->setText(text);
    m_stale->setDetail(why);
    m_stale->setVisible(!text.isEmpty());
}

void StatusLine::setUnsentText(const QString &text, const QString &detail)
{
    m_unsent->setText(text);
    m_unsent->setDetail(detail);
    m_unsent->setVisible(!text.isEmpty());
}

QString StatusLine::unsentText() const
{
    return m_unsent->text();
}

QString StatusLine::staleText() const
{
    return m_stale->text();
}

void StatusLine::setPortState(const QString &text)
{
    m_port->setText(text);
}

QString StatusLine::portState() const
{
    return m_port->text();
}

} // namespace vantor::window
