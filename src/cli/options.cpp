// SPDX-License-Identifier: MIT
#include "options.h"

#include <codec/helptext.h>
#include <codec/settingtable.h>
#include <serial/portmap.h>

#include <QCommandLineParser>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <span>

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

struct Given
{
    QString spelled; // "--group", for messages
    QString value;
};

// Takes a given value into the options, or says why it cannot.
using Take = bool (*)(const Given &, Options &, QString &);

struct OptionDef
{
    Opt opt;
    QLatin1StringView name;
    char shortName;
    QLatin1StringView valueName; // empty: a switch
    unsigned commands;           // 0: global
    QLatin1StringView description;
    Take take;
};

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

template<typename T>
bool takeNumber(const Given &g, T &into, qint64 minimum, qint64 maximum, const QString &what,
                QString &error)
{
    const auto v = wholeNumber(g, minimum, maximum, error, what);
    if (v)
        into = static_cast<T>(*v);
    return v.has_value();
}

bool takePath(const Given &g, QString &into, const QString &what, QString &error)
{
    if (g.value.isEmpty()) {
        error = u"%1 wants %2"_s.arg(g.spelled, what);
        return false;
    }
    into = g.value;
    return true;
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

bool takeNothing(const Given &, Options &, QString &)
{
    return true;
}

constexpr unsigned kGroupCommands = kRead | kWatch | kDump | kMetrics;

// clang-format off
const std::array<OptionDef, 14> kOptionDefs { {
    { Opt::Help, "help"_L1, 'h', {}, 0, "show this help"_L1, takeNothing },
    { Opt::Version, "version"_L1, 0, {}, 0, "show the version"_L1, takeNothing },
    { Opt::Device, "device"_L1, 'd', "PATH"_L1, 0,
      "serial device (default: what the panel's COM1 opens, %1), or a board on the network: "
      "tcp://HOST:PORT (raw) or rfc2217://HOST:PORT"_L1,
      [](const Given &g, Options &o, QString &error) {
          return takePath(g, o.device, u"a device path"_s, error);
      } },
    { Opt::Group, "group"_L1, 0, "N|all"_L1, kGroupCommands,
      "port group 0..5 (default 0); all: a whole read gives the port count, then every group is "
      "read in turn (watch and metrics: one group per interval, round robin, the count read "
      "again after a reconnection; --count counts answers)"_L1,
      [](const Given &g, Options &o, QString &error) {
          if (g.value == u"all") {
              o.allGroups = true;
              return true;
          }
          return takeNumber(g, o.group, 0, Options::kHighestGroup, u"a port group"_s, error);
      } },
    { Opt::Timeout, "timeout"_L1, 0, "MS"_L1, 0, "answer time-out of each stage (default 2000)"_L1,
      [](const Given &g, Options &o, QString &error) {
          return takeNumber(g, o.timeoutMs, Options::kMinimumTimeoutMs, Options::kMaximumMs,
                            u"milliseconds"_s, error);
      } },
    { Opt::Format, "output-format"_L1, 'O', "FORMAT"_L1, kRead | kWatch,
      "json, csv or text for read (default json); jsonl or csv for watch (default jsonl)"_L1,
      [](const Given &g, Options &o, QString &error) {
          const auto f = formatFor(o.command, g.value);
          if (!f) {
              error = o.command == Command::Read
                  ? u"read writes json, csv or text, not \"%1\""_s.arg(g.value)
                  : u"watch writes jsonl or csv, not \"%1\""_s.arg(g.value);
              return false;
          }
          o.format = *f;
          return true;
      } },
    { Opt::Output, "output"_L1, 'o', "FILE"_L1, kWatch | kDump,
      "write to FILE instead of standard output"_L1,
      [](const Given &g, Options &o, QString &error) {
          return takePath(g, o.output, u"a file name"_s, error);
      } },
    { Opt::Interval, "interval"_L1, 0, "MS"_L1, kWatch | kMetrics,
      "port status refreshes every MS (default 500, at least 100)"_L1,
      [](const Given &g, Options &o, QString &error) {
          return takeNumber(g, o.intervalMs, Options::kMinimumIntervalMs, Options::kMaximumMs,
                            u"milliseconds"_s, error);
      } },
    { Opt::Count, "count"_L1, 0, "N"_L1, kWatch, "stop after N answers"_L1,
      [](const Given &g, Options &o, QString &error) {
          qint64 n = 0;
          if (!takeNumber(g, n, 1, std::numeric_limits<qint64>::max(), u"a number of answers"_s,
                          error))
              return false;
          o.count = n;
          return true;
      } },
    { Opt::Duration, "duration"_L1, 0, "S"_L1, kWatch, "stop after S seconds"_L1,
      [](const Given &g, Options &o, QString &error) {
          bool ok = false;
          const double s = g.value.toDouble(&ok);
          if (!ok || !std::isfinite(s) || s <= 0
              || s * 1000 > double(Options::kMaximumMs) * 365) {
              error = u"%1 wants a number of seconds above 0, not \"%2\""_s.arg(g.spelled,
                                                                                 g.value);
              return false;
          }
          o.durationMs = std::max<qint64>(1, std::llround(s * 1000));
          return true;
      } },
    { Opt::DryRun, "dry-run"_L1, 0, {}, kApply, "print the blocks instead of sending them"_L1,
      [](const Given &, Options &o, QString &) {
          o.dryRun = true;
          return true;
      } },
    { Opt::Port, "port"_L1, 0, "P"_L1, kSet, "the port, 1..48 as the window labels it"_L1,
      [](const Given &g, Options &o, QString &error) {
          int port = 0;
          if (!takeNumber(g, port, 1, codec::kMaxPortCount, u"a port number"_s, error))
              return false;
          o.port = port;
          return true;
      } },
    { Opt::Textfile, "textfile"_L1, 0, "PATH"_L1, kMetrics,
      "replace PATH with the metrics after every answer"_L1,
      [](const Given &g, Options &o, QString &error) {
          return takePath(g, o.textfile, u"a file name"_s, error);
      } },
    { Opt::Listen, "listen"_L1, 0, "[ADDRESS:]PORT"_L1, kMetrics,
      "serve the metrics over HTTP at /metrics (a bare PORT: loopback, :PORT: every "
      "interface)"_L1,
      [](const Given &g, Options &o, QString &error) {
          o.listen = serial::parseListenAddress(g.value);
          if (!o.listen)
              error = u"%1 wants [ADDRESS:]PORT (an IP address, port 0 to 65535), not \"%2\""_s
                          .arg(g.spelled, g.value);
          return o.listen.has_value();
      } },
} };
// clang-format on

// A command's own checks of its arguments, after its options were taken.
using Check = QString (*)(const QStringList &arguments, Options &);

struct CommandDef
{
    QLatin1StringView name;
    Command command;
    unsigned bit;
    QLatin1StringView arguments; // for the help
    QLatin1StringView description;
    Check check;
};

QString noArguments(const QStringList &arguments, Options &)
{
    return arguments.isEmpty() ? QString() : u"unexpected argument \"%1\""_s.arg(arguments.first());
}

// clang-format off
const std::array<CommandDef, 6> kCommandDefs { {
    { "read"_L1, Command::Read, kRead, {}, "one whole read of the group"_L1, noArguments },
    { "watch"_L1, Command::Watch, kWatch, {}, "the group's port status, refreshed"_L1,
      [](const QStringList &arguments, Options &o) {
          if (o.count && o.durationMs)
              return u"--count and --duration exclude each other"_s;
          return noArguments(arguments, o);
      } },
    { "dump-profile"_L1, Command::DumpProfile, kDump, {},
      "the board's writable settings as a profile"_L1, noArguments },
    { "apply"_L1, Command::Apply, kApply, "PROFILE"_L1, "write the settings in PROFILE"_L1,
      [](const QStringList &arguments, Options &o) {
          if (arguments.size() != 1)
              return u"apply wants one profile file"_s;
          o.profile = arguments.first();
          return QString();
      } },
    { "set"_L1, Command::Set, kSet, "KEY=VALUE..."_L1,
      "read, change the named settings, write back what changed"_L1,
      [](const QStringList &arguments, Options &o) {
          if (arguments.isEmpty())
              return u"set wants at least one KEY=VALUE"_s;
          for (const QString &a : arguments) {
              if (a.indexOf(u'=') <= 0)
                  return u"set wants KEY=VALUE, not \"%1\""_s.arg(a);
          }
          o.assignments = arguments;
          return QString();
      } },
    { "metrics"_L1, Command::Metrics, kMetrics, {},
      "Prometheus metrics, to a file (--textfile) or over HTTP (--listen)"_L1,
      [](const QStringList &arguments, Options &o) {
          if (o.textfile.isEmpty() && !o.listen)
              return u"metrics wants --textfile PATH or --listen [ADDRESS:]PORT"_s;
          return noArguments(arguments, o);
      } },
} };
// clang-format on

QCommandLineOption qtOption(const OptionDef &def)
{
    QStringList names;
    if (def.shortName != 0)
        names << QString(QLatin1Char(def.shortName));
    names << def.name;
    return QCommandLineOption(names, def.description, def.valueName);
}

CommandLine refused(const QString &error)
{
    CommandLine c;
    c.error = error;
    return c;
}

QString optionName(const OptionDef &def)
{
    return u"--"_s + def.name;
}

QString commandNames(unsigned commands)
{
    QStringList names;
    for (const CommandDef &c : kCommandDefs) {
        if (commands & c.bit)
            names << c.name;
    }
    return names.join(u", "_s);
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    // "-dPATH" and "-d PATH" alike; options may follow the command and its arguments.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    std::vector<QCommandLineOption> options;
    for (const OptionDef &def : kOptionDefs) {
        options.push_back(qtOption(def));
        parser.addOption(options.back());
    }
    // parse(), not process(): a usage error is told in the command's words and exits 2.
    if (!parser.parse(QStringList { u"vantor-cli"_s } + arguments))
        return refused(parser.errorText());

    CommandLine result;
    Options &o = result.options;
    o.device = serial::PortMap::defaultDevice(1);
    const auto isSet = [&](Opt opt) {
        return parser.isSet(options[static_cast<std::size_t>(opt)]);
    };
    if (isSet(Opt::Help)) {
        o.command = Command::Help;
        return result;
    }
    if (isSet(Opt::Version)) {
        o.command = Command::Version;
        return result;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return refused(u"no command given (read, watch, dump-profile, apply, set or metrics)"_s);
    const QString &name = positional.first();
    const auto command = std::find_if(kCommandDefs.begin(), kCommandDefs.end(),
                                      [&](const CommandDef &c) { return name == c.name; });
    if (command == kCommandDefs.end())
        return refused(u"unknown command \"%1\""_s.arg(name));
    o.command = command->command;
    o.format = o.command == Command::Watch ? OutputFormat::JsonLines : OutputFormat::Json;

    QString error;
    for (std::size_t i = 0; i < kOptionDefs.size(); ++i) {
        const OptionDef &def = kOptionDefs[i];
        if (!parser.isSet(options[i]))
            continue;
        if (def.commands != 0 && (def.commands & command->bit) == 0)
            return refused(u"%1 has no meaning for %2"_s.arg(optionName(def), name));
        // The last of a repeated option counts, as it would in most tools.
        if (!def.take({ optionName(def), parser.value(options[i]) }, o, error))
            return refused(error);
    }
    error = command->check(positional.mid(1), o);
    if (!error.isEmpty())
        return refused(error);
    return result;
}

QString usageText()
{
    QString out = uR"(Usage: vantor-cli [GLOBAL OPTIONS] COMMAND [ARGUMENTS] [OPTIONS]

Reads, watches, records, configures and monitors the Vantor evaluation board over its serial
link, without a window. Data goes to standard output, messages to standard error.

Commands:
)"_s;
    for (const CommandDef &c : kCommandDefs)
        codec::addHelpRow(out,
                          c.arguments.isEmpty() ? QString(c.name) : c.name + u' ' + c.arguments,
                          c.description);
    const auto section = [&out](const QString &heading, bool global) {
        out += u'\n' + heading + u'\n';
        for (const OptionDef &def : kOptionDefs) {
            if ((def.commands == 0) != global)
                continue;
            QString left
                = def.shortName != 0 ? u"-%1, "_s.arg(QLatin1Char(def.shortName)) : QString();
            left += optionName(def);
            if (!def.valueName.isEmpty())
                left += u' ' + def.valueName;
            QString right
                = QString(def.description).replace(u"%1"_s, serial::PortMap::defaultDevice(1));
            if (!global)
                right = commandNames(def.commands) + u": "_s + right;
            codec::addHelpRow(out, left, right);
        }
    };
    section(u"Global options (anywhere on the line):"_s, true);
    section(u"Options of the commands:"_s, false);
    out += uR"(
Exit status: 0 success; 1 the board did not answer in time, the line was lost or output could
not be written; 2 usage, profile or value error (nothing sent); 3 the device could not be
opened. See vantor-cli(1).
)"_s;
    return out;
}

} // namespace vantor::cli
