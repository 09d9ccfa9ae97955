// SPDX-License-Identifier: MIT
#pragma once

// The --help of every executable laid out alike: a usage line, the description, then rows of
// two columns (what is typed, what it does) wrapped at 96 characters.

#include <QCommandLineOption>
#include <QList>
#include <QString>

namespace vantor::codec {

inline constexpr qsizetype kHelpColumn = 30;
inline constexpr qsizetype kHelpWidth = 96;

// One row; a left column too long for its place takes a line of its own.
void addHelpRow(QString &out, const QString &left, const QString &right);
// Words wrapped at kHelpWidth, each line ending in a newline.
[[nodiscard]] QString wrapHelpText(const QString &text);
// What is typed for an option: "-d, --device PATH", "--unpaced".
[[nodiscard]] QString helpLeftColumn(const QCommandLineOption &option);

} // namespace vantor::codec
