// SPDX-License-Identifier: MIT
#include "logging.h"

Q_LOGGING_CATEGORY(lcSerial, "vantor.serial", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSerialBytes, "vantor.serial.bytes", QtWarningMsg)
