// SPDX-License-Identifier: MIT
#include "readout.h"

#include <codec/numbertext.h>
#include <session/recordformat.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <algorithm>

namespace vantor::cli {

namespace {

using codec::Column;
using codec::ColumnType;
using codec::SettingRow;

QByteArray latin1(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

QByteArray jsonString(const QString &text)
{
    // A one-element array is the shortest way to Qt's own escaping of a string.
    const QByteArray array = QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// Compact, as the records are.
QByteArray member(std::string_view key, const QByteArray &json)
{
    return '"' + latin1(key) + "\":" + json;
}

// The settings a whole read shows, in table order.
template<codec::Scope S> QByteArray configurationJson(const codec::Configuration<S> &config)
{
    QByteArray out = "{";
    for (const SettingRow &row : codec::settingRows(S)) {
        if (!row.field)
            continue;
        if (out.size() > 1)
            out += ',';
        out += member(row.key, settingJson(row, config[row.setting]));
    }
    return out + '}';
}

QByteArray number(float value)
{
    return codec::numberText(value, QLocale::c()).toLatin1();
}

} // namespace

PortRecords portRecords(const session::DecodedAnswer &answer)
{
    PortRecords records;
    for (int p = 0; p < protocol::kPortsPerGroup; ++p)
        records[static_cast<std::size_t>(p)]
            = codec::portRecord(answer.snapshot, answer.group, p, answer.receivedUtcMs);
    return records;
}

QByteArray settingJson(const SettingRow &row, int value)
{
    switch (row.kind) {
    case codec::Kind::Flag:
        return value != 0 ? "true" : "false";
    case codec::Kind::Choice:
        if (value >= 0 && static_cast<std::size_t>(value) < row.choices.size())
            return '"' + latin1(row.choices[static_cast<std::size_t>(value)]) + '"';
        break;
    case codec::Kind::Number:
        break;
    }
    return QByteArray::number(value);
}

QByteArray wholeReadJson(const WholeReads &answers)
{
    const session::DecodedAnswer &answer = answers.front();
    const codec::DecodedSnapshot &d = answer.snapshot;

    QByteArray out = "{\n";
    out += "  " + member("timestamp", jsonString(codec::isoTimestamp(answer.receivedUtcMs)))
        + ",\n";
    out += "  " + member("group", answers.size() > 1 ? "\"all\"" : QByteArray::number(answer.group))
        + ",\n";
    out += "  \"system\":{";
    out += member(
        "firmware_version",
        jsonString(codec::firmwareVersionText(d.info.firmwareMajor, d.info.firmwareMinor)));
    out += ','
        + member("chip_version",
                 jsonString(codec::chipVersionText(d.info.chipEighths, QLocale::c())));
    out += ',' + member("total_port_power_w", number(static_cast<float>(d.status.BOX_PWR) / 10.0f));
    out += ',' + member("port_count", QByteArray::number(d.config[codec::Setting::SYS_PORT_CNT]));
    out += ',' + member("port_serviced", QByteArray::number(d.status.PORT_SVC_NUM));
    out += ',' + member("configuration", configurationJson(d.config));
    out += "},\n  \"ports\":[\n";
    for (std::size_t a = 0; a < answers.size(); ++a) {
        const PortRecords records = portRecords(answers[a]);
        for (std::size_t p = 0; p < records.size(); ++p) {
            QByteArray record = session::jsonObject(records[p]);
            record.chop(1); // the closing brace: the port's configuration joins the record
            const bool last = a + 1 == answers.size() && p + 1 == records.size();
            out += "    " + record + ','
                + member("configuration", configurationJson(answers[a].snapshot.ports[p]))
                + (last ? "}\n" : "},\n");
        }
    }
    out += "  ]\n}\n";
    return out;
}

QByteArray wholeReadCsv(const WholeReads &answers)
{
    QByteArray out = session::csvHeader();
    for (const session::DecodedAnswer &answer : answers) {
        for (const codec::PortRecord &r : portRecords(answer))
            out += session::csvRow(r);
    }
    return out;
}

QByteArray wholeReadText(const WholeReads &answers)
{
    const session::DecodedAnswer &answer = answers.front();
    const codec::DecodedSnapshot &d = answer.snapshot;
    std::vector<codec::PortRecord> records;
    for (const session::DecodedAnswer &a : answers) {
        for (const codec::PortRecord &r : portRecords(a))
            records.push_back(r);
    }

    QByteArray out = (answers.size() > 1 ? QByteArray("all groups")
                                         : "group " + QByteArray::number(answer.group))
        + " at " + codec::isoTimestamp(answer.receivedUtcMs).toLatin1() + ", firmware "
        + codec::firmwareVersionText(d.info.firmwareMajor, d.info.firmwareMinor).toLatin1()
        + ", chip " + codec::chipVersionText(d.info.chipEighths, QLocale::c()).toLatin1()
        + ", ports in system " + QByteArray::number(d.config[codec::Setting::SYS_PORT_CNT])
        + ", total port power " + number(static_cast<float>(d.status.BOX_PWR) / 10.0f) + " W\n";

    // Every column but the ones the heading already gives, each as wide as its widest cell.
    std::vector<std::size_t> columns;
    for (std::size_t c = 0; c < codec::kColumns.size(); ++c) {
        const Column column = codec::kColumns[c].column;
        if (column != Column::Timestamp && column != Column::Group)
            columns.push_back(c);
    }
    const auto cell = [](const codec::RecordValue &v) {
        return v.null ? QByteArray("-") : v.text.toUtf8();
    };
    std::vector<qsizetype> widths;
    for (const std::size_t c : columns) {
        qsizetype w = static_cast<qsizetype>(codec::kColumns[c].key.size());
        for (const codec::PortRecord &r : records)
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
    out += line([](std::size_t c) { return latin1(codec::kColumns[c].key); });
    for (const codec::PortRecord &r : records)
        out += line([&](std::size_t c) { return cell(r[c]); });
    return out;
}

} // namespace vantor::cli
