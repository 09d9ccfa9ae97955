// SPDX-License-Identifier: MIT
#pragma once

// The tables keep their names, keys and captions as Latin-1 string views, usable in constant
// expressions; the windows, files and messages want them as QString.

#include "settingtable.h"

#include <QByteArray>
#include <QString>

#include <string_view>

namespace vantor::codec {

inline QString tableText(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The same as bytes, for files and the wire's neighbours (JSON keys, CSV headers).
inline QByteArray tableBytes(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// What a setting takes, for messages: "true or false", "one of "Auto", "Manual"", "0 to 7" or
// "0 to 100 in steps of 5".
[[nodiscard]] QString rangeText(const SettingRow &row);

} // namespace vantor::codec
