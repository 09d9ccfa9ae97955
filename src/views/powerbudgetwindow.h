// SPDX-License-Identifier: MIT
#pragma once

#include "powerbudget.h"

#include <QWidget>

class QLabel;

namespace vantor::views {

// The budget drawn as horizontal bars: the board's total against its limit on top, then a
// bar a port, its power against its limit on one scale for all ports, in drop order, the
// ports dropped first marked.
class PowerBudgetChart : public QWidget
{
    Q_OBJECT
public:
    explicit PowerBudgetChart(QWidget *parent = nullptr);

    void setBudget(PowerBudget budget);
    [[nodiscard]] const PowerBudget &budget() const { return m_budget; }
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    [[nodiscard]] int rowHeight() const;

    PowerBudget m_budget;
};

// "Power Budget": the chart and what it means, from the answers the panel already gets.
class PowerBudgetWindow : public QWidget
{
    Q_OBJECT
public:
    explicit PowerBudgetWindow(const BudgetAnswers &answers, QWidget *parent = nullptr);

    [[nodiscard]] PowerBudgetChart &chart() { return *m_chart; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refresh();

    const BudgetAnswers &m_answers;
    QLabel *m_notes = nullptr;
    PowerBudgetChart *m_chart = nullptr;
};

} // namespace vantor::views
