// SPDX-License-Identifier: MIT
// Feeds the duplicate-key scanner and the scenario reader arbitrary bytes. The scanner never
// fails on any text; on JSON it names only keys the document has, and finds none in Qt's own
// writing of a document (which holds each key once). The scenario reader takes a file or says
// why not, never both.

#include <fuzzcheck.h>

#include <codec/jsonkeys.h>
#include <sim/scenario.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSet>

using vantor::testing::check;

namespace {

void collectKeys(const QJsonValue &value, QSet<QString> &keys)
{
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            keys.insert(it.key());
            collectKeys(it.value(), keys);
        }
    } else if (value.isArray()) {
        for (const QJsonValue &v : value.toArray())
            collectKeys(v, keys);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("vantor.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const std::optional<QString> twice = vantor::codec::duplicateJsonKey(text);

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error == QJsonParseError::NoError) {
        QSet<QString> keys;
        collectKeys(document.isObject() ? QJsonValue(document.object())
                                        : QJsonValue(document.array()),
                    keys);
        check(!twice || keys.contains(*twice));
        check(!vantor::codec::duplicateJsonKey(document.toJson(QJsonDocument::Compact)));
    }

    const vantor::sim::ScenarioResult scenario = vantor::sim::parseScenario(text);
    check(scenario.scenario.has_value() == scenario.error.isEmpty());
    if (twice && error.error == QJsonParseError::NoError && document.isObject())
        check(!scenario.scenario);
    return 0;
}
