// SPDX-License-Identifier: MIT
#include "commandline.h"

#include <codec/echotext.h>
#include <codec/helptext.h>

#include <QCommandLineParser>
#include <QTextStream>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kUsage = 2;

QString helpText(const QList<QCommandLineOption> &options, const ProgramHelp &help)
{
    QString out = u"Usage: %1 %2\n\n"_s.arg(help.name, help.synopsis);
    out += vantor::codec::wrapHelpText(help.description) + u"\nOptions:\n"_s;
    for (const QCommandLineOption &option : options)
        vantor::codec::addHelpRow(out, vantor::codec::helpLeftColumn(option), option.description());
    if (!help.exitStatus.isEmpty())
        out += u'\n' + vantor::codec::wrapHelpText(help.exitStatus);
    return out;
}

} // namespace

int usageError(const QString &name, const QString &message)
{
    QTextStream(stderr) << name << ": " << vantor::codec::escapeControls(message) << " (try '"
                        << name << " --help')\n";
    return kUsage;
}

std::optional<int> parseCommandLine(QCommandLineParser &parser,
                                    const QList<QCommandLineOption> &options,
                                    const QStringList &arguments, const ProgramHelp &help)
{
    const QCommandLineOption helpOption({ u"h"_s, u"help"_s }, u"show this help"_s);
    const QCommandLineOption versionOption(u"version"_s, u"show the version"_s);
    QList<QCommandLineOption> all { helpOption, versionOption };
    all += options;
    parser.addOptions(all);
    if (!parser.parse(arguments)) {
        // Qt's own words, without their full stop: "Unknown option 'baud'".
        QString error = parser.errorText();
        if (error.endsWith(u'.'))
            error.chop(1);
        if (!error.isEmpty())
            error[0] = error[0].toLower();
        return usageError(help.name, error);
    }
    if (parser.isSet(helpOption)) {
        QTextStream(stdout) << helpText(all, help);
        return 0;
    }
    if (parser.isSet(versionOption)) {
        QTextStream(stdout) << help.name << ' ' << VANTOR_VERSION << '\n';
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            help.name, u"unexpected argument \"%1\""_s.arg(parser.positionalArguments().first()));
    return std::nullopt;
}
