// SPDX-License-Identifier: MIT
#include "readout.h"

#include <codec/tabletext.h>
#include <records/recordformat.h>

namespace vantor::cli {

namespace {

using codec::SettingRow;
using records::jsonString;

// Compact, as the records are.
QByteArray member(std::string_view key, const QByteArray &json)
{
    return '"' + codec::tableBytes(key) + "\":" + json;
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

} // namespace

records::PortRecords portRecords(const session::DecodedAnswer &answer)
{
    return records::portRecords(answer.snapshot, answer.group, answer.receivedUtcMs);
}

QByteArray settingJson(const SettingRow &row, int value)
{
    switch (row.kind) {
    case codec::Kind::Flag:
        return value != 0 ? "true" : "false";
    case codec::Kind::Choice:
        if (value >= 0 && static_cast<std::size_t>(value) < row.choices.size())
            return '"' + codec::tableBytes(row.choices[static_cast<std::size_t>(value)]) + '"';
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
    const records::SystemRecord system = records::systemRecord(d);

    QByteArray out = "{\n";
    out += "  " + member("timestamp", jsonString(records::isoTimestamp(answer.receivedUtcMs)))
        + ",\n";
    out += "  " + member("group", answers.size() > 1 ? "\"all\"" : QByteArray::number(answer.group))
        + ",\n";
    out += "  \"system\":{";
    out += member("firmware_version", jsonString(system.firmwareVersion));
    out += ',' + member("chip_version", jsonString(system.chipVersion));
    out += ',' + member("total_port_power_w", system.totalPowerW.text.toLatin1());
    out += ',' + member("port_count", QByteArray::number(system.portCount));
    out += ',' + member("port_serviced", QByteArray::number(system.portServiced));
    out += ',' + member("configuration", configurationJson(d.config));
    out += "},\n  \"ports\":[\n";
    for (std::size_t a = 0; a < answers.size(); ++a) {
        const records::PortRecords ports = portRecords(answers[a]);
        for (std::size_t p = 0; p < ports.size(); ++p) {
            QByteArray record = records::jsonObject(ports[p]);
            record.chop(1); // the closing brace: the port's configuration joins the record
            const bool last = a + 1 == answers.size() && p + 1 == ports.size();
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
    QByteArray out = records::csvHeader();
    for (const session::DecodedAnswer &answer : answers) {
        for (const records::PortRecord &r : portRecords(answer))
            out += records::csvRow(r);
    }
    return out;
}

QByteArray wholeReadText(const WholeReads &answers)
{
    const session::DecodedAnswer &answer = answers.front();
    const records::SystemRecord system = records::systemRecord(answer.snapshot);
    std::vector<records::PortRecord> ports;
    for (const session::DecodedAnswer &a : answers) {
        for (const records::PortRecord &r : portRecords(a))
            ports.push_back(r);
    }
    return (answers.size() > 1 ? QByteArray("all groups")
                               : "group " + QByteArray::number(answer.group))
        + " at " + records::isoTimestamp(answer.receivedUtcMs).toLatin1() + ", firmware "
        + system.firmwareVersion.toLatin1() + ", chip " + system.chipVersion.toLatin1()
        + ", ports in system " + QByteArray::number(system.portCount) + ", total port power "
        + system.totalPowerW.text.toLatin1() + " W\n" + records::textTable(ports);
}

} // namespace vantor::cli
