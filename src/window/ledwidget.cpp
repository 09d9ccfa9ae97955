// SPDX-License-Identifier: MIT
#include "ledwidget.h"

#include <QPainter>

namespace vantor::window {

LedWidget::LedWidget(const QColor &fill, QWidget *parent)
    : QWidget(parent)
    , m_fill(fill)
{
}

void LedWidget::setFillColour(const QColor &fill)
{
    m_fill = fill;
    update();
}

void LedWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(kRimColour), 1.0));
    painter.setBrush(m_fill);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace vantor::window
