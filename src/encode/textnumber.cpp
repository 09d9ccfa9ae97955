#include "textnumber.h"

namespace vantor::encode {

IntegerReading readInteger(QStringView text, IntegerRange range, const QLocale &locale)
{
    if (text.trimmed().isEmpty())
        return { 0, TextProblem::Empty };
    bool ok = false;
    const qlonglong value = locale.toLongLong(text, &ok);
    if (!ok)
        return { 0, TextProblem::NotAWholeNumber };
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
    }
    return {};
}

} // namespace vantor::encode
