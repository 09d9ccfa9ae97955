// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

// The views beside the window: recording, settings files, saved logs and plots.
Q_DECLARE_LOGGING_CATEGORY(lcViews)
