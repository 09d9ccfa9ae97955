// SPDX-License-Identifier: MIT
#include "logging.h"

Q_LOGGING_CATEGORY(lcViews, "vantor.views", QtInfoMsg)
