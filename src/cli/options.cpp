// SPDX-License-Identifier: MIT
#include "options.h"

#include <codec/settingtable.h>
#include <serial/portmap.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace vantor::cli {

namespace {

using namespace Qt::Literals::StringLiterals;

// Which commands an option belongs to: none listed means every command.
enum CommandBit : unsigned {
    kRead = 1u << 0,
    kWatch = 1u << 1,
    kDump = 1u << 2,
    kApply = 1u << 3,
    kSet = 1u << 4,
    kMetrics = 1u << 5,
};

enum class Opt {
    Help,
    Version,
    Device,
    Group,
    Timeout,
    Format,
    Output,
    Interval,
    Count,
    Duration,
    DryRun,
    Port,
    Textfile,
    Listen,
};

struct OptionDef
{
    Opt opt;
    QLatin1StringView name;
    char shortName;
    bool takesValue;
    unsigned commands; // 0: global
};

constexpr unsigned kGroupCommands = kRead | kWatch | kDump | kMetrics;

const std::array<OptionDef, 14> kOptionDefs { {
    { Opt::Help, "help"_L1, 'h', false, 0 },
    { Opt::Version, "version"_L1, 0, false, 0 },
    { Opt::Device, "device"_L1, 'd', true, 0 },
    { Opt::Group, "group"_L1, 0, true, kGroupCommands },
    { Opt::Timeout, "timeout"_L1, 0, true, 0 },
    { Opt::Format, "output-format"_L1, 'O', true, kRead | kWatch },
    { Opt::Output, "output"_L1, 'o', true, kWatch | kDump },
    { Opt::Interval, "interval"_L1, 0, true, kWatch | kMetrics },
    { Opt::Count, "count"_L1, 0, true, kWatch },
    { Opt::Duration, "duration"_L1, 0, true, kWatch },
    { Opt::DryRun, "dry-run"_L1, 0, false, kApply },
    { Opt::Port, "port"_L1, 0, true, kSet },
    { Opt::Textfile, "textfile"_L1, 0, true, kMetrics },
    { Opt::Listen, "listen"_L1, 0, true, kMetrics },
} };

struct CommandName
{
    QLatin1StringView name;
    Command command;
    unsigned bit;
};

const std::array<CommandName, 6> kCommandNames { {
    { "read"_L1, Command::Read, kRead },
    { "watch"_L1, Command::Watch, kWatch },
    { "dump-profile"_L1, Command::DumpProfile, kDump },
    { "apply"_L1, Command::Apply, kApply },
    { "set"_L1, Command::Set, kSet },
    { "metrics"_L1, Command::Metrics, kMetrics },
} };

struct Given
{
    const OptionDef *def;
    QString spelled; // as typed, for messages
    QString value;
};

QString optionName(const OptionDef &def)
{
    return u"--"_s + def.name;
}

const OptionDef *findLong(QStringView name)
{
    for (const OptionDef &def : kOptionDefs) {
        if (name == def.name)
            return &def;
    }
    return nullptr;
}

const OptionDef *findShort(QChar c)
{
    for (const OptionDef &def : kOptionDefs) {
        if (def.shortName != 0 && c == QLatin1Char(def.shortName))
            return &def;
    }
    return nullptr;
}

// A whole number in [minimum, maximum], or the reason it is not.
std::optional<qint64> wholeNumber(const Given &g, qint64 minimum, qint64 maximum, QString &error,
                                  const QString &what)
{
    bool ok = false;
    const qint64 v = g.value.toLongLong(&ok);
    if (!ok || v < minimum || v > maximum) {
        error = u"%1 wants %2 from %3 to %4, not \"%5\""_s.arg(g.spelled, what)
                    .arg(minimum)
                    .arg(maximum)
                    .arg(g.value);
        return std::nullopt;
    }
    return v;
}

std::optional<OutputFormat> formatFor(Command command, const QString &text)
{
    if (command == Command::Read) {
        if (text == u"json")
            return OutputFormat::Json;
        if (text == u"csv")
            return OutputFormat::Csv;
        if (text == u"text")
            return OutputFormat::Text;
    } else {
        if (text == u"jsonl")
            return OutputFormat::JsonLines;
        if (text == u"csv")
            return OutputFormat::Csv;
    }
    return std::nullopt;
}

// Options and arguments as typed, before their meaning is checked.
struct Split
{
    QList<Given> options;
    QStringList positional;
    QString error;
};

Split split(const QStringList &arguments)
{
    Split s;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (optionsEnded || a.size() < 2 || !a.startsWith(u'-')) {
            s.positional.append(a);
            continue;
        }
        if (a == u"--") {
            optionsEnded = true;
            continue;
        }
        const OptionDef *def = nullptr;
        QString spelled;
        std::optional<QString> inlineValue;
        if (a.startsWith(u"--")) {
            const qsizetype eq = a.indexOf(u'=');
            spelled = eq < 0 ? a : a.left(eq);
            if (eq >= 0)
                inlineValue = a.mid(eq + 1);
            def = findLong(QStringView(spelled).mid(2));
        } else {
            spelled = a.left(2);
            if (a.size() > 2)
                inlineValue = a.mid(2);
            def = findShort(a.at(1));
        }
        if (!def) {
            s.error = u"unknown option %1"_s.arg(spelled);
            return s;
        }
        Given g { def, spelled, {} };
        if (def->takesValue) {
            if (inlineValue) {
                g.value = *inlineValue;
            } else if (i + 1 < arguments.size()) {
                g.value = arguments[++i];
            } else {
                s.error = u"%1 needs a value"_s.arg(spelled);
                return s;
            }
        } else if (inlineValue) {
            s.error = u"%1 takes no value"_s.arg(spelled);
            return s;
        }
        s.options.append(g);
    }
    return s;
}

// Each option's meaning, once the command is known.
bool takeOption(const Given &g, Options &o, QString &error)
{
    switch (g.def->opt) {
    case Opt::Help:
    case Opt::Version:
        return true;
    case Opt::Device:
        if (g.value.isEmpty()) {
            error = u"%1 wants a device path"_s.arg(g.spelled);
            return false;
        }
        o.device = g.value;
        return true;
    case Opt::Group: {
        if (g.value == u"all") {
            o.allGroups = true;
            return true;
        }
        const auto v = wholeNumber(g, 0, Options::kHighestGroup, error, u"a port group"_s);
        if (v)
            o.group = static_cast<int>(*v);
        return v.has_value();
    }
    case Opt::Timeout: {
        const auto v = wholeNumber(g, Options::kMinimumTimeoutMs, Options::kMaximumMs, error,
                                   u"milliseconds"_s);
        if (v)
            o.timeoutMs = static_cast<int>(*v);
        return v.has_value();
    }
    case Opt::Format: {
        const auto f = formatFor(o.command, g.value);
        if (!f) {
            error = o.command == Command::Read
                ? u"read writes json, csv or text, not \"%1\""_s.arg(g.value)
                : u"watch writes jsonl or csv, not \"%1\""_s.arg(g.value);
            return false;
        }
        o.format = *f;
        return true;
    }
    case Opt::Output:
        if (g.value.isEmpty()) {
            error = u"%1 wants a file name"_s.arg(g.spelled);
            return false;
        }
        o.output = g.value;
        return true;
    case Opt::Interval: {
        const auto v = wholeNumber(g, Options::kMinimumIntervalMs, Options::kMaximumMs, error,
                                   u"milliseconds"_s);
        if (v)
            o.intervalMs = static_cast<int>(*v);
        return v.has_value();
    }
    case Opt::Count: {
        const auto v = wholeNumber(g, 1, std::numeric_limits<qint64>::max(), error,
                                   u"a number of answers"_s);
        o.count = v;
        return v.has_value();
    }
    case Opt::Duration: {
        bool ok = false;
        const double s = g.value.toDouble(&ok);
        if (!ok || !std::isfinite(s) || s <= 0 || s * 1000 > double(Options::kMaximumMs) * 365) {
            error = u"%1 wants a number of seconds above 0, not \"%2\""_s.arg(g.spelled, g.value);
            return false;
        }
        o.durationMs = std::max<qint64>(1, std::llround(s * 1000));
        return true;
    }
    case Opt::DryRun:
        o.dryRun = true;
        return true;
    case Opt::Port: {
        const auto v = wholeNumber(g, 1, codec::kMaxPortCount, error, u"a port number"_s);
        if (v)
            o.port = static_cast<int>(*v);
        return v.has_value();
    }
    case Opt::Textfile:
        if (g.value.isEmpty()) {
            error = u"%1 wants a file name"_s.arg(g.spelled);
            return false;
        }
        o.textfile = g.value;
        return true;
    case Opt::Listen:
        o.listen = serial::parseListenAddress(g.value);
        if (!o.listen) {
            error = u"%1 wants [ADDRESS:]PORT (an IP address, port 0 to 65535), not \"%2\""_s.arg(
                g.spelled, g.value);
            return false;
        }
        return true;
    }
    return false;
}

CommandLine refused(const QString &error)
{
    CommandLine c;
    c.error = error;
    return c;
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    const Split s = split(arguments);
    if (!s.error.isEmpty())
        return refused(s.error);

    CommandLine result;
    Options &o = result.options;
    o.device = serial::PortMap::defaultDevice(1);
    for (const Given &g : s.options) {
        if (g.def->opt == Opt::Help) {
            o.command = Command::Help;
            return result;
        }
    }
    for (const Given &g : s.options) {
        if (g.def->opt == Opt::Version) {
            o.command = Command::Version;
            return result;
        }
    }
    if (s.positional.isEmpty())
        return refused(u"no command given (read, watch, dump-profile, apply, set or metrics)"_s);

    const QString &name = s.positional.first();
    const CommandName *command = nullptr;
    for (const CommandName &c : kCommandNames) {
        if (name == c.name)
            command = &c;
    }
    if (!command)
        return refused(u"unknown command \"%1\""_s.arg(name));
    o.command = command->command;
    o.format = o.command == Command::Watch ? OutputFormat::JsonLines : OutputFormat::Json;

    QString error;
    for (const Given &g : s.options) {
        if (g.def->commands != 0 && (g.def->commands & command->bit) == 0)
            return refused(u"%1 has no meaning for %2"_s.arg(optionName(*g.def), name));
        if (!takeOption(g, o, error))
            return refused(error);
    }

    const QStringList args = s.positional.mid(1);
    switch (o.command) {
    case Command::Apply:
        if (args.size() != 1)
            return refused(u"apply wants one profile file"_s);
        o.profile = args.first();
        break;
    case Command::Set:
        if (args.isEmpty())
            return refused(u"set wants at least one KEY=VALUE"_s);
        for (const QString &a : args) {
            if (a.indexOf(u'=') <= 0)
                return refused(u"set wants KEY=VALUE, not \"%1\""_s.arg(a));
        }
        o.assignments = args;
        break;
    default:
        if (!args.isEmpty())
            return refused(u"unexpected argument \"%1\""_s.arg(args.first()));
        break;
    }
    if (o.count && o.durationMs)
        return refused(u"--count and --duration exclude each other"_s);
    if (o.command == Command::Metrics && o.textfile.isEmpty() && !o.listen)
        return refused(u"metrics wants --textfile PATH or --listen [ADDRESS:]PORT"_s);
    return result;
}

QString usageText()
{
    return uR"(Usage: vantor-cli [-d|--device PATH] [--group N|all] [--timeout MS] COMMAND [OPTIONS]

Reads, watches, records, configures and monitors the Vantor evaluation board over its serial
link, without a window. Data goes to standard output, messages to standard error.

Commands:
  read [-O json|csv|text]      one whole read of the group (default json)
  watch [--interval MS] [--count N | --duration S] [-O jsonl|csv] [-o FILE]
                               port status refreshes every MS (default 500, at least 100)
  dump-profile [-o FILE]       the board's writable settings as a profile
  apply PROFILE [--dry-run]    write the settings in PROFILE (--dry-run: print the blocks)
  set KEY=VALUE... [--port P]  read, change the named settings, write back what changed
  metrics (--textfile PATH | --listen [ADDRESS:]PORT) [--interval MS]
                               Prometheus metrics, to a file or over HTTP at /metrics

Options:
  -d, --device PATH   serial device (default: what the panel's COM1 opens, %1)
  --group N|all       port group 0..5 for read, watch, dump-profile and metrics (default 0);
                      all: a whole read gives the port count, then every group is read in
                      turn (watch and metrics: one group per interval, round robin, the
                      count read again after a reconnection; --count counts answers)
  --timeout MS        answer time-out of each stage (default 2000)
  --port P            set: the port, 1..48 as the window labels it
  -h, --help          show this help
  --version           show the version

Exit status: 0 success; 1 the board did not answer in time, the line was lost or output could
not be written; 2 usage, profile or value error (nothing sent); 3 the device could not be
opened. See vantor-cli(1).
)"_s.arg(serial::PortMap::defaultDevice(1));
}

} // namespace vantor::cli
