// SPDX-License-Identifier: MIT
#include "echotext.h"

namespace vantor::codec {

namespace {

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

} // namespace

QString escapeControls(QStringView text)
{
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return isControl(c.unicode()); }))
        return text.toString();
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (isControl(c.unicode()))
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

} // namespace vantor::codec
