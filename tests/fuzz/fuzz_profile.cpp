// SPDX-License-Identifier: MIT
// Feeds the settings-file reader arbitrary bytes: files users hand around. It either refuses
// with a reason or takes the file; a file it takes, applied and written out again, reads back
// with every value it held.

#include <fuzzcheck.h>

#include <session/profile.h>

#include <QLoggingCategory>

using namespace vantor;
using vantor::testing::check;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("vantor.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const session::ProfileReading reading = session::parseProfile(json);
    check(reading.ok() != !reading.error.isEmpty());
    if (!reading.ok())
        return 0;

    codec::MemoryStore store;
    session::applyProfile(reading.profile, store);
    const int groups[] = { 0, 1, 2, 3, 4, 5 };
    const session::ProfileWriting written = session::writeProfile(store, groups);
    check(!written.refusal);
    const session::ProfileReading again = session::parseProfile(written.json);
    check(again.ok());
    for (std::size_t i = 0; i < reading.profile.system.size(); ++i) {
        if (reading.profile.system[i])
            check(again.profile.system[i] == reading.profile.system[i]);
    }
    for (const auto &[element, values] : reading.profile.ports) {
        const auto it = again.profile.ports.find(element);
        check(it != again.profile.ports.end());
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (values[i])
                check(it->second[i] == values[i]);
        }
    }
    return 0;
}
