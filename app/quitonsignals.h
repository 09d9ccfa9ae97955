// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

class QCoreApplication;

// SIGINT and SIGTERM are told to onSignal from the event loop, with the signal's number, so
// that the program ends its work in its own time and destructors run: ports are closed with
// their lock files removed, and the simulated board removes its link. False when they cannot
// be watched.
bool watchSignals(QCoreApplication &app, std::function<void(int)> onSignal);
// As watchSignals, ending the event loop.
bool quitOnSignals(QCoreApplication &app);
