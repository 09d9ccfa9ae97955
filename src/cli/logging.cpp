// SPDX-License-Identifier: MIT
#include "logging.h"

Q_LOGGING_CATEGORY(lcCli, "vantor.cli", QtInfoMsg)
