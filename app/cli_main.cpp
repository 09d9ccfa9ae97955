// SPDX-License-Identifier: MIT
// vantor-cli: reads, watches, records, configures and monitors the board without a window.

#include "quitonsignals.h"

#include <cli/commands.h>
#include <cli/options.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>

#include <csignal>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantor-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));
    // Failures are told once, in the command's own words; the layers' diagnostics stay off
    // unless QT_LOGGING_RULES asks for them.
    QLoggingCategory::setFilterRules(QStringLiteral("vantor.*=false"));
    // A reader that goes away ends the output instead of the process.
    std::signal(SIGPIPE, SIG_IGN);

    using namespace vantor::cli;
    const CommandLine line = parseCommandLine(QCoreApplication::arguments().mid(1));
    if (!line.ok()) {
        // One line per failure, the hint included.
        report(line.error + QStringLiteral(" (try 'vantor-cli --help')"));
        return kUsage;
    }
    const Options &options = line.options;
    if (options.command == Command::Help) {
        QTextStream(stdout) << usageText();
        return kSuccess;
    }
    if (options.command == Command::Version) {
        QTextStream(stdout) << "vantor-cli " << VANTOR_VERSION << "\n";
        return kSuccess;
    }
    // A write in flight is finished before the command stops, and watch and metrics flush
    // what they wrote.
    if (!watchSignals(app, &interrupt))
        report(QStringLiteral("SIGINT and SIGTERM will not end it cleanly"));
    return run(options);
}
