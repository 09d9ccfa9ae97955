// SPDX-License-Identifier: MIT
#pragma once

// A board whose ports run like the controller's: each enabled port with a load walks
//
//   Port Off -> R Detect -> C Detect -> Classify -> Ramp Up -> I Sample <-> V Sample
//                  ^            | invalid signature                  | fault / disable
//                  +------------+                                    v
//                  +--- fault cycles wait <----- Port Off <----- Ramp Down
//
// in steps of kTickMs. Readings are written in the snapshot's units: voltage in 10 mV,
// currents in 0.1 mA, power in 0.1 W, discovery resistance in 2 ohm, capacitance in 0.1 uF.
//
// What the settings do:
//  - "Master Enable" clear or "Port Enable" clear: a powered port ramps down, any other goes off.
//  - Bypass Detection / Classification: the phase is skipped (a bypassed class reads 0).
//  - Bypass Power-up: the port detects and classifies but never powers.
//  - Bypass Power Sampling: readings and the overload and disconnect checks stop; a short
//    still trips.
//  - Detect Legacy Signature: a large capacitance passes detection whatever the resistance.
//  - DC or AC Disconnect Detect: a powered port drawing under 10 mA faults "Disconnect";
//    without either it stays powered.
//  - Class Violation Power-down: drawing more than the class allows faults "CI Fail".
//  - Port power limit (W) and 475 mA: "Overload", checked once the start-up overload delay
//    has passed. A limit of 0 means no limit, as the panel writes at start-up.
//  - Total power limit (W, 0 = none): one limit for the whole board, as the total power
//    (bytes 16..17) is one total, the same in every group's answer. A port is not powered when
//    its device would take the board's total over the limit; with Priority Disconnect Enable,
//    the lowest-priority powered port of the whole board (priority 0 lowest, the higher
//    board-wide port number, group * 8 + port, first among equals) is dropped until the board
//    fits again.
//  - Fault cycles: a faulted port waits that many cycles of kFaultCycleMs (at least one)
//    before detecting again. Power cycles: after that many faults in a row (0: no end) it
//    stays off until it is disabled and enabled again.
//  - Fault enable: a faulted port stays in its fault and is reported paused (byte 167) until
//    a port write clears its pause mark.
//  - "Pause Brellik": the board stands still; time passed meanwhile is lost.
//  - "Port LED Direct Write" clear: the board drives the LED codes (green powered, red fault,
//    Hi-Z otherwise); set: the written codes are shown as written.
//
// The fault code stays until the port powers again or is switched off. Randomness (noise,
// phase jitter) comes from one generator seeded by the scenario, so the same seed and the
// same calls give the same bytes.

#include "boardmodel.h"
#include "scenario.h"

#include <array>
#include <random>

namespace vantor::sim {

class LiveBoardModel : public BoardModel
{
public:
    static constexpr int kTickMs = 10;
    // A longer gap is counted as this much: the board has settled long before.
    static constexpr std::int64_t kMaxCatchUpMs = 60'000;
    static constexpr int kFaultCycleMs = 500;

    // Port state codes (low nibble of 157 + p) and fault codes (high nibble).
    enum Mode : std::uint8_t {
        PortOff = 0,
        RDetect = 1,
        CDetect = 2,
        Classify = 3,
        RampUp = 4,
        RampDown = 5,
        ISample = 8,
        VSample = 9,
    };
    enum FaultCode : std::uint8_t {
        NoFault = 0,
        OiShort = 3,
        Overload = 4,
        CiFail = 9,
        Disconnect = 10,
    };

    explicit LiveBoardModel(const Scenario &scenario = {});

    bool applySystemBlock(std::span<const std::uint8_t> block) override;
    bool applyPortBlock(int group, std::span<const std::uint8_t> block) override;
    void advance(std::int64_t elapsedMs) override;

    // Plugs a load into a port (or unplugs it with a None load) while the board runs.
    void attach(int group, int port, const Load &load);
    [[nodiscard]] Load load(int group, int port) const;
    [[nodiscard]] const Scenario &scenario() const { return m_scenario; }
    // Board time, in whole ticks run.
    [[nodiscard]] std::int64_t boardTimeMs() const { return m_ticks * kTickMs; }

private:
    struct Port
    {
        Load load;
        bool present = false; // the load is on the wire (a disconnecting device leaves)
        Mode mode = PortOff;
        std::uint8_t fault = NoFault;
        int phaseMs = 0;    // left in the present phase
        int phaseTotal = 0; // length of the present phase
        int waitMs = 0;     // left before an idle port starts detecting
        std::int64_t poweredMs = 0;
        std::int64_t absentMs = 0;
        int failures = 0;
        bool latched = false;
        bool paused = false;
        // Raw readings, in the snapshot's units.
        std::uint16_t discR = 0;
        std::uint16_t discC = 0;
        std::uint8_t classCode = 0;
        std::uint16_t classCurrent = 0;
        std::uint16_t current = 0;
        std::uint16_t voltage = 0;
        std::uint16_t power = 0;
    };
    struct GroupState
    {
        std::array<Port, kPortsPerGroup> ports {};
        std::uint8_t writtenLeds[2] {};
        std::uint8_t paused = 0;
        int serviceMs = 0;
    };

    void tick();
    void tickPort(int group, int p, Port &port, const Snapshot &s);
    void stepService(int group);
    void enforceTotalLimit();
    void switchOff(Port &port);
    void startDetection(int group, int p, Port &port, const Snapshot &s);
    void measureDetection(int group, int p, Port &port, const Snapshot &s);
    void startClassify(int group, int p, Port &port, const Snapshot &s);
    void afterClassify(int group, int p, Port &port, const Snapshot &s);
    void checkPowered(int group, int p, Port &port, const Snapshot &s);
    void raiseFault(int group, int p, Port &port, const Snapshot &s, FaultCode code, bool rampDown);
    void enterFaultWait(int group, int p, Port &port, const Snapshot &s);
    void startPhase(Port &port, Mode mode, int baseMs);
    void sample(Port &port, bool currentSample);
    void writePort(Snapshot &s, int p, const Port &port) const;
    void writeGroup(int group);
    [[nodiscard]] bool portLive(int group, int p) const;
    [[nodiscard]] int noise(int amplitude);
    [[nodiscard]] int jitter(int baseMs);
    // Power a port holds against the total limit: a ramping port its device's, a powered port
    // what it draws, any other none.
    [[nodiscard]] static int committedPower(const Port &port);
    // Held by every port of the board but one (none: nullptr).
    [[nodiscard]] int committedPower(const Port *except) const;
    // What every port of the board reads, summed.
    [[nodiscard]] int boardPower() const;

    Scenario m_scenario;
    std::mt19937 m_random;
    std::array<GroupState, kGroupCount> m_state {};
    std::int64_t m_pendingMs = 0;
    std::int64_t m_ticks = 0;
};

} // namespace vantor::sim
