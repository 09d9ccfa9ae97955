// SPDX-License-Identifier: MIT
#pragma once

// An answer as output: its eight port records, a whole read as one JSON object or as a table
// for people, and a setting's value in the profile's JSON spelling. Records go through the
// record formats, so every writer names and formats the columns alike.

#include <records/records.h>
#include <session/decodedanswer.h>

#include <QByteArray>

namespace vantor::cli {

[[nodiscard]] records::PortRecords portRecords(const session::DecodedAnswer &answer);

// true/false for a flag, the caption of a choice, the number otherwise.
[[nodiscard]] QByteArray settingJson(const codec::SettingRow &row, int value);

// { "timestamp", "group", "system": { versions, total power, port count, configuration },
//   "ports": [ eight records, each with its configuration ] }, with a final line end.
[[nodiscard]] QByteArray wholeReadJson(const session::DecodedAnswer &answer);
// The CSV header and the eight rows.
[[nodiscard]] QByteArray wholeReadCsv(const session::DecodedAnswer &answer);
// A heading line and a table of the eight ports, columns aligned.
[[nodiscard]] QByteArray wholeReadText(const session::DecodedAnswer &answer);

} // namespace vantor::cli
