// SPDX-License-Identifier: MIT
#include "plaincells.h"

#include <QPainter>

namespace vantor::views {

namespace {
constexpr int kPadding = 3;
}

void PlainCells::paint(QPainter *painter, const QStyleOptionViewItem &option,
                       const QModelIndex &index) const
{
    const bool selected = option.state & QStyle::State_Selected;
    const QVariant background = index.data(Qt::BackgroundRole);
    if (selected)
        painter->fillRect(option.rect, option.palette.highlight());
    else if (background.canConvert<QColor>())
        painter->fillRect(option.rect, background.value<QColor>());

    const QString text = index.data().toString();
    if (text.isEmpty())
        return;
    auto kept = m_texts.find(text);
    if (kept == m_texts.end()) {
        if (m_texts.size() >= kMaxKept)
            m_texts.clear();
        QStaticText laidOut(text);
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.setPerformanceHint(QStaticText::AggressiveCaching);
        laidOut.prepare(QTransform(), option.font);
        kept = m_texts.insert(text, laidOut);
    }
    const QSizeF size = kept->size();
    const QRect box = option.rect.adjusted(kPadding, 0, -kPadding, 0);
    const bool centred = index.data(Qt::TextAlignmentRole).toInt() & Qt::AlignHCenter;
    const QPointF at(centred ? box.left() + (box.width() - size.width()) / 2 : box.left(),
                     box.top() + (box.height() - size.height()) / 2);
    painter->setPen(selected ? option.palette.highlightedText().color()
                             : option.palette.text().color());
    // Only a text wider than its cell needs the clip.
    const bool fits = size.width() <= box.width();
    if (!fits) {
        painter->save();
        painter->setClipRect(box);
    }
    painter->drawStaticText(at, *kept);
    if (!fits)
        painter->restore();
}

} // namespace vantor::views
