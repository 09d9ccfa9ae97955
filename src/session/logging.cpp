// SPDX-License-Identifier: MIT
#include "logging.h"

Q_LOGGING_CATEGORY(lcSession, "vantor.session", QtInfoMsg)
