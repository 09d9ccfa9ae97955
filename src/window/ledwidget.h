// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QWidget>

namespace vantor::window {

// One indicator lamp of a port: a filled circle with a dark grey rim. The decoders light
// it by showing it and put it out by hiding it.
class LedWidget : public QWidget
{
    Q_OBJECT
public:
    static constexpr QRgb kRimColour = qRgb(64, 64, 64);

    explicit LedWidget(const QColor &fill, QWidget *parent = nullptr);

    [[nodiscard]] QColor fillColour() const { return m_fill; }
    void setFillColour(const QColor &fill);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fill;
};

} // namespace vantor::window
