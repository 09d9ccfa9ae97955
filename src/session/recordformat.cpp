// SPDX-License-Identifier: MIT
#include "recordformat.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace vantor::session {

namespace {

using codec::ColumnType;

QByteArray jsonString(const QString &text)
{
    // A one-element array is the shortest way to Qt's own escaping of a string.
    const QByteArray array = QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
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

QByteArray csvHeader()
{
    QByteArray line;
    for (const codec::ColumnRow &column : codec::kColumns) {
        if (!line.isEmpty())
            line += ',';
        line += QByteArray(column.key.data(), static_cast<qsizetype>(column.key.size()));
    }
    return line + "\r\n";
}

QByteArray csvRow(const codec::PortRecord &record)
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

QByteArray jsonObject(const codec::PortRecord &record)
{
    QByteArray out = "{";
    for (std::size_t i = 0; i < record.size(); ++i) {
        const codec::ColumnRow &column = codec::kColumns[i];
        const codec::RecordValue &v = record[i];
        if (i > 0)
            out += ',';
        out += '"' + QByteArray(column.key.data(), static_cast<qsizetype>(column.key.size()))
            + "\":";
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

bool RecordFile::append(std::span<const codec::PortRecord> records)
{
    if (!m_file.isOpen())
        return false;
    QByteArray rows;
    for (const codec::PortRecord &r : records)
        rows += m_format == RecordFormat::Csv ? csvRow(r) : jsonObject(r) + '\n';
    if (m_file.write(rows) != rows.size() || !m_file.flush())
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

} // namespace vantor::session
