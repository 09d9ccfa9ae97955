// SPDX-License-Identifier: MIT
#include "logging.h"

Q_LOGGING_CATEGORY(lcSim, "vantor.sim", QtInfoMsg)
