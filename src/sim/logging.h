// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

// The simulated board: commands served, answers cut short, payloads applied or dropped.
Q_DECLARE_LOGGING_CATEGORY(lcSim)
