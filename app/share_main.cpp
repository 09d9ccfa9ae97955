// SPDX-License-Identifier: MIT
// vantor-share: one board offered to many programs at once, one transaction at a time.

#include "commandline.h"
#include "quitonsignals.h"

#include <cli/metricsserver.h>
#include <protocol/timer.h>
#include <serial/devicelink.h>
#include <serial/listenaddress.h>
#include <share/listeners.h>
#include <share/logging.h>
#include <share/reopener.h>
#include <share/sharecore.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>

namespace {

constexpr int kFailure = 1;
constexpr int kMetricsRefreshMs = 1000;

// The one place the board's link is made: whatever the device names, the share drives it
// through serial::SerialLink.
std::unique_ptr<vantor::serial::SerialLink> makeBoardLink(const QString &device)
{
    // A tty path, or a board on the network (tcp://, rfc2217://): the device link picks.
    auto link = std::make_unique<vantor::serial::DeviceLink>();
    link->setPortName(device);
    link->setSettings(QString::fromLatin1(vantor::serial::kLineSettings));
    return link;
}

// One line per event on standard error, stamped in UTC.
void logLine(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    const QString stamp
        = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
    const char *level
        = type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg ? " warning:" : "";
    std::fprintf(stderr, "%s vantor-share:%s %s\n", qPrintable(stamp), level, qPrintable(message));
    std::fflush(stderr);
}

int usage(const QString &message)
{
    return usageError(QStringLiteral("vantor-share"), message);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantor-share"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));
    std::signal(SIGPIPE, SIG_IGN);

    QCommandLineParser parser;
    const QCommandLineOption deviceOption({ QStringLiteral("d"), QStringLiteral("device") },
                                          QStringLiteral("the board's serial device: a path, or "
                                                         "tcp://HOST:PORT or rfc2217://HOST:PORT"),
                                          QStringLiteral("DEVICE"));
    const QCommandLineOption listenOption(
        QStringLiteral("listen"), QStringLiteral("serve clients over raw TCP on [ADDR:]PORT"),
        QStringLiteral("[ADDR:]PORT"));
    const QCommandLineOption readOnlyOption(
        QStringLiteral("listen-read-only"),
        QStringLiteral("serve clients over raw TCP on [ADDR:]PORT; their writes never reach the "
                       "board"),
        QStringLiteral("[ADDR:]PORT"));
    const QCommandLineOption ptyOption(
        QStringLiteral("pty"),
        QStringLiteral("serve one client on a pseudo-terminal linked at PATH"),
        QStringLiteral("PATH"));
    const QCommandLineOption maxAgeOption(
        QStringLiteral("max-age"),
        QStringLiteral("answer a port status refresh from a snapshot younger than MS "
                       "(default %1; 0: never)")
            .arg(vantor::share::ShareCore::kDefaultMaxAgeMs),
        QStringLiteral("MS"));
    const QCommandLineOption metricsOption(
        QStringLiteral("metrics"),
        QStringLiteral("serve the share's own Prometheus metrics on [ADDR:]PORT"),
        QStringLiteral("[ADDR:]PORT"));
    const ProgramHelp help {
        QStringLiteral("vantor-share"),
        QStringLiteral("--device DEVICE [OPTIONS]"),
        QStringLiteral("Offers one Vantor evaluation board to many programs at once: each client "
                       "speaks the board's own protocol over TCP or a pseudo-terminal, and the "
                       "share runs one transaction on the board at a time. A bare PORT listens on "
                       "loopback, :PORT on every interface."),
        QStringLiteral("Exit status: 0 ended by SIGINT or SIGTERM; 1 a listener or the metrics "
                       "could not be set up; 2 a usage error. See vantor-share(1)."),
    };
    if (const std::optional<int> status = parseCommandLine(
            parser,
            { deviceOption, listenOption, readOnlyOption, ptyOption, maxAgeOption, metricsOption },
            QCoreApplication::arguments(), help))
        return *status;
    if (!parser.isSet(deviceOption))
        return usage(QStringLiteral("--device is needed"));
    if (parser.values(listenOption).isEmpty() && parser.values(readOnlyOption).isEmpty()
        && parser.values(ptyOption).isEmpty())
        return usage(QStringLiteral("nothing to serve on: give --listen, --listen-read-only "
                                    "or --pty"));

    struct Listen
    {
        vantor::serial::ListenAddress address;
        bool readOnly;
    };
    std::vector<Listen> listens;
    for (const auto &[option, readOnly] :
         { std::pair { &listenOption, false }, std::pair { &readOnlyOption, true } }) {
        for (const QString &text : parser.values(*option)) {
            const auto address = vantor::serial::parseListenAddress(text);
            if (!address)
                return usage(QStringLiteral("--%1 wants [ADDR:]PORT, not \"%2\"")
                                 .arg(option->names().constFirst(), text));
            listens.push_back({ *address, readOnly });
        }
    }
    int maxAgeMs = vantor::share::ShareCore::kDefaultMaxAgeMs;
    if (parser.isSet(maxAgeOption)) {
        bool ok = false;
        maxAgeMs = parser.value(maxAgeOption).toInt(&ok);
        if (!ok || maxAgeMs < 0 || maxAgeMs > 60000)
            return usage(QStringLiteral("--max-age wants 0 to 60000 ms, not \"%1\"")
                             .arg(parser.value(maxAgeOption)));
    }
    std::optional<vantor::serial::ListenAddress> metricsAddress;
    if (parser.isSet(metricsOption)) {
        metricsAddress = vantor::serial::parseListenAddress(parser.value(metricsOption));
        if (!metricsAddress)
            return usage(QStringLiteral("--metrics wants [ADDR:]PORT, not \"%1\"")
                             .arg(parser.value(metricsOption)));
    }

    qInstallMessageHandler(logLine);
    QLoggingCategory::setFilterRules(QStringLiteral("vantor.*.debug=false"));
    if (!quitOnSignals(app))
        qCWarning(lcShare) << "SIGINT and SIGTERM will not end it cleanly";

    const std::unique_ptr<vantor::serial::SerialLink> link
        = makeBoardLink(parser.value(deviceOption));
    vantor::share::Listeners listeners;
    QElapsedTimer clock;
    clock.start();
    vantor::share::ShareCore core(
        *link, listeners, [] { return std::make_unique<vantor::protocol::QtTimer>(); },
        [&clock] { return clock.elapsed(); });
    core.setMaxAgeMs(maxAgeMs);
    listeners.setCore(&core);
    vantor::protocol::QtTimer retryTimer;
    vantor::share::Reopener reopener(*link, retryTimer);

    QTextStream out(stdout);
    for (const Listen &listen : listens) {
        QString error;
        if (!listeners.listenTcp(listen.address, listen.readOnly, error)) {
            QTextStream(stderr) << "vantor-share: cannot listen on port " << listen.address.port
                                << ": " << error << "\n";
            return kFailure;
        }
    }
    for (const QString &path : parser.values(ptyOption)) {
        QString error;
        if (!listeners.addPty(path, error)) {
            QTextStream(stderr) << "vantor-share: " << error << "\n";
            return kFailure;
        }
    }

    vantor::cli::MetricsServer metrics;
    QTimer metricsRefresh;
    if (metricsAddress) {
        if (!metrics.listen(metricsAddress->address, metricsAddress->port)) {
            QTextStream(stderr) << "vantor-share: cannot serve metrics on port "
                                << metricsAddress->port << ": " << metrics.errorString() << "\n";
            return kFailure;
        }
        const auto refresh = [&] {
            metrics.setText(vantor::share::exposition(core.stats()));
        };
        refresh();
        QObject::connect(&metricsRefresh, &QTimer::timeout, &app, refresh);
        metricsRefresh.start(kMetricsRefreshMs);
    }

    // What tests and scripts need to reach it: each TCP listener's port, then the metrics'.
    for (quint16 port : listeners.tcpPorts())
        out << "listen " << port << "\n";
    if (metricsAddress)
        out << "metrics " << metrics.port() << "\n";
    out.flush();

    // A failed open is retried by the reopener.
    link->open();
    const int status = app.exec();
    link->close();
    return status;
}
