// SPDX-License-Identifier: MIT
#pragma once

// A real ser2net (Debian package ser2net, 4.x) in the foreground in front of a device, with
// both accepters on free loopback ports: raw TCP and telnet(rfc2217), as the README's YAML
// has them. The test writes the YAML, starts it with -n -d -c FILE and stops it by its own
// process (SIGTERM). CI installs ser2net (scripts/install-deps): a missing one fails there
// and skips elsewhere.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace vantor::testing {

inline QString ser2netExecutable()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
    if (!found.isEmpty())
        return found;
    return QStandardPaths::findExecutable(QStringLiteral("ser2net"),
                                          { QStringLiteral("/usr/sbin"), QStringLiteral("/sbin") });
}

// Fails the test under CI (CI=true), skips it elsewhere, when ser2net is not installed.
#define VANTOR_REQUIRE_SER2NET()                                                                  \
    do {                                                                                          \
        if (vantor::testing::ser2netExecutable().isEmpty()) {                                     \
            if (qEnvironmentVariable("CI") == QLatin1String("true"))                              \
                QFAIL("ser2net is not installed (scripts/install-deps installs it)");             \
            QSKIP("ser2net is not installed (scripts/install-deps installs it)");                 \
        }                                                                                         \
    } while (false)

// A port free now on loopback (bound and let go; ser2net binds it next).
inline quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

struct Ser2net
{
    ~Ser2net() { stop(); }

    // The YAML for `device`: the README's, on this rig's ports.
    QString yaml(const QString &device) const
    {
        const QString connector
            = QStringLiteral("serialdev(nouucplock=true),%1,19200n81,local").arg(device);
        return QStringLiteral("%YAML 1.1\n---\n"
                              "connection: &vantor-raw\n"
                              "  accepter: tcp(nodelay),127.0.0.1,%1\n"
                              "  connector: %3\n"
                              "  options:\n"
                              "    chardelay: false\n"
                              "connection: &vantor-rfc2217\n"
                              "  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1,%2\n"
                              "  connector: %3\n"
                              "  options:\n"
                              "    chardelay: false\n")
            .arg(rawPort)
            .arg(telnetPort)
            .arg(connector);
    }

    bool start(const QString &device)
    {
        if (!dir.isValid()) {
            why = QStringLiteral("no scratch folder");
            return false;
        }
        if (rawPort == 0) {
            rawPort = freeLoopbackPort();
            telnetPort = freeLoopbackPort();
            while (telnetPort == rawPort)
                telnetPort = freeLoopbackPort();
        }
        config = dir.filePath(QStringLiteral("ser2net.yaml"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(yaml(device).toUtf8()) < 0) {
            why = QStringLiteral("cannot write %1").arg(config);
            return false;
        }
        file.close();
        m_device = device;
        return launch();
    }

    // Started again with the same file and ports.
    bool restart() { return launch(); }

    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    QString rawUrl() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(rawPort); }
    QString rfc2217Url() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(telnetPort); }

    QTemporaryDir dir;
    QProcess process;
    QString config;
    quint16 rawPort = 0;
    quint16 telnetPort = 0;
    QString why;
    QByteArray output;

private:
    bool launch()
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        if (!m_following) {
            m_following = true;
            QObject::connect(&process, &QProcess::readyRead, &process,
                             [this] { output += process.readAll(); });
        }
        process.start(ser2netExecutable(),
                      { QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-c"), config });
        if (!process.waitForStarted(5000)) {
            why = QStringLiteral("ser2net did not start: %1").arg(process.errorString());
            return false;
        }
        // Ready once both ports take a connection; the probe closes before sending anything.
        QElapsedTimer clock;
        clock.start();
        for (const quint16 port : { rawPort, telnetPort }) {
            bool listening = false;
            while (!listening && clock.elapsed() < 10000) {
                if (process.state() == QProcess::NotRunning)
                    break;
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, port);
                listening = probe.waitForConnected(200);
                probe.abort();
                if (!listening)
                    QTest::qWait(20);
            }
            if (!listening) {
                why = QStringLiteral("ser2net is not listening on %1: %2")
                          .arg(port)
                          .arg(QString::fromLocal8Bit(output + process.readAll()));
                stop();
                return false;
            }
        }
        // The probes' connections are gone before a test's first client comes.
        QTest::qWait(50);
        return true;
    }

    QString m_device;
    bool m_following = false;
};

} // namespace vantor::testing
