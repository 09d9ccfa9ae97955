// SPDX-License-Identifier: MIT
// vantor-cli's command line without a board: the spellings an option may take, where options
// may stand, and the refusals of each command's own checks.

#include <cli/options.h>
#include <codec/helptext.h>

#include <QTest>

using namespace vantor::cli;

class TestOptions : public QObject
{
    Q_OBJECT

private slots:
    void accepted_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("group");
        QTest::addColumn<QStringList>("assignments");
        const QStringList none;
        QTest::newRow("-d PATH") << QStringList { "-d", "/dev/x", "read" } << "/dev/x" << 0 << none;
        QTest::newRow("-dPATH") << QStringList { "-d/dev/x", "read" } << "/dev/x" << 0 << none;
        QTest::newRow("--device=PATH")
            << QStringList { "--device=/dev/x", "read" } << "/dev/x" << 0 << none;
        QTest::newRow("options after the command")
            << QStringList { "read", "--group", "3", "-d", "/dev/x" } << "/dev/x" << 3 << none;
        QTest::newRow("the last of a repeated option")
            << QStringList { "--group", "1", "read", "--group=2" } << "" << 2 << none;
        QTest::newRow("-- ends the options")
            << QStringList { "set", "--port", "2", "--", "priority=3" } << "" << 0
            << QStringList { "priority=3" };
    }

    void accepted()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, device);
        QFETCH(int, group);
        QFETCH(QStringList, assignments);
        const CommandLine line = parseCommandLine(arguments);
        QVERIFY2(line.ok(), qPrintable(line.error));
        if (!device.isEmpty())
            QCOMPARE(line.options.device, device);
        QCOMPARE(line.options.group, group);
        QCOMPARE(line.options.assignments, assignments);
    }

    void refused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown option") << QStringList { "read", "--warp" } << "warp";
        QTest::newRow("a value missing") << QStringList { "read", "--group" } << "--group";
        QTest::newRow("a switch with a value")
            << QStringList { "apply", "p.json", "--dry-run=yes" } << "--dry-run";
        QTest::newRow("another command's option")
            << QStringList { "watch", "--port", "3" } << "--port has no meaning for watch";
        QTest::newRow("apply without its profile") << QStringList { "apply" } << "one profile";
        QTest::newRow("set without KEY=VALUE")
            << QStringList { "set", "--port", "1", "priority" } << "KEY=VALUE";
        QTest::newRow("count and duration")
            << QStringList { "watch", "--count", "1", "--duration", "1" } << "exclude each other";
        QTest::newRow("metrics with nowhere to go") << QStringList { "metrics" } << "--textfile";
        QTest::newRow("a stray argument") << QStringList { "read", "now" } << "\"now\"";
    }

    void refused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const CommandLine line = parseCommandLine(arguments);
        QVERIFY2(!line.ok() && line.error.contains(message), qPrintable(line.error));
        QVERIFY(!line.error.contains(u'\n'));
    }

    // Help comes from the option table: every option is in it, with its value's name.
    void helpNamesEveryOption()
    {
        const QString help = usageText();
        for (const char *option :
             { "-d, --device PATH", "--group N", "--timeout MS", "-O, --output-format FORMAT",
               "-o, --output FILE", "--interval MS", "--count N", "--duration S", "--dry-run",
               "--port P", "--textfile PATH", "--listen [ADDRESS:]PORT" })
            QVERIFY2(help.contains(QLatin1StringView(option)), option);
        QVERIFY(parseCommandLine({ "read", "-h" }).options.command == Command::Help);
    }

    // Every executable's --help: options in one column, what they do wrapped in the next.
    void helpLayout_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<QString>("row");
        const QString pad(vantor::codec::kHelpColumn, u' ');
        QTest::newRow("short") << "--demo"
                               << "the simulated board"
                               << "  --demo" + pad.mid(8) + "the simulated board\n";
        QTest::newRow("too long for its column: a line of its own")
            << "--listen-read-only [ADDR:]PORT"
            << "no writes"
            << "  --listen-read-only [ADDR:]PORT\n" + pad + "no writes\n";
        const QString words = QStringLiteral("word ").repeated(20).trimmed();
        QTest::newRow("wrapped under its column")
            << "-x" << words
            << "  -x" + pad.mid(4) + QStringLiteral("word ").repeated(13).trimmed() + "\n" + pad
                + QStringLiteral("word ").repeated(7).trimmed() + "\n";
    }

    void helpLayout()
    {
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(QString, row);
        QString out;
        vantor::codec::addHelpRow(out, left, right);
        QCOMPARE(out, row);
        for (const QString &line : out.split(u'\n'))
            QVERIFY2(line.size() <= vantor::codec::kHelpWidth, qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(TestOptions)
#include "test_options.moc"
