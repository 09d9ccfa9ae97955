// SPDX-License-Identifier: MIT
#pragma once

// Reading a text entry as the whole number a write block needs.

#include <QString>
#include <QStringView>

#include <cstdint>

namespace vantor::codec {

struct IntegerRange
{
    std::int32_t lowest;
    std::int32_t highest;
};

inline constexpr IntegerRange kInt16 { -32768, 32767 };
inline constexpr IntegerRange kInt32 { INT32_MIN, INT32_MAX };

enum class TextProblem { None, Empty, NotAWholeNumber, OutOfRange, NothingSelected };

struct IntegerReading
{
    std::int32_t value = 0;
    TextProblem problem = TextProblem::None;

    [[nodiscard]] bool ok() const { return problem == TextProblem::None; }
};

// The text as a plain decimal whole number within range: digits with an optional sign and
// surrounding blanks, never a group separator ("26.500" and "26,500" are not 26500).
[[nodiscard]] IntegerReading readInteger(QStringView text, IntegerRange range);

// The reason in plain words, to follow the entry's caption: "is empty", "must be 0 to 255".
[[nodiscard]] QString problemText(TextProblem problem, IntegerRange range);

// Why a write block cannot be built: the entry (control name) and a message for the operator
// that names it by its caption.
struct Refusal
{
    QString field;
    QString message;

    bool operator==(const Refusal &) const = default;
};

} // namespace vantor::codec
