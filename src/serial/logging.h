// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

// Port events, open failures and losses.
Q_DECLARE_LOGGING_CATEGORY(lcSerial)
// Hex dumps of every byte each way; off unless asked for
// (QT_LOGGING_RULES="vantor.serial.bytes=true").
Q_DECLARE_LOGGING_CATEGORY(lcSerialBytes)
