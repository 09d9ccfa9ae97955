// SPDX-License-Identifier: MIT
#pragma once

// Records as text: CSV (RFC 4180, "." decimals whatever the locale, columns in the record
// table's order), one JSON object per record, JSON Lines and a table for people. Every writer
// of records, on the command line and in the window, goes through here.

#include "records.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <span>

class QIODevice;

namespace vantor::records {

// One CSV field: quoted (quotes doubled) only when it holds a comma, a quote or a line break.
[[nodiscard]] QByteArray csvField(const QString &text);
// Fields joined by commas, with the line end.
[[nodiscard]] QByteArray csvLine(const QStringList &fields);
// The header line of a CSV file of records, with its line end.
[[nodiscard]] QByteArray csvHeader();
// One record as a CSV row, with its line end; a null value is an empty field.
[[nodiscard]] QByteArray csvRow(const PortRecord &record);
// A JSON string with Qt's own escaping, quotes included.
[[nodiscard]] QByteArray jsonString(const QString &text);
// One record as a JSON object on one line, without a line end: texts as strings, numbers as
// numbers, booleans as true/false, a null value as null.
[[nodiscard]] QByteArray jsonObject(const PortRecord &record);
// Every column but the time and the group, each as wide as its widest cell: a heading line of
// keys, then a line a record; numbers right-aligned, a null value as "-".
[[nodiscard]] QByteArray textTable(std::span<const PortRecord> records);

enum class RecordFormat {
    Csv,       // a header line, then one RFC 4180 row per record
    JsonLines, // one JSON object per line, no header
};

// Records onto any device (standard output, a pipe, a file): the CSV header before the first
// records unless the device already has it, then the records of each call in one write.
class RecordWriter
{
public:
    RecordWriter(QIODevice &device, RecordFormat format, bool headerWritten = false);

    // false when the device took less than all of it.
    bool write(std::span<const PortRecord> records);

    [[nodiscard]] RecordFormat format() const { return m_format; }

private:
    QIODevice &m_device;
    RecordFormat m_format;
    bool m_headerWritten;
};

// A file of records that grows by whole records, written through to the system after every
// answer. A regular file is appended to only when it is empty or holds records of the same
// format (the CSV header, or JSON Lines of the same columns); a last line left incomplete by
// a crash is cut off first, and a write that fails (a full disk) is cut back to the last whole
// row. A character device or a FIFO is written straight. A failure closes it and says why, in
// the system's words.
class RecordFile
{
public:
    // Opens path for appending; false with errorString() set when it cannot.
    bool open(const QString &path, RecordFormat format = RecordFormat::Csv);
    // The records of one answer; false when they could not be written (the file is closed).
    bool append(std::span<const PortRecord> records);
    void close();

    [[nodiscard]] bool isOpen() const { return m_file.isOpen(); }
    [[nodiscard]] QString fileName() const { return m_path; }
    [[nodiscard]] qint64 rows() const { return m_rows; }
    [[nodiscard]] QString errorString() const { return m_error; }
    // The last open failed on the path itself (its folder, its kind, another format), before
    // anything was written.
    [[nodiscard]] bool pathUnusable() const { return m_pathUnusable; }

private:
    bool refuse(const QString &error);
    bool writeWhole(const QByteArray &bytes);
    bool fail(const QString &what);

    QFile m_file;
    QString m_path;
    RecordFormat m_format = RecordFormat::Csv;
    bool m_stream = false;
    bool m_pathUnusable = false;
    int m_writeErrno = 0;
    qint64 m_rows = 0;
    QString m_error;
};

} // namespace vantor::records
