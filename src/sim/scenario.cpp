// SPDX-License-Identifier: MIT
#include "scenario.h"

#include <codec/jsonkeys.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace vantor::sim {

namespace {

// What each class of device draws unless the scenario says otherwise, within its budget.
constexpr std::array<int, kMaxClass + 1> kClassMilliwatts { 6000, 3000, 6000, 10500, 13000 };
constexpr int kSignatureOhms = 25000;
constexpr int kInvalidOhms = 15000;
constexpr int kLegacyOhms = 8000;
constexpr int kSignatureTenthsUf = 1;
constexpr int kLegacyTenthsUf = 470;
constexpr int kOverloadAfterMs = 2000;
constexpr int kOverloadMilliamps = 600;
constexpr int kDisconnectAfterMs = 3000;

constexpr std::array<std::pair<LoadKind, const char *>, 7> kKindNames { {
    { LoadKind::None, "none" },
    { LoadKind::PoweredDevice, "pd" },
    { LoadKind::Legacy, "legacy" },
    { LoadKind::InvalidSignature, "invalid" },
    { LoadKind::Overload, "overload" },
    { LoadKind::Short, "short" },
    { LoadKind::Disconnect, "disconnect" },
} };

constexpr int kMaxMilliwatts = 60000;
constexpr int kMaxOhms = 131070; // 65535 in the board's 2-ohm units
constexpr double kMaxCapacitanceUf = 6553.5;
constexpr int kMaxMs = 24 * 3600 * 1000;
constexpr int kMaxMilliamps = 2000;

constexpr char kDemo[] = R"({
  "description": "Built-in demo: classes 0 to 4 powered, a short, an empty port, a device that comes and goes; legacy, invalid and overloading devices on the second group.",
  "seed": 2024,
  "portCount": 8,
  "ports": [
    { "group": 0, "port": 0, "load": "pd", "class": 0 },
    { "group": 0, "port": 1, "load": "pd", "class": 1 },
    { "group": 0, "port": 2, "load": "pd", "class": 2 },
    { "group": 0, "port": 3, "load": "pd", "class": 3 },
    { "group": 0, "port": 4, "load": "pd", "class": 4 },
    { "group": 0, "port": 5, "load": "short", "class": 2 },
    { "group": 0, "port": 6, "load": "none" },
    { "group": 0, "port": 7, "load": "disconnect", "class": 3, "afterMs": 4000, "reconnectAfterMs": 2500 },
    { "group": 1, "port": 0, "load": "legacy", "capacitanceUf": 47 },
    { "group": 1, "port": 1, "load": "invalid", "ohms": 15000 },
    { "group": 1, "port": 2, "load": "invalid", "ohms": 33000 },
    { "group": 1, "port": 3, "load": "overload", "class": 4, "afterMs": 3000 },
    { "group": 1, "port": 4, "load": "pd", "class": 2, "watts": 5.5 }
  ]
}
)";

// Reads one entry of the file, collecting the first complaint.
class Reader
{
public:
    Reader(const QJsonObject &object, QString where)
        : m_object(object)
        , m_where(std::move(where))
    {
    }

    [[nodiscard]] const QString &error() const { return m_error; }

    // Keys outside `known` are refused: a misspelt key would otherwise be ignored silently.
    void checkKeys(std::initializer_list<const char *> known)
    {
        for (const QString &key : m_object.keys()) {
            bool found = false;
            for (const char *k : known)
                found = found || key == QLatin1String(k);
            if (!found)
                fail(QStringLiteral("unknown key \"%1\"").arg(key));
        }
    }

    [[nodiscard]] bool has(const char *key) const { return m_object.contains(QLatin1String(key)); }

    // An integer within [low, high], or fallback when the key is absent.
    std::int64_t integer(const char *key, std::int64_t low, std::int64_t high,
                         std::int64_t fallback)
    {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined())
            return fallback;
        const double d = v.toDouble(std::nan(""));
        if (!v.isDouble() || std::floor(d) != d || d < double(low) || d > double(high)) {
            fail(QStringLiteral("\"%1\" must be a whole number from %2 to %3")
                     .arg(QLatin1String(key))
                     .arg(low)
                     .arg(high));
            return fallback;
        }
        return static_cast<std::int64_t>(d);
    }

    double number(const char *key, double low, double high, double fallback)
    {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined())
            return fallback;
        const double d = v.toDouble(std::nan(""));
        if (!v.isDouble() || !(d >= low && d <= high)) {
            fail(QStringLiteral("\"%1\" must be a number from %2 to %3")
                     .arg(QLatin1String(key))
                     .arg(low)
                     .arg(high));
            return fallback;
        }
        return d;
    }

    bool boolean(const char *key, bool fallback)
    {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined())
            return fallback;
        if (!v.isBool()) {
            fail(QStringLiteral("\"%1\" must be true or false").arg(QLatin1String(key)));
            return fallback;
        }
        return v.toBool();
    }

    QString string(const char *key)
    {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (!v.isString()) {
            fail(QStringLiteral("\"%1\" must be a text").arg(QLatin1String(key)));
            return {};
        }
        return v.toString();
    }

    void require(const char *key)
    {
        if (!has(key))
            fail(QStringLiteral("\"%1\" is missing").arg(QLatin1String(key)));
    }

    void fail(const QString &message)
    {
        if (m_error.isEmpty())
            m_error = m_where + message;
    }

private:
    QJsonObject m_object;
    QString m_where;
    QString m_error;
};

std::optional<LoadKind> kindFromName(const QString &name)
{
    for (const auto &[kind, text] : kKindNames) {
        if (name == QLatin1String(text))
            return kind;
    }
    return std::nullopt;
}

PortLoad readPort(Reader &r)
{
    r.checkKeys({ "group", "port", "load", "enabled", "class", "watts", "ohms", "capacitanceUf",
                  "afterMs", "reconnectAfterMs", "milliamps" });
    r.require("group");
    r.require("port");
    r.require("load");
    PortLoad entry;
    entry.group = static_cast<int>(r.integer("group", 0, kScenarioGroups - 1, 0));
    entry.port = static_cast<int>(r.integer("port", 0, 7, 0));
    entry.enabled = r.boolean("enabled", true);
    if (!r.has("load"))
        return entry;
    const QString name = r.string("load");
    const std::optional<LoadKind> kind = kindFromName(name);
    if (!kind) {
        QStringList names;
        for (const auto &[k, text] : kKindNames)
            names << QLatin1String(text);
        r.fail(QStringLiteral("unknown load \"%1\" (one of %2)").arg(name, names.join(u", ")));
        return entry;
    }
    const int classCode = static_cast<int>(r.integer("class", 0, kMaxClass, 0));
    // Every key is checked whatever the load; with nothing attached the values are dropped.
    Load load = Load::make(*kind == LoadKind::None ? LoadKind::PoweredDevice : *kind, classCode);
    load.milliwatts = static_cast<int>(std::lround(
        r.number("watts", 0, kMaxMilliwatts / 1000.0, load.milliwatts / 1000.0) * 1000));
    load.signatureOhms = static_cast<int>(r.integer("ohms", 1, kMaxOhms, load.signatureOhms));
    load.capacitanceTenthsUf = static_cast<int>(std::lround(
        r.number("capacitanceUf", 0, kMaxCapacitanceUf, load.capacitanceTenthsUf / 10.0) * 10));
    load.afterMs = static_cast<int>(r.integer("afterMs", 0, kMaxMs, load.afterMs));
    load.reconnectAfterMs
        = static_cast<int>(r.integer("reconnectAfterMs", 0, kMaxMs, load.reconnectAfterMs));
    load.overloadMilliamps
        = static_cast<int>(r.integer("milliamps", 1, kMaxMilliamps, load.overloadMilliamps));
    entry.load = *kind == LoadKind::None ? Load::make(LoadKind::None) : load;
    return entry;
}

} // namespace

Load Load::make(LoadKind kind, int classCode)
{
    Load load;
    load.kind = kind;
    if (kind == LoadKind::None)
        return load;
    load.classCode = kind == LoadKind::Legacy ? 0 : std::clamp(classCode, 0, kMaxClass);
    load.milliwatts = kClassMilliwatts[static_cast<std::size_t>(load.classCode)];
    load.signatureOhms = kSignatureOhms;
    load.capacitanceTenthsUf = kSignatureTenthsUf;
    switch (kind) {
    case LoadKind::Legacy:
        load.signatureOhms = kLegacyOhms;
        load.capacitanceTenthsUf = kLegacyTenthsUf;
        break;
    case LoadKind::InvalidSignature:
        load.signatureOhms = kInvalidOhms;
        break;
    case LoadKind::Overload:
        load.afterMs = kOverloadAfterMs;
        load.overloadMilliamps = kOverloadMilliamps;
        break;
    case LoadKind::Disconnect:
        load.afterMs = kDisconnectAfterMs;
        break;
    default:
        break;
    }
    return load;
}

PortLoad Scenario::at(int group, int port) const
{
    for (const PortLoad &entry : ports) {
        if (entry.group == group && entry.port == port)
            return entry;
    }
    return PortLoad { group, port, Load {}, true };
}

ScenarioResult parseScenario(QByteArrayView json, const QString &origin)
{
    const QString prefix = origin.isEmpty() ? QString() : origin + QStringLiteral(": ");
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return { std::nullopt,
                 prefix
                     + QStringLiteral("not valid JSON at offset %1: %2")
                           .arg(parseError.offset)
                           .arg(parseError.errorString()) };
    if (!document.isObject())
        return { std::nullopt, prefix + QStringLiteral("the scenario must be a JSON object") };
    if (const auto key = codec::duplicateJsonKey(json))
        return { std::nullopt,
                 prefix + QStringLiteral("key \"%1\" appears twice in one object").arg(*key) };

    const QJsonObject top = document.object();
    Reader r(top, prefix);
    r.checkKeys({ "description", "seed", "portCount", "ports" });
    Scenario scenario;
    scenario.seed = static_cast<std::uint32_t>(r.integer("seed", 0, 0xFFFFFFFFll, 1));
    scenario.portCount = static_cast<int>(r.integer("portCount", 8, kMaxPortCount, 8));
    if (scenario.portCount % 8 != 0)
        r.fail(QStringLiteral("\"portCount\" must be 8, 16, 24, 32, 40 or 48"));
    if (r.has("description") && !top.value(QLatin1String("description")).isString())
        r.fail(QStringLiteral("\"description\" must be a text"));
    const QJsonValue ports = top.value(QLatin1String("ports"));
    if (!ports.isUndefined() && !ports.isArray())
        r.fail(QStringLiteral("\"ports\" must be a list"));
    if (!r.error().isEmpty())
        return { std::nullopt, r.error() };

    QSet<int> seen;
    const QJsonArray list = ports.toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QString where = prefix + QStringLiteral("ports[%1]: ").arg(i);
        if (!list.at(i).isObject())
            return { std::nullopt, where + QStringLiteral("each port must be a JSON object") };
        Reader pr(list.at(i).toObject(), where);
        const PortLoad entry = readPort(pr);
        if (!pr.error().isEmpty())
            return { std::nullopt, pr.error() };
        if (seen.contains(entry.group * 8 + entry.port))
            return { std::nullopt,
                     where
                         + QStringLiteral("group %1 port %2 is listed twice")
                               .arg(entry.group)
                               .arg(entry.port) };
        seen.insert(entry.group * 8 + entry.port);
        scenario.ports.append(entry);
    }
    return { scenario, {} };
}

ScenarioResult loadScenarioFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return { std::nullopt, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()) };
    // A scenario is a few kilobytes; a large file is a mistake, not a scenario.
    constexpr qint64 kMaxBytes = 1 << 20;
    const QByteArray bytes = file.read(kMaxBytes + 1);
    if (bytes.size() > kMaxBytes)
        return { std::nullopt, QStringLiteral("%1: too large for a scenario").arg(path) };
    return parseScenario(bytes, path);
}

QByteArrayView demoScenarioText()
{
    return QByteArrayView(kDemo, sizeof kDemo - 1);
}

Scenario demoScenario()
{
    // The text is part of the program and its tests parse it, so it cannot fail here.
    return parseScenario(demoScenarioText()).scenario.value_or(Scenario {});
}

QString loadKindName(LoadKind kind)
{
    for (const auto &[k, text] : kKindNames) {
        if (k == kind)
            return QLatin1String(text);
    }
    return {};
}

} // namespace vantor::sim
