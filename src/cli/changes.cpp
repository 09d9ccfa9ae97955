// SPDX-License-Identifier: MIT
#include "changes.h"

#include "readout.h"

#include <codec/storecodec.h>
#include <codec/tabletext.h>

#include <algorithm>

namespace vantor::cli {

namespace {

using codec::Access;
using codec::Kind;
using codec::Scope;
using codec::SettingRow;
using namespace Qt::Literals::StringLiterals;

std::optional<int> valueOf(const SettingRow &row, const QString &text)
{
    switch (row.kind) {
    case Kind::Flag: {
        const QString t = text.toLower();
        if (t == u"true" || t == u"1" || t == u"on" || t == u"yes")
            return 1;
        if (t == u"false" || t == u"0" || t == u"off" || t == u"no")
            return 0;
        return std::nullopt;
    }
    case Kind::Choice:
        for (std::size_t i = 0; i < row.choices.size(); ++i) {
            if (text.compare(codec::tableText(row.choices[i]), Qt::CaseInsensitive) == 0)
                return static_cast<int>(i);
        }
        return std::nullopt;
    case Kind::Number: {
        bool ok = false;
        const int v = text.toInt(&ok);
        if (!ok || !codec::inRange(row, v))
            return std::nullopt;
        return v;
    }
    }
    return std::nullopt;
}

int groupOf(int element)
{
    return element / protocol::kPortsPerGroup;
}

} // namespace

Assignments parseAssignments(const QStringList &texts, std::optional<int> port)
{
    Assignments result;
    const auto refuse = [&result](const QString &text, const QString &why) {
        result.items.clear();
        result.error = text + u": "_s + why;
        return result;
    };
    for (const QString &text : texts) {
        const qsizetype eq = text.indexOf(u'=');
        const QString key = text.left(eq);
        const QByteArray keyBytes = key.toUtf8();
        const std::string_view k(keyBytes.constData(), static_cast<std::size_t>(keyBytes.size()));
        std::optional<codec::Setting> setting = codec::settingForKey(Scope::System, k);
        if (!setting)
            setting = codec::settingForKey(Scope::Port, k);
        if (!setting)
            return refuse(text, u"no setting is called \"%1\""_s.arg(key));
        const SettingRow &row = codec::settingRow(*setting);
        if (row.scope == Scope::Port && !port)
            return refuse(text, u"a port setting: name the port with --port P"_s);
        const std::optional<int> value = valueOf(row, text.mid(eq + 1));
        if (!value) {
            const QString what = row.kind == Kind::Number ? u"a whole number from "_s : QString();
            return refuse(text, u"\"%1\" must be %2%3"_s.arg(key, what, codec::rangeText(row)));
        }
        const int element = row.scope == Scope::Port ? *port - 1 : 0;
        for (const Assignment &a : result.items) {
            if (a.setting == *setting)
                return refuse(text, u"\"%1\" is named twice"_s.arg(key));
        }
        result.items.push_back({ *setting, element, *value });
    }
    if (port && std::none_of(result.items.begin(), result.items.end(), [](const Assignment &a) {
            return codec::isPortSetting(a.setting);
        }))
        return refuse(texts.first(), u"a system setting: --port does not apply to it"_s);
    return result;
}

QStringList changeLines(const WritePlan &plan, const codec::SettingsStore &before,
                        const codec::SettingsStore &after)
{
    QStringList lines;
    const auto line = [&](const SettingRow &row, int element, const QString &where) {
        const int was = before.value(row.setting, element).value;
        const int now = after.value(row.setting, element).value;
        if (was != now) {
            lines << where + QString::fromLatin1(row.key.data(), qsizetype(row.key.size())) + u' '
                    + QString::fromUtf8(settingJson(row, was)) + u" -> "_s
                    + QString::fromUtf8(settingJson(row, now));
        }
    };
    if (plan.system) {
        for (const SettingRow &row : codec::settingRows(Scope::System))
            line(row, 0, {});
    }
    for (const int g : plan.groups) {
        for (int p = 0; p < protocol::kPortsPerGroup; ++p) {
            const int element = g * protocol::kPortsPerGroup + p;
            for (const SettingRow &row : codec::settingRows(Scope::Port))
                line(row, element, u"port %1 "_s.arg(element + 1));
        }
    }
    return lines;
}

std::set<int> WritePlan::groupsToRead() const
{
    std::set<int> read = groups;
    if (system)
        read.insert(0);
    return read;
}

WritePlan planFor(const session::Profile &profile)
{
    return { profile.hasSystem(), profile.groups() };
}

WritePlan planFor(const std::vector<Assignment> &assignments)
{
    WritePlan plan;
    for (const Assignment &a : assignments) {
        if (codec::isPortSetting(a.setting))
            plan.groups.insert(groupOf(a.element));
        else
            plan.system = true;
    }
    return plan;
}

void resetUnreadable(codec::SettingsStore &store, const std::set<int> &groups)
{
    for (const SettingRow &row : codec::kSettings) {
        if (row.access == Access::ReadBack)
            continue;
        if (row.scope == Scope::System) {
            store.setValue(row.setting, 0, row.designDefault);
            continue;
        }
        for (const int g : groups) {
            for (int p = 0; p < protocol::kPortsPerGroup; ++p)
                store.setValue(row.setting, g * protocol::kPortsPerGroup + p, row.designDefault);
        }
    }
}

WritePlan applyAssignments(const std::vector<Assignment> &assignments, codec::SettingsStore &store)
{
    WritePlan changed;
    for (const Assignment &a : assignments) {
        const SettingRow &row = codec::settingRow(a.setting);
        const bool change = row.access == Access::WriteOnly
            || (row.access == Access::OneShot && a.value != 0)
            || (row.access == Access::ReadBack
                && store.value(a.setting, a.element).value != a.value);
        store.setValue(a.setting, a.element, a.value);
        if (!change)
            continue;
        if (row.scope == Scope::Port)
            changed.groups.insert(groupOf(a.element));
        else
            changed.system = true;
    }
    return changed;
}

PlannedBlocks buildBlocks(const WritePlan &plan, codec::SettingsStore &store)
{
    PlannedBlocks result;
    const auto bytes = [](const auto &block) {
        return QByteArray(reinterpret_cast<const char *>(block.data()),
                          static_cast<qsizetype>(block.size()));
    };
    if (plan.system) {
        protocol::SystemBlock block {};
        if (const auto refusal = codec::buildSystemBlock(store, plan.systemGroup(), block)) {
            result.error = refusal->message;
            return result;
        }
        result.blocks.push_back({ protocol::RequestKind::SystemWrite,
                                  protocol::commandCode(protocol::RequestKind::SystemWrite, 0),
                                  bytes(block) });
    }
    for (const int g : plan.groups) {
        protocol::PortBlock block {};
        if (const auto refusal = codec::buildPortBlock(store, g, block)) {
            result.error = refusal->message;
            return result;
        }
        result.blocks.push_back({ protocol::RequestKind::PortWrite,
                                  protocol::commandCode(protocol::RequestKind::PortWrite, g),
                                  bytes(block) });
    }
    return result;
}

QByteArray blocksText(const std::vector<PlannedBlock> &blocks)
{
    QByteArray out;
    for (const PlannedBlock &b : blocks) {
        out += "0x" + QByteArray::number(b.code, 16).rightJustified(2, '0') + ' '
            + protocol::kindName(b.kind) + ": " + b.bytes.toHex(' ') + '\n';
    }
    return out;
}

} // namespace vantor::cli
