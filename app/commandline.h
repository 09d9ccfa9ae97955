// SPDX-License-Identifier: MIT
#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>

#include <optional>

class QCommandLineParser;

// What --help says besides the options.
struct ProgramHelp
{
    QString name;        // "vantor-sim"
    QString synopsis;    // "[OPTIONS]"
    QString description; // one paragraph
    QString exitStatus;  // one paragraph, "Exit status: 0 ..."
};

// The command line of every executable built on QCommandLineParser, handled as vantor-cli
// handles its own: -h/--help and --version added to the options; the help laid out in its
// columns; a bad option or an argument not taken told in one line, exit status 2. An exit
// status when the program is to end now; nothing when it carries on.
std::optional<int> parseCommandLine(QCommandLineParser &parser,
                                    const QList<QCommandLineOption> &options,
                                    const QStringList &arguments, const ProgramHelp &help);

// "NAME: MESSAGE (try 'NAME --help')" on standard error; the exit status for it, 2.
int usageError(const QString &name, const QString &message);
