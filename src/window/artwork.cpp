// SPDX-License-Identifier: MIT
#include "artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace vantor::window {

namespace {

constexpr QRgb kNavy = 0x0B2545;
constexpr QRgb kTeal = 0x13807A;
constexpr QRgb kAmber = 0xFFB000;
constexpr QRgb kBoardGreen = 0x1E6B3A;

// A lightning bolt filling the given box: the mark of powered Ethernet.
QPainterPath boltPath(const QRectF &box)
{
    const auto at = [&box](qreal x, qreal y) {
        return QPointF(box.left() + x * box.width(), box.top() + y * box.height());
    };
    QPainterPath path;
    path.moveTo(at(0.62, 0.0));
    path.lineTo(at(0.10, 0.58));
    path.lineTo(at(0.46, 0.58));
    path.lineTo(at(0.34, 1.0));
    path.lineTo(at(0.90, 0.38));
    path.lineTo(at(0.54, 0.38));
    path.closeSubpath();
    return path;
}

// An RJ-45 socket seen from the front.
void drawJack(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(QColor(0x202020), 1.0));
    p.setBrush(QColor(0xD8D8D8));
    p.drawRect(r);
    const QRectF mouth
        = r.adjusted(r.width() * 0.15, r.height() * 0.25, -r.width() * 0.15, -r.height() * 0.1);
    p.setBrush(QColor(0x303030));
    p.drawRect(mouth);
    p.fillRect(QRectF(mouth.center().x() - mouth.width() * 0.2, mouth.bottom() - 2,
                      mouth.width() * 0.4, 2),
               QColor(0xD8D8D8));
}

QFont boldFont(qreal pixelSize)
{
    QFont font;
    font.setFamilies({ QStringLiteral("Arial"), QStringLiteral("Helvetica"),
                       QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans") });
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(static_cast<int>(pixelSize));
    return font;
}

} // namespace

QImage paintBanner()
{
    QImage image(792, 37, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, image.width(), 0);
    sky.setColorAt(0.0, QColor(kNavy));
    sky.setColorAt(0.65, QColor(kTeal));
    sky.setColorAt(1.0, QColor(kNavy));
    p.fillRect(image.rect(), sky);

    // A thin amber rule along the bottom edge, like a power rail.
    p.fillRect(QRectF(0, image.height() - 3, image.width(), 3), QColor(kAmber));

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(kAmber));
    p.drawPath(boltPath(QRectF(10, 4, 20, 28)));

    p.setPen(Qt::white);
    p.setFont(boldFont(20));
    p.drawText(QRectF(40, 0, 400, 34), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("Vantor Control Panel"));
    p.setFont(boldFont(11));
    p.setPen(QColor(0xCFE8E6));
    p.drawText(QRectF(440, 0, 340, 34), Qt::AlignVCenter | Qt::AlignRight,
               QStringLiteral("Eight-port PoE power sourcing - evaluation board"));
    return image;
}

QImage paintBoardPicture()
{
    QImage image(98, 134, QImage::Format_RGB32);
    image.fill(QColor(0xECECEC));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // The board with its mounting holes.
    const QRectF board(4, 4, 90, 126);
    p.setPen(QPen(QColor(0x0F3D20), 1.5));
    p.setBrush(QColor(kBoardGreen));
    p.drawRoundedRect(board, 5, 5);
    p.setBrush(QColor(0xC8A850));
    p.setPen(Qt::NoPen);
    for (const QPointF c : { QPointF(10, 10), QPointF(88, 10), QPointF(10, 124), QPointF(88, 124) })
        p.drawEllipse(c, 2.5, 2.5);

    // Copper traces from the controller to the sockets.
    p.setPen(QPen(QColor(0xC8A850), 1.0));
    for (int i = 0; i < 4; ++i) {
        const qreal x = 17 + i * 21;
        p.drawLine(QPointF(49, 52), QPointF(x, 78));
    }

    // The controller chip with its pins.
    const QRectF chip(30, 24, 38, 28);
    p.setPen(QPen(QColor(0x9A9A9A), 1.0));
    for (int i = 0; i < 7; ++i) {
        const qreal x = chip.left() + 4 + i * 5;
        p.drawLine(QPointF(x, chip.top() - 3), QPointF(x, chip.top()));
        p.drawLine(QPointF(x, chip.bottom()), QPointF(x, chip.bottom() + 3));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1A1A1A));
    p.drawRect(chip);
    p.setPen(QColor(0xE0E0E0));
    p.setFont(boldFont(8));
    p.drawText(chip, Qt::AlignCenter, QStringLiteral("VANTOR"));

    // Two rows of four sockets: the eight ports.
    for (int row = 0; row < 2; ++row) {
        for (int i = 0; i < 4; ++i)
            drawJack(p, QRectF(8 + i * 21, 80 + row * 22, 18, 18));
    }

    // One lit port lamp per socket of the top row.
    p.setPen(Qt::NoPen);
    const QRgb lamps[] = { 0x00FF00, 0xFFFF00, 0x00FF00, 0xFF0000 };
    for (int i = 0; i < 4; ++i) {
        p.setBrush(QColor(lamps[i]));
        p.drawEllipse(QPointF(17 + i * 21, 72), 2.2, 2.2);
    }

    p.setBrush(QColor(kAmber));
    p.drawPath(boltPath(QRectF(8, 26, 14, 22)));
    return image;
}

QImage paintBadge()
{
    QImage image(38, 41, QImage::Format_RGB32);
    image.fill(QColor(0xECECEC));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(kNavy), 2.0));
    p.setBrush(QColor(kTeal));
    p.drawEllipse(QRectF(2, 3, 34, 34));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(kAmber));
    p.drawPath(boltPath(QRectF(10, 8, 18, 25)));
    return image;
}

QIcon paintWindowIcon()
{
    QIcon icon;
    for (const int size : { 16, 32 }) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal unit = size / 16.0;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(kNavy));
        p.drawRoundedRect(QRectF(0, 0, size, size), 3 * unit, 3 * unit);
        p.setBrush(QColor(kAmber));
        p.drawPath(boltPath(QRectF(3 * unit, 1.5 * unit, 10 * unit, 13 * unit)));
        p.end();
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

PictureWidget::PictureWidget(QImage image, QWidget *parent)
    : QWidget(parent)
    , m_image(std::move(image))
{
}

void PictureWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_image);
}

} // namespace vantor::window
