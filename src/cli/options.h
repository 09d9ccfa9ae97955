// SPDX-License-Identifier: MIT
#pragma once

// vantor-cli's command line: global options (anywhere), one command, the command's options
// and arguments. Parsing is pure, so every refusal can be checked without a board.

#include <serial/listenaddress.h>

#include <QString>
#include <QStringList>

#include <optional>

namespace vantor::cli {

enum class Command { Read, Watch, DumpProfile, Apply, Set, Metrics, Help, Version };

enum class OutputFormat { Json, JsonLines, Csv, Text };

struct Options
{
    static constexpr int kDefaultTimeoutMs = 2000;
    static constexpr int kDefaultIntervalMs = 500;
    static constexpr int kMinimumIntervalMs = 100;
    // One request byte and 168 answer bytes take 88 ms at 19200 bit/s.
    static constexpr int kMinimumTimeoutMs = 100;
    static constexpr int kMaximumMs = 24 * 3600 * 1000;
    static constexpr int kHighestGroup = 5;

    Command command = Command::Help;
    QString device; // what the panel's COM1 opens unless -d is given
    int group = 0;
    bool allGroups = false; // --group all: every group the board's port count allows
    int timeoutMs = kDefaultTimeoutMs;
    OutputFormat format = OutputFormat::Json;
    int intervalMs = kDefaultIntervalMs;
    std::optional<qint64> count;      // watch: answers
    std::optional<qint64> durationMs; // watch
    QString output;                   // -o FILE
    QString profile;                  // apply PROFILE
    bool dryRun = false;
    QStringList assignments; // set KEY=VALUE...
    std::optional<int> port; // set --port, 1..48 as the window labels ports
    QString textfile;        // metrics
    std::optional<serial::ListenAddress> listen;
};

struct CommandLine
{
    Options options;
    QString error; // set: a usage error, nothing is to be done

    [[nodiscard]] bool ok() const { return error.isEmpty(); }
};

// The arguments after the program's name.
[[nodiscard]] CommandLine parseCommandLine(const QStringList &arguments);

[[nodiscard]] QString usageText();

} // namespace vantor::cli
