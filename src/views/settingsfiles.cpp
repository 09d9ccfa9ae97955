// SPDX-License-Identifier: MIT
#include "settingsfiles.h"

#include "logging.h"

#include <records/savefile.h>
#include <session/profile.h>

#include <QObject>

namespace vantor::views {

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
    QString error;
    if (!records::saveWhole(path, written.json, error))
        return refused(QObject::tr("Settings not saved: %1").arg(error));
    qCInfo(lcViews).noquote() << "settings saved to" << path;
    return { true, QObject::tr("Settings saved to %1").arg(path) };
}

FileOutcome openSettings(codec::SettingsStore &store, const QString &path)
{
    const session::ProfileReading reading = session::readProfile(path);
    if (!reading.ok())
        return refused(QObject::tr("Settings not read: %1").arg(reading.error));
    // The window's controls hold what the board last reported.
    const int keptClear = session::applyAsReported(reading.profile, store, store);
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
