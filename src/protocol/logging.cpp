// SPDX-License-Identifier: MIT
#include "logging.h"

Q_LOGGING_CATEGORY(lcProtocol, "vantor.protocol", QtInfoMsg)
