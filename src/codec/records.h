// SPDX-License-Identifier: MIT
#pragma once

// One record per port per answer: the values the window shows for the port (with its designed
// scale fields, slope 1 and offset 0), taken from the answer's own bytes, in the columns of the
// record table. Every writer (JSON, JSON Lines, CSV, text, metrics) works from these.

#include "configuration.h"

#include <QString>

#include <array>

namespace vantor::codec {

struct RecordValue
{
    QString text;      // as written into CSV and text output ("." as the decimal separator)
    double number = 0; // for numbers, integers and booleans (1 or 0)
    bool null = false; // no value (a class byte with no class)
};

using PortRecord = std::array<RecordValue, kColumns.size()>;

// The kernel's power-sourcing vocabulary for a port: "disabled", "fault", "delivering",
// "searching" or "otherfault", from Port Enable and the mode and fault codes. An enabled port
// with a fault is "fault" whatever its mode; "disabled" is Port Enable clear, or a port off or
// ramping down without a fault.
[[nodiscard]] QLatin1StringView pwDStatus(int portEnable, int modeCode, int faultCode);

// "red", "yellow", "green" or "off", as the window's LEDs show the drive code and Port Enable.
[[nodiscard]] QLatin1StringView ledColour(int ledDrive, int portEnable);

// UTC, ISO 8601 with milliseconds and "Z".
[[nodiscard]] QString isoTimestamp(qint64 utcMs);

// Port p (0..7) of the answer for group g, received at utcMs.
[[nodiscard]] PortRecord portRecord(const DecodedSnapshot &answer, int group, int p, qint64 utcMs);

} // namespace vantor::codec
