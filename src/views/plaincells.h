// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QStaticText>
#include <QStyledItemDelegate>

namespace vantor::views {

// Table cells drawn as one line of plain text on their background, each text laid out once
// and kept. The style's item painting lays every cell's text out anew with each repaint; the
// log and the register grid repaint with every answer, and this costs them a fraction of that.
class PlainCells final : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

private:
    // Bounded: emptied when full, so a long log does not keep every text it ever showed.
    static constexpr qsizetype kMaxKept = 4096;
    mutable QHash<QString, QStaticText> m_texts;
};

} // namespace vantor::views
