// SPDX-License-Identifier: MIT
#pragma once

// Port records as text: CSV (RFC 4180, "." decimals whatever the locale, columns in the
// record table's order), one JSON object per record, and JSON Lines. Every writer of records,
// on the command line and in the window, goes through here.

#include <codec/records.h>

#include <QByteArray>
#include <QFile>
#include <QString>

#include <span>

namespace vantor::session {

// One CSV field: quoted (quotes doubled) only when it holds a comma, a quote or a line break.
[[nodiscard]] QByteArray csvField(const QString &text);
// The header line of a CSV file of records, with its line end.
[[nodiscard]] QByteArray csvHeader();
// One record as a CSV row, with its line end; a null value is an empty field.
[[nodiscard]] QByteArray csvRow(const codec::PortRecord &record);
// One record as a JSON object on one line, without a line end: texts as strings, numbers as
// numbers, booleans as true/false, a null value as null.
[[nodiscard]] QByteArray jsonObject(const codec::PortRecord &record);

enum class RecordFormat {
    Csv,       // a header line, then one RFC 4180 row per record
    JsonLines, // one JSON object per line, no header
};

// A file of records that grows by whole records: opened for appending (a CSV header only when
// the file is new or empty) and flushed after every answer, so a crash loses at most the row
// being written. A failed write (a full disk, /dev/full) closes it and says why.
class RecordFile
{
public:
    // Opens path for appending; false with errorString() set when it cannot.
    bool open(const QString &path, RecordFormat format = RecordFormat::Csv);
    // The records of one answer; false when they could not be written (the file is closed).
    bool append(std::span<const codec::PortRecord> records);
    void close();

    [[nodiscard]] bool isOpen() const { return m_file.isOpen(); }
    [[nodiscard]] QString fileName() const { return m_file.fileName(); }
    [[nodiscard]] qint64 rows() const { return m_rows; }
    [[nodiscard]] QString errorString() const { return m_error; }

private:
    bool fail(const QString &what);

    QFile m_file;
    RecordFormat m_format = RecordFormat::Csv;
    qint64 m_rows = 0;
    QString m_error;
};

} // namespace vantor::session
