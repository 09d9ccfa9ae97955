// SPDX-License-Identifier: MIT
#pragma once

// Records of one answer: a port record per port (the values the window shows for the port with
// its designed scale fields, slope 1 and offset 0, taken from the answer's own bytes, in the
// columns of the record table) and one system record. Every writer (JSON, JSON Lines, CSV,
// text, metrics) works from these; names and units come from the one table.

#include <codec/configuration.h>

#include <QString>

#include <array>

namespace vantor::records {

struct RecordValue
{
    QString text;      // as written into CSV and text output ("." as the decimal separator)
    double number = 0; // for numbers (in the column's unit), integers and booleans (1 or 0)
    bool null = false; // no value (a class byte with no class)
};

using PortRecord = std::array<RecordValue, codec::kColumns.size()>;
using PortRecords = std::array<PortRecord, codec::kPortsPerGroup>;

// What a whole read says about the board beside its ports.
struct SystemRecord
{
    QString firmwareVersion; // "major.minor"
    QString chipVersion;     // one decimal, "."
    RecordValue totalPowerW;
    int portCount = 0;
    int portServiced = 0;
};

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
[[nodiscard]] PortRecord portRecord(const codec::DecodedSnapshot &answer, int group, int p,
                                    qint64 utcMs);
// The eight ports of the answer.
[[nodiscard]] PortRecords portRecords(const codec::DecodedSnapshot &answer, int group,
                                      qint64 utcMs);

[[nodiscard]] SystemRecord systemRecord(const codec::DecodedSnapshot &answer);

} // namespace vantor::records
