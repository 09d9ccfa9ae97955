// SPDX-License-Identifier: MIT
#include "textnumber.h"

namespace vantor::codec {

IntegerReading readInteger(QStringView text, IntegerRange range)
{
    const QStringView t = text.trimmed();
    if (t.isEmpty())
        return { 0, TextProblem::Empty };
    qsizetype i = 0;
    const bool negative = t[0] == u'-';
    if (negative || t[0] == u'+')
        ++i;
    if (i == t.size())
        return { 0, TextProblem::NotAWholeNumber };
    // Past 19 digits the value is out of every range anyway; stop counting before overflow.
    constexpr std::int64_t kCeiling = std::int64_t { 1 } << 40;
    std::int64_t value = 0;
    for (; i < t.size(); ++i) {
        const char16_t c = t[i].unicode();
        if (c < u'0' || c > u'9')
            return { 0, TextProblem::NotAWholeNumber };
        if (value < kCeiling)
            value = value * 10 + (c - u'0');
    }
    if (negative)
        value = -value;
    if (value < range.lowest || value > range.highest)
        return { 0, TextProblem::OutOfRange };
    return { static_cast<std::int32_t>(value), TextProblem::None };
}

QString problemText(TextProblem problem, IntegerRange range)
{
    switch (problem) {
    case TextProblem::None:
        break;
    case TextProblem::Empty:
        return QStringLiteral("is empty");
    case TextProblem::NotAWholeNumber:
        return QStringLiteral("is not a whole number");
    case TextProblem::OutOfRange:
        return QStringLiteral("must be %1 to %2").arg(range.lowest).arg(range.highest);
    case TextProblem::NothingSelected:
        return QStringLiteral("has nothing selected");
    }
    return {};
}

} // namespace vantor::codec
