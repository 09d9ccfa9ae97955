// SPDX-License-Identifier: MIT
#pragma once

// What hangs on the simulated board's ports: one load per port, from a small JSON file.
//
//   {
//     "description": "free text, ignored",
//     "seed": 7,                  // noise and timing jitter; same seed, same run (default 1)
//     "portCount": 8,             // what the board reports at first: 8, 16, ... 48 (default 8)
//     "ports": [
//       { "group": 0, "port": 2, "load": "pd", "class": 2 },
//       { "group": 0, "port": 5, "load": "short" },
//       { "group": 1, "port": 0, "load": "disconnect", "afterMs": 5000, "reconnectAfterMs": 3000 }
//     ]
//   }
//
// Ports not listed have nothing attached. Per port: "group" 0..5 and "port" 0..7 (required),
// "load" (required) one of
//   "none"        nothing attached: detection finds an open circuit
//   "pd"          a powered device with a 25 kOhm signature
//   "legacy"      a legacy device: no valid signature resistance, a large capacitance
//   "invalid"     a signature outside the limits (15 kOhm unless "ohms" says otherwise)
//   "overload"    a powered device that draws "milliamps" (600) after "afterMs" (2000) powered
//   "short"       a powered device that shorts "afterMs" (0: while ramping up) after power-up
//   "disconnect"  a powered device that leaves after "afterMs" (3000) powered, and comes back
//                 "reconnectAfterMs" later (never when absent)
// and optionally "enabled" (true: the port starts enabled), "class" 0..4 (0), "watts" (what
// the device draws, by class when absent), "ohms" (signature), "capacitanceUf" (signature
// capacitance). Unknown keys, keys given twice, values out of range (whatever the load) and
// ports listed twice are refused.

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace vantor::sim {

enum class LoadKind { None, PoweredDevice, Legacy, InvalidSignature, Overload, Short, Disconnect };

inline constexpr int kMaxPortCount = 48;
inline constexpr int kScenarioGroups = kMaxPortCount / 8;
inline constexpr int kMaxClass = 4;

struct Load
{
    LoadKind kind = LoadKind::None;
    int classCode = 0;
    int milliwatts = 0;          // drawn while powered
    int signatureOhms = 0;       // seen by resistive detection
    int capacitanceTenthsUf = 0; // seen by capacitive detection, in 0.1 uF
    int afterMs = 0;             // powered time before an overload, short or disconnect
    int reconnectAfterMs = -1;   // a disconnected device returns this long after leaving; -1 never
    int overloadMilliamps = 0;

    // A load of the kind with every parameter at its default.
    [[nodiscard]] static Load make(LoadKind kind, int classCode = 0);
    friend bool operator==(const Load &, const Load &) = default;
};

struct PortLoad
{
    int group = 0;
    int port = 0;
    Load load;
    bool enabled = true;
    friend bool operator==(const PortLoad &, const PortLoad &) = default;
};

struct Scenario
{
    std::uint32_t seed = 1;
    int portCount = 8;
    QList<PortLoad> ports;

    // The entry for a port, or nothing attached and enabled when the scenario does not list it.
    [[nodiscard]] PortLoad at(int group, int port) const;
    friend bool operator==(const Scenario &, const Scenario &) = default;
};

// A scenario, or why there is none: the message names the file and the entry at fault.
struct ScenarioResult
{
    std::optional<Scenario> scenario;
    QString error;
};

[[nodiscard]] ScenarioResult parseScenario(QByteArrayView json, const QString &origin = {});
[[nodiscard]] ScenarioResult loadScenarioFile(const QString &path);

// The built-in scenario of the demo: every class, a short, an empty port and a device that
// comes and goes, on the first group.
[[nodiscard]] QByteArrayView demoScenarioText();
[[nodiscard]] Scenario demoScenario();

[[nodiscard]] QString loadKindName(LoadKind kind);

} // namespace vantor::sim
