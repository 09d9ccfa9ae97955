// SPDX-License-Identifier: MIT
#include "settingsfiles.h"

#include "logging.h"

#include <session/profile.h>

#include <QFile>
#include <QObject>
#include <QSaveFile>

namespace vantor::views {

using codec::Setting;

namespace {

FileOutcome refused(const QString &message)
{
    qCWarning(lcViews).noquote() << message;
    return { false, message };
}

} // namespace

FileOutcome saveSettings(const codec::SettingsStore &store, std::span<const int> groups,
                         const QString &path)
{
    const session::ProfileWriting written = session::writeProfile(store, groups);
    if (written.refusal)
        return refused(QObject::tr("Settings not saved: %1").arg(written.refusal->message));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(written.json) != written.json.size()
        || !file.commit())
        return refused(QObject::tr("Settings not saved: %1: %2").arg(path, file.errorString()));
    qCInfo(lcViews).noquote() << "settings saved to" << path;
    return { true, QObject::tr("Settings saved to %1").arg(path) };
}

FileOutcome openSettings(codec::SettingsStore &store, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refused(QObject::tr("Settings not read: %1: %2").arg(path, file.errorString()));
    // One byte more than a profile may hold is enough to refuse a larger file.
    const QByteArray json = file.read(session::kMaxProfileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return refused(QObject::tr("Settings not read: %1: %2").arg(path, file.errorString()));
    session::ProfileReading reading = session::parseProfile(json);
    if (!reading.ok())
        return refused(QObject::tr("Settings not read: %1: %2").arg(path, reading.error));

    int keptClear = 0;
    const std::size_t paused = codec::scopeIndex(Setting::FAULT_PAUSED);
    for (auto &[element, values] : reading.profile.ports) {
        if (values[paused].value_or(0) == 1
            && store.value(Setting::FAULT_PAUSED, element).value != 1) {
            values[paused].reset();
            ++keptClear;
        }
    }
    session::applyProfile(reading.profile, store);
    qCInfo(lcViews).noquote() << "settings read from" << path;
    QString message
        = QObject::tr("Settings read from %1; \"Save to Device\" writes them to the board")
              .arg(path);
    if (keptClear > 0)
        message += QObject::tr(" (%n paused-fault mark(s) the board has not reported stay clear)",
                               nullptr, keptClear);
    return { true, message };
}

} // namespace vantor::views
