// SPDX-License-Identifier: MIT
#include "logging.h"

Q_LOGGING_CATEGORY(lcWindow, "vantor.window", QtInfoMsg)
