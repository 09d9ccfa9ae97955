// SPDX-License-Identifier: MIT
#include "logging.h"

Q_LOGGING_CATEGORY(lcCodec, "vantor.codec", QtInfoMsg)
