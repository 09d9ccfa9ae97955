// SPDX-License-Identifier: MIT
#pragma once

// The commands of vantor-cli, each run to its end inside the running application. Data goes to
// standard output (or -o FILE), one line per failure to standard error, and the result is the
// exit status.

#include "options.h"

namespace vantor::cli {

enum ExitStatus : int {
    kSuccess = 0,
    // After work began: a time-out, a lost line, or a write to the output that failed.
    kNoAnswer = 1,
    // Before anything was sent: the command line, a profile or a value, or an output path
    // that cannot be used (a missing or read-only folder, a directory, a file of another
    // format).
    kUsage = 2,
    kCannotOpen = 3, // the device could not be opened
    // Plus the signal's number: ended by SIGINT (130) or SIGTERM (143).
    kInterrupted = 128,
};

// One line on standard error, after the program's name.
void report(const QString &line);

// Runs a parsed command (not Help or Version). Watch and metrics run until their count or
// duration is reached, or until interrupted.
[[nodiscard]] int run(const Options &options);

// A signal asks the running command to stop: watch and metrics end once what they wrote is
// flushed; the others let the request in flight end (a write's block still goes out, within the
// time-out) and send nothing more. run() then returns kInterrupted plus the signal.
void interrupt(int signal);

} // namespace vantor::cli
