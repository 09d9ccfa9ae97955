// SPDX-License-Identifier: MIT
#pragma once

// Runs the real vantor-cli while this process's event loop keeps turning, so that a simulated
// board in this process can answer it.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

namespace vantor::testing {

struct CliRun
{
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QString err;
    qint64 elapsedMs = 0; // from the start of the process to its end
};

inline QString cliPath()
{
    return qEnvironmentVariable("VANTOR_BINARY_DIR") + QStringLiteral("/app/vantor-cli");
}

inline CliRun runCli(const QStringList &arguments, int limitMs = 30000)
{
    QProcess process;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    bool ended = false;
    QObject::connect(&process, &QProcess::finished, &loop, [&] {
        ended = true;
        loop.quit();
    });
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    process.start(cliPath(), arguments);
    limit.start(limitMs);
    loop.exec();

    CliRun run;
    run.elapsedMs = clock.elapsed();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    } else if (ended) {
        run.finished = process.exitStatus() == QProcess::NormalExit;
        run.exitCode = process.exitCode();
    }
    run.out = process.readAllStandardOutput();
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

} // namespace vantor::testing
