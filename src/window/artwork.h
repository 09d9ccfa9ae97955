// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QImage>
#include <QWidget>

namespace vantor::window {

// The panel's own pictures, drawn in code at their designed pixel sizes.
[[nodiscard]] QImage paintBanner();       // 792 x 37, across the top of the window
[[nodiscard]] QImage paintBoardPicture(); // 98 x 134, beside the device settings
[[nodiscard]] QImage paintBadge();        // 38 x 41
[[nodiscard]] QIcon paintWindowIcon();    // 16 x 16 and 32 x 32

// Shows a picture stretched to the widget's size.
class PictureWidget : public QWidget
{
    Q_OBJECT
public:
    explicit PictureWidget(QImage image, QWidget *parent = nullptr);

    [[nodiscard]] const QImage &image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_image;
};

} // namespace vantor::window
