// SPDX-License-Identifier: MIT
#include "recordformat.h"

#include <codec/tabletext.h>

#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <vector>

namespace vantor::records {

namespace {

using codec::Column;
using codec::ColumnType;

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
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        m_error = QStringLiteral("%1: %2").arg(path, m_file.errorString());
        return false;
    }
    // Only a new or empty file gets the header; appending goes on under the one it has.
    if (m_format == RecordFormat::Csv && m_file.size() == 0
        && (m_file.write(csvHeader()) < 0 || !m_file.flush()))
        return fail(QStringLiteral("the header"));
    return true;
}

bool RecordFile::append(std::span<const PortRecord> records)
{
    if (!m_file.isOpen())
        return false;
    RecordWriter writer(m_file, m_format, true);
    if (!writer.write(records) || !m_file.flush())
        return fail(QStringLiteral("a row"));
    m_rows += static_cast<qint64>(records.size());
    return true;
}

void RecordFile::close()
{
    if (m_file.isOpen())
        m_file.close();
}

bool RecordFile::fail(const QString &what)
{
    m_error = QStringLiteral("%1: could not write %2: %3")
                  .arg(m_file.fileName(), what, m_file.errorString());
    m_file.close();
    return false;
}

} // namespace vantor::records
