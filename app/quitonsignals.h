// SPDX-License-Identifier: MIT
#pragma once

class QCoreApplication;

// SIGINT and SIGTERM end the event loop, so destructors run: ports are closed with their lock
// files removed, and the simulated board removes its link. False when they cannot be watched.
bool quitOnSignals(QCoreApplication &app);
