// SPDX-License-Identifier: MIT
#include "profile.h"

#include <codec/jsonkeys.h>
#include <codec/tabletext.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>

namespace vantor::session {

using codec::Kind;
using codec::Scope;
using codec::Setting;
using codec::SettingRow;

namespace {

constexpr int kBrellikAddressBits = 0x1F;

QString quoted(const QString &key)
{
    return QLatin1Char('"') + key + QLatin1Char('"');
}

// The value of one key, or the reason it cannot be taken.
std::optional<int> settingValue(const SettingRow &row, const QJsonValue &v, QString &error)
{
    const QString key = codec::tableText(row.key);
    switch (row.kind) {
    case Kind::Flag:
        if (!v.isBool()) {
            error = QStringLiteral("%1 must be true or false").arg(quoted(key));
            return std::nullopt;
        }
        return v.toBool() ? 1 : 0;
    case Kind::Choice: {
        if (v.isString()) {
            const QString text = v.toString();
            for (std::size_t i = 0; i < row.choices.size(); ++i) {
                if (text
                    == QLatin1StringView(row.choices[i].data(),
                                         static_cast<qsizetype>(row.choices[i].size())))
                    return static_cast<int>(i);
            }
        }
        error = QStringLiteral("%1 must be %2").arg(quoted(key), codec::rangeText(row));
        return std::nullopt;
    }
    case Kind::Number:
        break;
    }
    const double d = v.toDouble();
    if (!v.isDouble() || !std::isfinite(d) || std::floor(d) != d) {
        error = QStringLiteral("%1 must be a whole number, %2")
                    .arg(quoted(key), codec::rangeText(row));
        return std::nullopt;
    }
    if (d < row.minimum || d > row.maximum || !codec::inRange(row, static_cast<int>(d))) {
        error = QStringLiteral("%1 must be %2").arg(quoted(key), codec::rangeText(row));
        return std::nullopt;
    }
    return static_cast<int>(d);
}

template<std::size_t N>
bool readSection(Scope scope, const QJsonObject &object, const QString &where,
                 std::array<std::optional<int>, N> &values, QString &error,
                 QLatin1StringView skip = {})
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!skip.isEmpty() && it.key() == skip)
            continue;
        const QByteArray key = it.key().toUtf8();
        const auto setting = codec::settingForKey(
            scope, std::string_view(key.constData(), static_cast<std::size_t>(key.size())));
        if (!setting) {
            error = QStringLiteral("unknown key %1 in %2").arg(quoted(it.key()), where);
            return false;
        }
        const SettingRow &row = codec::settingRow(*setting);
        if (row.access == codec::Access::OneShot) {
            error = QStringLiteral("%1 in %2 is a one-shot action, never kept in a profile")
                        .arg(quoted(it.key()), where);
            return false;
        }
        const std::optional<int> value = settingValue(row, it.value(), error);
        if (!value) {
            error = where + QStringLiteral(": ") + error;
            return false;
        }
        values[codec::scopeIndex(*setting)] = *value;
    }
    return true;
}

ProfileReading refused(const QString &error)
{
    ProfileReading r;
    r.error = error;
    return r;
}

void appendValue(QByteArray &out, const SettingRow &row, int value)
{
    out += '"';
    out += QByteArray(row.key.data(), static_cast<qsizetype>(row.key.size()));
    out += "\": ";
    switch (row.kind) {
    case Kind::Flag:
        out += value != 0 ? "true" : "false";
        return;
    case Kind::Choice: {
        const auto &c = row.choices[static_cast<std::size_t>(value)];
        out += '"' + QByteArray(c.data(), static_cast<qsizetype>(c.size())) + '"';
        return;
    }
    case Kind::Number:
        out += QByteArray::number(value);
        return;
    }
}

} // namespace

bool Profile::hasSystem() const
{
    return std::any_of(system.begin(), system.end(), [](const auto &v) { return v.has_value(); });
}

std::set<int> Profile::groups() const
{
    std::set<int> groups;
    for (const auto &[element, values] : ports)
        groups.insert(element / protocol::kPortsPerGroup);
    return groups;
}

ProfileReading parseProfile(const QByteArray &json)
{
    if (json.size() > kMaxProfileBytes)
        return refused(QStringLiteral("the file is larger than %1 bytes").arg(kMaxProfileBytes));
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return refused(QStringLiteral("not JSON: %1 at offset %2")
                           .arg(parseError.errorString())
                           .arg(parseError.offset));
    if (!doc.isObject())
        return refused(QStringLiteral("must be a JSON object"));
    if (const auto key = codec::duplicateJsonKey(json))
        return refused(QStringLiteral("key %1 appears twice in one object").arg(quoted(*key)));
    const QJsonObject root = doc.object();

    ProfileReading reading;
    const QJsonValue format = root.value(QLatin1StringView("format"));
    if (!format.isDouble() || format.toDouble() != kProfileFormat)
        return refused(QStringLiteral("\"format\" must be %1").arg(kProfileFormat));
    for (auto it = root.begin(); it != root.end(); ++it) {
        if (it.key() != u"format" && it.key() != u"system" && it.key() != u"ports")
            return refused(QStringLiteral("unknown key %1").arg(quoted(it.key())));
    }

    QString error;
    const QJsonValue system = root.value(QLatin1StringView("system"));
    if (!system.isUndefined()) {
        if (!system.isObject())
            return refused(QStringLiteral("\"system\" must be an object"));
        if (!readSection(Scope::System, system.toObject(), QStringLiteral("\"system\""),
                         reading.profile.system, error))
            return refused(error);
    }

    const QJsonValue ports = root.value(QLatin1StringView("ports"));
    if (!ports.isUndefined()) {
        if (!ports.isArray())
            return refused(QStringLiteral("\"ports\" must be a list"));
        const QJsonArray list = ports.toArray();
        for (qsizetype i = 0; i < list.size(); ++i) {
            const QString where = QStringLiteral("\"ports\"[%1]").arg(i);
            if (!list[i].isObject())
                return refused(where + QStringLiteral(" must be an object"));
            const QJsonObject entry = list[i].toObject();
            const QJsonValue number = entry.value(QLatin1StringView("port"));
            const double n = number.toDouble();
            if (!number.isDouble() || std::floor(n) != n || n < 1 || n > codec::kMaxPortCount)
                return refused(where
                               + QStringLiteral(": \"port\" must be a whole number, 1 to %1")
                                     .arg(codec::kMaxPortCount));
            const int element = static_cast<int>(n) - 1;
            if (reading.profile.ports.count(element))
                return refused(where
                               + QStringLiteral(": port %1 is listed twice").arg(element + 1));
            auto &values = reading.profile.ports[element];
            if (!readSection(Scope::Port, entry, QStringLiteral("port %1").arg(element + 1), values,
                             error, QLatin1StringView("port")))
                return refused(error);
        }
    }
    return reading;
}

ProfileReading readProfile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refused(QStringLiteral("%1: %2").arg(path, file.errorString()));
    // One byte more than a profile may hold is enough to refuse a larger file.
    const QByteArray json = file.read(kMaxProfileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return refused(QStringLiteral("%1: %2").arg(path, file.errorString()));
    ProfileReading reading = parseProfile(json);
    if (!reading.ok())
        reading.error = QStringLiteral("%1: %2").arg(path, reading.error);
    return reading;
}

int applyAsReported(Profile profile, codec::SettingsStore &store,
                    const codec::SettingsStore &reported)
{
    int keptClear = 0;
    const std::size_t paused = codec::scopeIndex(Setting::FAULT_PAUSED);
    for (auto &[element, values] : profile.ports) {
        if (values[paused].value_or(0) == 1
            && reported.value(Setting::FAULT_PAUSED, element).value != 1) {
            values[paused].reset();
            ++keptClear;
        }
    }
    applyProfile(profile, store);
    return keptClear;
}

void applyProfile(const Profile &profile, codec::SettingsStore &store)
{
    for (const SettingRow &row : codec::settingRows(Scope::System)) {
        if (row.access == codec::Access::OneShot)
            store.setValue(row.setting, 0, 0);
        else if (const auto v = profile.system[codec::scopeIndex(row.setting)])
            store.setValue(row.setting, 0, *v);
    }
    for (const auto &[element, values] : profile.ports) {
        for (const SettingRow &row : codec::settingRows(Scope::Port)) {
            if (const auto v = values[codec::scopeIndex(row.setting)])
                store.setValue(row.setting, element, *v);
        }
    }
}

ProfileWriting writeProfile(const codec::SettingsStore &store, std::span<const int> groups)
{
    ProfileWriting result;
    // Each setting as a profile may hold it, or the reason it cannot.
    const auto take = [&](const SettingRow &row, int element, int &value) {
        const codec::StoredValue v = store.value(row.setting, element);
        QString name = QString::fromLatin1(row.caption);
        if (row.scope == Scope::Port)
            name += QStringLiteral(" of Port %1").arg(element + 1);
        if (!v.ok()) {
            result.refusal = codec::Refusal { QString::fromLatin1(row.name),
                                              name + QLatin1Char(' ')
                                                  + codec::problemText(
                                                      v.problem, codec::textRange(row.setting)) };
            return false;
        }
        value = row.setting == Setting::Brellik_I2C_ADDR ? v.value & kBrellikAddressBits : v.value;
        if (!codec::inRange(row, value)) {
            result.refusal
                = codec::Refusal { QString::fromLatin1(row.name),
                                   name + QStringLiteral(" must be ") + codec::rangeText(row) };
            return false;
        }
        return true;
    };

    QByteArray out = "{\n  \"format\": " + QByteArray::number(kProfileFormat) + ",\n";
    out += "  \"system\": {\n";
    bool first = true;
    for (const SettingRow &row : codec::settingRows(Scope::System)) {
        if (row.access == codec::Access::OneShot)
            continue;
        int value = 0;
        if (!take(row, 0, value))
            return result;
        out += first ? "    " : ",\n    ";
        first = false;
        appendValue(out, row, value);
    }
    out += "\n  },\n  \"ports\": [";
    bool firstPort = true;
    for (const int group : groups) {
        for (int p = 0; p < protocol::kPortsPerGroup; ++p) {
            const int element = group * protocol::kPortsPerGroup + p;
            if (element < 0 || element >= codec::kMaxPortCount)
                continue;
            out += firstPort ? "\n    { " : ",\n    { ";
            firstPort = false;
            out += "\"port\": " + QByteArray::number(element + 1);
            for (const SettingRow &row : codec::settingRows(Scope::Port)) {
                int value = 0;
                if (!take(row, element, value))
                    return result;
                out += ", ";
                appendValue(out, row, value);
            }
            out += " }";
        }
    }
    out += firstPort ? "]\n}\n" : "\n  ]\n}\n";
    result.json = out;
    return result;
}

} // namespace vantor::session
