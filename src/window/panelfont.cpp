// SPDX-License-Identifier: MIT
#include "panelfont.h"

#include <QStringList>

namespace vantor::window {

QFont panelFont(qreal points, bool bold)
{
    QFont font;
    const QStringList families { QLatin1String(kPanelFamily),
                                 QStringLiteral("DejaVu Sans Condensed"),
                                 QStringLiteral("Liberation Sans Narrow") };
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace vantor::window
