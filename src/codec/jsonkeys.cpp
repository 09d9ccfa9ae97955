// SPDX-License-Identifier: MIT
#include "jsonkeys.h"

#include <QSet>

#include <vector>

namespace vantor::codec {

namespace {

struct Frame
{
    bool object = false;
    bool expectingKey = false;
    QSet<QString> keys;
};

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The string that starts after the quote at i, decoded as Qt decodes it; i ends on the
// closing quote (or at the end of a text cut short).
QString readString(QByteArrayView json, qsizetype &i)
{
    QString text;
    QByteArray run;
    const auto flush = [&] {
        text += QString::fromUtf8(run);
        run.clear();
    };
    for (++i; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '"')
            break;
        if (c != '\\') {
            run += c;
            continue;
        }
        if (++i >= json.size())
            break;
        switch (const char e = json[i]) {
        case 'b':
            run += '\b';
            break;
        case 'f':
            run += '\f';
            break;
        case 'n':
            run += '\n';
            break;
        case 'r':
            run += '\r';
            break;
        case 't':
            run += '\t';
            break;
        case 'u': {
            char16_t unit = 0;
            int digits = 0;
            for (; digits < 4 && i + 1 < json.size(); ++digits) {
                const int d = hexDigit(json[i + 1]);
                if (d < 0)
                    break;
                unit = static_cast<char16_t>(unit * 16 + d);
                ++i;
            }
            flush();
            text += QChar(unit);
            break;
        }
        default:
            run += e;
            break;
        }
    }
    flush();
    return text;
}

} // namespace

std::optional<QString> duplicateJsonKey(QByteArrayView json)
{
    std::vector<Frame> open;
    for (qsizetype i = 0; i < json.size(); ++i) {
        switch (json[i]) {
        case '{':
            open.push_back({ true, true, {} });
            break;
        case '[':
            open.push_back({ false, false, {} });
            break;
        case '}':
        case ']':
            if (!open.empty())
                open.pop_back();
            break;
        case ',':
            if (!open.empty() && open.back().object)
                open.back().expectingKey = true;
            break;
        case '"': {
            const QString text = readString(json, i);
            if (open.empty() || !open.back().expectingKey)
                break;
            Frame &frame = open.back();
            frame.expectingKey = false;
            if (frame.keys.contains(text))
                return text;
            frame.keys.insert(text);
            break;
        }
        default:
            break;
        }
    }
    return std::nullopt;
}

} // namespace vantor::codec
