// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

// What the session does on the operator's behalf: start-up, saves, profiles.
Q_DECLARE_LOGGING_CATEGORY(lcSession)
