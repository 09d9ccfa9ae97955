// SPDX-License-Identifier: MIT
#include "recordformat.h"

#include <codec/tabletext.h>

#include "savefile.h"

#include <QFileInfo>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <unistd.h>
#include <vector>

namespace vantor::records {

namespace {

using codec::Column;
using codec::ColumnType;

constexpr qint64 kChunk = 64 * 1024;
const QByteArray kJsonStart = "{\"timestamp\":";

bool sameShape(const QByteArray &firstLine, RecordFormat format)
{
    if (format == RecordFormat::Csv)
        return firstLine == csvHeader();
    const QJsonObject object = QJsonDocument::fromJson(firstLine).object();
    QStringList keys;
    for (const codec::ColumnRow &column : codec::kColumns)
        keys << codec::tableText(column.key);
    keys.sort();
    return object.keys() == keys;
}

// Where appending to an existing file of records goes on: after its last whole line (a line
// cut short by a crash is dropped), or nothing, with the reason, when the file holds
// something else.
std::optional<qint64> appendingEnd(const QString &path, RecordFormat format, QString &reason)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        reason = file.errorString();
        return std::nullopt;
    }
    const qint64 size = file.size();
    const QByteArray head = file.read(kChunk);
    const qsizetype firstEnd = head.indexOf('\n');
    const QByteArray start = format == RecordFormat::Csv ? csvHeader() : kJsonStart;
    if (size == 0
        || (firstEnd < 0 && size == head.size() && start.startsWith(head.left(start.size()))))
        return 0;
    if (firstEnd < 0 || !sameShape(head.left(firstEnd + 1), format)) {
        reason = format == RecordFormat::Csv
            ? QStringLiteral("not a CSV file of records: its first line is not the header")
            : QStringLiteral("not a JSON Lines file of records");
        return std::nullopt;
    }
    for (qint64 end = size; end > 0;) {
        const qint64 from = std::max<qint64>(0, end - kChunk);
        if (!file.seek(from))
            break;
        const qsizetype at = file.read(end - from).lastIndexOf('\n');
        if (at >= 0)
            return from + at + 1;
        end = from;
    }
    reason = file.errorString();
    return std::nullopt;
}

QByteArray encode(RecordFormat format, std::span<const PortRecord> records)
{
    QByteArray out;
    for (const PortRecord &r : records)
        out += format == RecordFormat::Csv ? csvRow(r) : jsonObject(r) + '\n';
    return out;
}

} // namespace

QByteArray csvField(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n')
        && !bytes.contains('\r'))
        return bytes;
    bytes.replace('"', "\"\"");
    return '"' + bytes + '"';
}

QByteArray csvLine(const QStringList &fields)
{
    QByteArray out;
    for (qsizetype i = 0; i < fields.size(); ++i)
        out += (i > 0 ? "," : "") + csvField(fields[i]);
    return out + "\r\n";
}

QByteArray csvHeader()
{
    QByteArray line;
    for (const codec::ColumnRow &column : codec::kColumns)
        line += (line.isEmpty() ? "" : ",") + codec::tableBytes(column.key);
    return line + "\r\n";
}

QByteArray csvRow(const PortRecord &record)
{
    QByteArray line;
    for (std::size_t i = 0; i < record.size(); ++i) {
        if (i > 0)
            line += ',';
        if (!record[i].null)
            line += csvField(record[i].text);
    }
    return line + "\r\n";
}

QByteArray jsonString(const QString &text)
{
    // A one-element array is the shortest way to Qt's own escaping of a string.
    const QByteArray array = QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QByteArray jsonObject(const PortRecord &record)
{
    QByteArray out = "{";
    for (std::size_t i = 0; i < record.size(); ++i) {
        const codec::ColumnRow &column = codec::kColumns[i];
        const RecordValue &v = record[i];
        if (i > 0)
            out += ',';
        out += '"' + codec::tableBytes(column.key) + "\":";
        if (v.null) {
            out += "null";
            continue;
        }
        switch (column.type) {
        case ColumnType::Time:
        case ColumnType::Text:
            out += jsonString(v.text);
            break;
        case ColumnType::Bool:
        case ColumnType::Integer:
        case ColumnType::Number:
        case ColumnType::OptionalInteger:
            // The texts are the window's own digits, "." decimals: valid JSON numbers.
            out += v.text.toLatin1();
            break;
        }
    }
    return out + '}';
}

QByteArray textTable(std::span<const PortRecord> records)
{
    std::vector<std::size_t> columns;
    for (std::size_t c = 0; c < codec::kColumns.size(); ++c) {
        const Column column = codec::kColumns[c].column;
        if (column != Column::Timestamp && column != Column::Group)
            columns.push_back(c);
    }
    const auto cell = [](const RecordValue &v) {
        return v.null ? QByteArray("-") : v.text.toUtf8();
    };
    std::vector<qsizetype> widths;
    for (const std::size_t c : columns) {
        qsizetype w = static_cast<qsizetype>(codec::kColumns[c].key.size());
        for (const PortRecord &r : records)
            w = std::max(w, cell(r[c]).size());
        widths.push_back(w);
    }
    const auto line = [&](const auto &text) {
        QByteArray row;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const QByteArray t = text(columns[i]);
            const ColumnType type = codec::kColumns[columns[i]].type;
            const bool numeric = type != ColumnType::Text && type != ColumnType::Time;
            const QByteArray padded
                = numeric ? t.rightJustified(widths[i], ' ') : t.leftJustified(widths[i], ' ');
            row += (i > 0 ? "  " : "") + padded;
        }
        while (row.endsWith(' '))
            row.chop(1);
        return row + '\n';
    };
    QByteArray out = line([](std::size_t c) { return codec::tableBytes(codec::kColumns[c].key); });
    for (const PortRecord &r : records)
        out += line([&](std::size_t c) { return cell(r[c]); });
    return out;
}

RecordWriter::RecordWriter(QIODevice &device, RecordFormat format, bool headerWritten)
    : m_device(device)
    , m_format(format)
    , m_headerWritten(headerWritten || format != RecordFormat::Csv)
{
}

bool RecordWriter::write(std::span<const PortRecord> records)
{
    QByteArray text = m_headerWritten ? QByteArray() : csvHeader();
    text += encode(m_format, records);
    m_headerWritten = true;
    return m_device.write(text) == text.size();
}

bool RecordFile::open(const QString &path, RecordFormat format)
{
    close();
    m_error.clear();
    m_rows = 0;
    m_format = format;
    m_path = path;
    m_pathUnusable = false;
    const OutputTarget target = outputTarget(path);
    if (target.kind == TargetKind::Unusable)
        return refuse(target.error);
    m_stream = target.kind == TargetKind::Stream;
    qint64 kept = 0;
    if (target.kind == TargetKind::Regular) {
        QString reason;
        const std::optional<qint64> end = appendingEnd(path, format, reason);
        if (!end)
            return refuse(QStringLiteral("%1: %2").arg(path, reason));
        kept = *end;
        if (kept < QFileInfo(path).size() && !QFile::resize(path, kept))
            return refuse(QStringLiteral("%1: %2").arg(path, systemError(errno)));
    }
    constexpr auto kMode = QIODevice::WriteOnly | QIODevice::Unbuffered;
    const bool standardOutput = path == u"-";
    m_file.setFileName(standardOutput ? QString() : path);
    const bool opened = standardOutput ? m_file.open(STDOUT_FILENO, kMode)
                                       : m_file.open(m_stream ? kMode : kMode | QIODevice::Append);
    if (!opened)
        return refuse(QStringLiteral("%1: %2").arg(path, m_file.errorString()));
    if (m_format == RecordFormat::Csv && kept == 0 && !writeWhole(csvHeader()))
        return fail(QStringLiteral("the header"));
    return true;
}

bool RecordFile::append(std::span<const PortRecord> records)
{
    if (!m_file.isOpen())
        return false;
    if (!writeWhole(encode(m_format, records)))
        return fail(QStringLiteral("a row"));
    m_rows += static_cast<qint64>(records.size());
    return true;
}

void RecordFile::close()
{
    if (m_file.isOpen())
        m_file.close();
}

bool RecordFile::refuse(const QString &error)
{
    m_error = error;
    m_pathUnusable = true;
    return false;
}

bool RecordFile::writeWhole(const QByteArray &bytes)
{
    const qint64 before = m_stream ? 0 : m_file.size();
    errno = 0;
    if (m_file.write(bytes) == bytes.size())
        return true;
    m_writeErrno = errno;
    // What got out of a row that did not fit is cut back: the next run appends under whole rows.
    if (!m_stream)
        m_file.resize(before);
    return false;
}

bool RecordFile::fail(const QString &what)
{
    m_error = QStringLiteral("%1: could not write %2: %3")
                  .arg(m_path, what,
                       m_writeErrno != 0 ? systemError(m_writeErrno) : m_file.errorString());
    m_file.close();
    return false;
}

} // namespace vantor::records
