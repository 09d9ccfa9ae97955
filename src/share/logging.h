// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

// The share's events: clients coming and going, the board lost and back, refused and
// unacknowledged writes, dropped bytes.
Q_DECLARE_LOGGING_CATEGORY(lcShare)
