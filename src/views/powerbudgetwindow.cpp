// SPDX-License-Identifier: MIT
#include "powerbudgetwindow.h"

#include "trendlabels.h"

#include <codec/numbertext.h>

#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace vantor::views {

namespace {

const QColor kBar(52, 101, 164);
const QColor kOver(204, 0, 0);
const QColor kIdle(200, 200, 200);
const QColor kLimit(30, 30, 30);
const QColor kMark(245, 121, 0);
const QColor kGrid(225, 225, 225);
const QColor kStripe(246, 246, 246);

constexpr int kMargin = 10;
constexpr int kGap = 12;

QString againstLimit(float w, int limitW)
{
    return limitW > 0
        ? QObject::tr("%1 of %2").arg(wattsText(w), wattsText(static_cast<float>(limitW)))
        : QObject::tr("%1, no limit").arg(wattsText(w));
}

// A round top for a scale that holds value: 1, 2 or 5 times a power of ten.
double roundTop(double value)
{
    if (value <= 1)
        return 1;
    const double magnitude = std::pow(10.0, std::floor(std::log10(value)));
    for (double step : { 1.0, 2.0, 5.0, 10.0 }) {
        if (step * magnitude >= value)
            return step * magnitude;
    }
    return 10 * magnitude;
}

// Grid lines for a round top: five, or four for a top of two.
double gridStep(double top)
{
    const double magnitude = std::pow(10.0, std::floor(std::log10(top)));
    return std::lround(top / magnitude) == 2 ? magnitude / 2 : top / 5;
}

} // namespace

PowerBudgetChart::PowerBudgetChart(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("PowerBudgetChart"));
    setMinimumWidth(560);
}

void PowerBudgetChart::setBudget(PowerBudget budget)
{
    const bool resized = budget.rows.size() != m_budget.rows.size();
    m_budget = std::move(budget);
    if (resized) {
        setMinimumHeight(sizeHint().height());
        updateGeometry();
    }
    update();
}

int PowerBudgetChart::rowHeight() const
{
    return fontMetrics().height() + 10;
}

QSize PowerBudgetChart::sizeHint() const
{
    const int rows = static_cast<int>(m_budget.rows.size());
    return { 760, kMargin * 2 + rowHeight() * (3 + rows) + kGap * 2 };
}

void PowerBudgetChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const QFontMetrics metrics = fontMetrics();
    const int h = rowHeight();
    if (m_budget.portCount == 0) {
        painter.setPen(Qt::darkGray);
        painter.drawText(rect(), Qt::AlignCenter, tr("No answer from the board yet."));
        return;
    }

    // Columns: port, priority, drop order, the bar, its numbers.
    const int portWidth = metrics.horizontalAdvance(tr("Port 48")) + 16;
    const int priorityWidth = metrics.horizontalAdvance(tr("Priority")) + 16;
    const int dropWidth = metrics.horizontalAdvance(tr("1 drops first")) + 24;
    const QString numbersHeading = tr("Power against its limit");
    const int numberWidth = std::max(metrics.horizontalAdvance(againstLimit(2047.9f, 2047)),
                                     metrics.horizontalAdvance(numbersHeading))
        + 16;
    const int barLeft = kMargin + portWidth + priorityWidth + dropWidth;
    const int barWidth = std::max(60, width() - kMargin - numberWidth - barLeft);
    const int numberLeft = barLeft + barWidth + 12;
    const auto textAt
        = [&](int x, int top, int w, const QString &text, Qt::Alignment align = Qt::AlignLeft) {
              painter.drawText(QRect(x, top, w, h), align | Qt::AlignVCenter, text);
          };
    // One bar: the power, and the limit as a line across it.
    const auto bar = [&](int top, double scale, float power, int limit, const QColor &fill) {
        const int barTop = top + 4;
        const int barHeight = h - 8;
        const int length = static_cast<int>(std::lround(power * scale));
        painter.fillRect(barLeft, barTop, std::min(length, barWidth), barHeight, fill);
        if (limit > 0) {
            const int x = barLeft + static_cast<int>(std::lround(limit * scale));
            painter.fillRect(x - 1, top + 1, 2, h - 2, kLimit);
        }
    };

    // The board's total against its limit, on a scale of its own.
    int top = kMargin;
    painter.setPen(Qt::black);
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    textAt(kMargin, top, barLeft - kMargin, seriesCaption({ 0, Quantity::BoardPower }));
    painter.setFont(font());
    const double totalTop = roundTop(std::max<double>(m_budget.totalW, m_budget.totalLimitW) * 1.1);
    bar(top, barWidth / totalTop, m_budget.totalW, m_budget.totalLimitW,
        m_budget.overTotalLimit() ? kOver : kBar);
    painter.setPen(m_budget.overTotalLimit() ? kOver : Qt::black);
    textAt(numberLeft, top, numberWidth, againstLimit(m_budget.totalW, m_budget.totalLimitW));
    top += h + kGap;

    // The ports, all on one scale so that their bars compare.
    double portsTop = 1;
    for (const BudgetRow &row : m_budget.rows)
        portsTop = std::max(
            { portsTop, static_cast<double>(row.powerW), static_cast<double>(row.limitW) });
    portsTop = roundTop(portsTop * 1.05);
    const double scale = barWidth / portsTop;
    const double step = gridStep(portsTop);

    painter.setPen(Qt::darkGray);
    textAt(kMargin, top, portWidth, tr("Port"));
    textAt(kMargin + portWidth, top, priorityWidth, tr("Priority"));
    textAt(kMargin + portWidth + priorityWidth, top, dropWidth, tr("Drop order"));
    for (double v = 0; v <= portsTop + 1e-9; v += step) {
        const int x = barLeft + static_cast<int>(std::lround(v * scale));
        const QString label = codec::numberText(static_cast<float>(v), QLocale::c());
        const int w = metrics.horizontalAdvance(label);
        textAt(std::clamp(x - w / 2, barLeft, barLeft + barWidth - w), top, w + 2, label);
    }
    textAt(numberLeft, top, numberWidth, numbersHeading);
    top += h;
    const int rowsTop = top;
    const int rowsBottom = rowsTop + h * static_cast<int>(m_budget.rows.size());

    // Stripes and the scale's grid under the bars.
    for (std::size_t i = 1; i < m_budget.rows.size(); i += 2)
        painter.fillRect(kMargin, rowsTop + static_cast<int>(i) * h, width() - 2 * kMargin, h,
                         kStripe);
    painter.setPen(kGrid);
    for (double v = step; v <= portsTop + 1e-9; v += step) {
        const int x = barLeft + static_cast<int>(std::lround(v * scale));
        painter.drawLine(x, rowsTop, x, rowsBottom);
    }
    painter.setPen(QColor(160, 160, 160));
    painter.drawLine(barLeft, rowsTop, barLeft, rowsBottom);

    for (std::size_t i = 0; i < m_budget.rows.size(); ++i) {
        const BudgetRow &row = m_budget.rows[i];
        const int y = rowsTop + static_cast<int>(i) * h;
        painter.setPen(row.delivering ? Qt::black : Qt::darkGray);
        textAt(kMargin + 4, y, portWidth, tr("Port %1").arg(row.port));
        textAt(kMargin + portWidth, y, priorityWidth - 16, QString::number(row.priority),
               Qt::AlignRight);
        const int dropLeft = kMargin + portWidth + priorityWidth;
        if (row.dropsFirst) {
            const QString mark = tr("%1 drops first").arg(row.dropRank);
            const QRect chip(dropLeft, y + 3, metrics.horizontalAdvance(mark) + 12, h - 6);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setBrush(kMark);
            painter.setPen(Qt::NoPen);
            painter.drawRoundedRect(chip, 4, 4);
            painter.setRenderHint(QPainter::Antialiasing, false);
            painter.setBrush(Qt::NoBrush);
            painter.setPen(Qt::white);
            painter.drawText(chip, Qt::AlignCenter, mark);
        } else {
            textAt(dropLeft + 6, y, dropWidth,
                   row.dropRank > 0 ? QString::number(row.dropRank) : tr("not powered"));
        }
        const bool over = row.limitW > 0 && row.powerW > static_cast<float>(row.limitW);
        bar(y, scale, row.powerW, row.limitW, !row.delivering ? kIdle : over ? kOver : kBar);
        painter.setPen(over ? kOver : row.delivering ? Qt::black : Qt::darkGray);
        textAt(numberLeft, y, numberWidth, againstLimit(row.powerW, row.limitW));
    }
}

PowerBudgetWindow::PowerBudgetWindow(const BudgetAnswers &answers, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_answers(answers)
{
    setObjectName(QStringLiteral("PowerBudgetWindow"));
    setWindowTitle(tr("Power Budget"));
    setAttribute(Qt::WA_QuitOnClose, false);

    m_notes = new QLabel(this);
    m_notes->setObjectName(QStringLiteral("PowerBudgetNotes"));
    m_notes->setWordWrap(true);
    m_notes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_chart = new PowerBudgetChart(this);
    auto *scroll = new QScrollArea(this);
    scroll->setWidget(m_chart);
    scroll->setWidgetResizable(true);
    scroll->setBackgroundRole(QPalette::Base);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_notes);
    layout->addWidget(scroll, 1);

    // Hidden, it waits: showing it takes the answers as they are then.
    connect(&answers, &BudgetAnswers::changed, this, [this] {
        if (isVisible())
            refresh();
    });
    refresh();
    resize(900, 640);
}

void PowerBudgetWindow::showEvent(QShowEvent *event)
{
    refresh();
    QWidget::showEvent(event);
}

void PowerBudgetWindow::refresh()
{
    PowerBudget budget = m_answers.budget();
    m_notes->setText(budgetNotes(budget).join(QLatin1Char('\n')));
    m_chart->setBudget(std::move(budget));
}

} // namespace vantor::views
