// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

// What the command line does besides its output: steps, reconnections, HTTP requests.
Q_DECLARE_LOGGING_CATEGORY(lcCli)
