// SPDX-License-Identifier: MIT
#include "logging.h"

Q_LOGGING_CATEGORY(lcShare, "vantor.share", QtInfoMsg)
