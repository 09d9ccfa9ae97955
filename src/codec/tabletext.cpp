// SPDX-License-Identifier: MIT
#include "tabletext.h"

#include <QStringList>

namespace vantor::codec {

QString rangeText(const SettingRow &row)
{
    if (row.kind == Kind::Flag)
        return QStringLiteral("true or false");
    if (row.kind == Kind::Choice) {
        QStringList captions;
        // "Err" shows a code with no meaning; it is never one to choose.
        for (std::string_view c : row.choices) {
            if (c != "Err")
                captions << QLatin1Char('"') + tableText(c) + QLatin1Char('"');
        }
        return QStringLiteral("one of ") + captions.join(QStringLiteral(", "));
    }
    if (row.step != 1)
        return QStringLiteral("%1 to %2 in steps of %3")
            .arg(row.minimum)
            .arg(row.maximum)
            .arg(row.step);
    return QStringLiteral("%1 to %2").arg(row.minimum).arg(row.maximum);
}

} // namespace vantor::codec
