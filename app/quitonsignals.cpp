// SPDX-License-Identifier: MIT
#include "quitonsignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = { -1, -1 };

// Only async-signal-safe work here; the event loop does the rest.
void onSignal(int signal)
{
    const auto byte = static_cast<char>(signal);
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &byte, 1);
}

} // namespace

bool watchSignals(QCoreApplication &app, std::function<void(int)> onSignalRead)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return false;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [told = std::move(onSignalRead)] {
        char byte = 0;
        if (::read(g_signalPipe[0], &byte, 1) == 1)
            told(static_cast<unsigned char>(byte));
    });
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0
        && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

bool quitOnSignals(QCoreApplication &app)
{
    return watchSignals(app, [&app](int) { app.quit(); });
}
