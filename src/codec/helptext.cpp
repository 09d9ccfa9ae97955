// SPDX-License-Identifier: MIT
#include "helptext.h"

namespace vantor::codec {

using namespace Qt::Literals::StringLiterals;

void addHelpRow(QString &out, const QString &left, const QString &right)
{
    out += u"  "_s + left;
    qsizetype at = left.size() + 2;
    if (at >= kHelpColumn) {
        out += u'\n';
        at = 0;
    }
    bool first = true;
    for (const QString &word : right.split(u' ')) {
        if (!first && at + 1 + word.size() > kHelpWidth) {
            out += u'\n';
            at = 0;
        }
        const qsizetype indent = at < kHelpColumn ? kHelpColumn - at : (first ? 0 : 1);
        out += QString(indent, u' ') + word;
        at += indent + word.size();
        first = false;
    }
    out += u'\n';
}

QString wrapHelpText(const QString &text)
{
    QString out;
    qsizetype at = 0;
    for (const QString &word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (at > 0 && at + 1 + word.size() > kHelpWidth) {
            out += u'\n';
            at = 0;
        }
        if (at > 0) {
            out += u' ';
            ++at;
        }
        out += word;
        at += word.size();
    }
    return out + u'\n';
}

QString helpLeftColumn(const QCommandLineOption &option)
{
    QStringList names;
    for (const QString &name : option.names())
        names.append((name.size() == 1 ? u"-"_s : u"--"_s) + name);
    QString left = names.join(u", "_s);
    if (!option.valueName().isEmpty())
        left += u' ' + option.valueName();
    return left;
}

} // namespace vantor::codec
