// SPDX-License-Identifier: MIT
#include "plausibility.h"

#include "tabletext.h"

namespace vantor::codec {

std::optional<Implausibility> checkPlausible(Snapshot snapshot)
{
    for (const Setting setting : kPlausibleRanges) {
        const SettingRow &row = settingRow(setting);
        const int value = static_cast<int>(fieldValue(snapshot, *row.field)) * row.readScale;
        if (!inRange(row, value))
            return Implausibility { setting, value };
    }
    return std::nullopt;
}

QString implausibilityText(const Implausibility &found)
{
    const SettingRow &row = settingRow(found.setting);
    return QStringLiteral("%1 %2 (the board reports %3)")
        .arg(tableText(row.caption))
        .arg(found.value)
        .arg(rangeText(row));
}

} // namespace vantor::codec
