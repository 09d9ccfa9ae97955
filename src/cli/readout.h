// SPDX-License-Identifier: MIT
#pragma once

// An answer as output: its eight port records, a whole read as one JSON object or as a table
// for people, and a setting's value in the profile's JSON spelling. Records go through the
// record formats, so every writer names and formats the columns alike.

#include <records/records.h>
#include <session/decodedanswer.h>

#include <QByteArray>

#include <vector>

namespace vantor::cli {

[[nodiscard]] records::PortRecords portRecords(const session::DecodedAnswer &answer);

// true/false for a flag, the caption of a choice, the number otherwise.
[[nodiscard]] QByteArray settingJson(const codec::SettingRow &row, int value);

// The whole reads of one command, one per group, in group order; the first one's system.
using WholeReads = std::vector<session::DecodedAnswer>;

// { "timestamp", "group", "system": { versions, total power, port count, configuration },
//   "ports": [ the records of every group, each with its configuration ] }, with a final line
// end. "group" is the group's number, or "all" for more than one.
[[nodiscard]] QByteArray wholeReadJson(const WholeReads &answers);
// The CSV header and a row per port.
[[nodiscard]] QByteArray wholeReadCsv(const WholeReads &answers);
// A heading line and a table of the ports, columns aligned.
[[nodiscard]] QByteArray wholeReadText(const WholeReads &answers);

} // namespace vantor::cli
