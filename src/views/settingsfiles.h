// SPDX-License-Identifier: MIT
#pragma once

// "Save Settings As..." and "Open Settings...": profiles in the session's format, between a
// file and the window's controls. Nothing is sent to the board here.

#include <QString>

#include <span>

namespace vantor::codec {
class SettingsStore;
}

namespace vantor::views {

struct FileOutcome
{
    bool ok = false;
    QString message; // for the operator, naming the file
};

// The system settings and every port of the given groups, as the store holds them. The file
// is replaced whole or not at all.
[[nodiscard]] FileOutcome saveSettings(const codec::SettingsStore &store,
                                       std::span<const int> groups, const QString &path);

// A profile into the store. A bad file is refused with the reason, naming the key, and changes
// nothing. A paused-fault mark can be cleared by a profile but never set: a mark the board has
// not reported stays clear.
[[nodiscard]] FileOutcome openSettings(codec::SettingsStore &store, const QString &path);

} // namespace vantor::views
