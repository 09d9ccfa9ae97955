// SPDX-License-Identifier: MIT
#pragma once

// Settings files: a JSON document of the board's writable settings,
//
//   { "format": 1,
//     "system": { "ports_in_system": 8, "line_frequency_rejection": "60 Hz", ... },
//     "ports": [ { "port": 1, "port_enable": true, "led_output_drive": "Hi-Z", ... }, ... ] }
//
// with the keys of the setting table: flags as true/false, lists by their caption, numbers as
// plain JSON numbers, ports numbered 1..48 as the window labels them. A profile may hold only
// some keys and ports; what it leaves out keeps its value. One-shot actions are never in one.

#include <codec/settingsstore.h>

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>
#include <set>
#include <span>

namespace vantor::session {

inline constexpr int kProfileFormat = 1;
// Larger files are refused before they are parsed.
inline constexpr qsizetype kMaxProfileBytes = 1024 * 1024;

struct Profile
{
    std::array<std::optional<int>, codec::kSystemSettingCount> system {};
    // By element (the port's number - 1): only the ports the profile names.
    std::map<int, std::array<std::optional<int>, codec::kPortSettingCount>> ports;

    [[nodiscard]] bool hasSystem() const;
    // The port groups the profile has settings for.
    [[nodiscard]] std::set<int> groups() const;
    bool operator==(const Profile &) const = default;
};

struct ProfileReading
{
    Profile profile;
    QString error; // set: the whole file is refused, naming the key

    [[nodiscard]] bool ok() const { return error.isEmpty(); }
};

[[nodiscard]] ProfileReading parseProfile(const QByteArray &json);

// A profile file, refused whole when it cannot be read or is not a profile; the reason starts
// with the path.
[[nodiscard]] ProfileReading readProfile(const QString &path);

// Writes the profile's settings into the store; one-shot actions are cleared.
void applyProfile(const Profile &profile, codec::SettingsStore &store);

// The one way the window and the command line load a profile: applyProfile, except that a
// profile may clear a paused-fault mark but never set one the board has not reported
// (reported holds the marks of the board's last answers). Returns the marks kept clear.
int applyAsReported(Profile profile, codec::SettingsStore &store,
                    const codec::SettingsStore &reported);

struct ProfileWriting
{
    QByteArray json;
    std::optional<codec::Refusal> refusal; // set: a setting cannot be put in a profile
};

// The store's settings as a profile: the system settings and the ports of the given groups.
// The I2C address is written as the five bits a write carries.
[[nodiscard]] ProfileWriting writeProfile(const codec::SettingsStore &store,
                                          std::span<const int> groups);

} // namespace vantor::session
