// SPDX-License-Identifier: MIT
#include "liveboardmodel.h"

#include "logging.h"
#include "snapshotbytes.h"

#include <algorithm>

namespace vantor::sim {

namespace {

// Snapshot offsets (per-port ones for port 0) and bits the board acts on.
constexpr std::size_t kPortCountOffset = 0;
constexpr std::size_t kCyclesOffset = 3;
constexpr std::size_t kControlOffset = 4;
constexpr std::size_t kPdRLowOffset = 5;
constexpr std::size_t kPdRHighOffset = 7;
constexpr std::size_t kMaxSysPowerOffset = 10;
constexpr std::size_t kStartupDelayOffset = 12;
constexpr std::size_t kServiceOffset = 15;
constexpr std::size_t kBoxPowerOffset = 16;
constexpr std::size_t kBypassOffset = 19;
constexpr std::size_t kPowerLimitOffset = 43;
constexpr std::size_t kLedOffset = 51;
constexpr std::size_t kDiscCOffset = 53;
constexpr std::size_t kDiscROffset = 69;
constexpr std::size_t kClassOffset = 85;
constexpr std::size_t kClassCurrentOffset = 93;
constexpr std::size_t kCurrentOffset = 109;
constexpr std::size_t kVoltageOffset = 125;
constexpr std::size_t kPowerOffset = 141;
constexpr std::size_t kStatusOffset = 157;
constexpr std::size_t kLedBlockOffset = 32; // in the port block

constexpr std::uint8_t kPauseBoard = 0x10;
constexpr std::uint8_t kLedDirectWrite = 0x02;
constexpr std::uint8_t kPriorityDisconnect = 0x01;

constexpr std::uint8_t kBypassDetection = 0x80;
constexpr std::uint8_t kBypassClassification = 0x40;
constexpr std::uint8_t kBypassPowerUp = 0x20;
constexpr std::uint8_t kBypassSampling = 0x10;
constexpr std::uint8_t kDetectLegacy = 0x08;
constexpr std::uint8_t kDisconnectDetect = 0x04 | 0x02; // DC or AC

constexpr std::uint8_t kClassViolation = 0x40;
constexpr std::uint8_t kPriorityMask = 0x07;

constexpr std::uint8_t kLedHiZ = 0;
constexpr std::uint8_t kLedRed = 1;
constexpr std::uint8_t kLedGreen = 2;

// Phase lengths before jitter. The two samples differ so that a 500 ms refresh sees both.
constexpr int kStartStaggerMs = 300;
constexpr int kRDetectMs = 240;
constexpr int kCDetectMs = 160;
constexpr int kClassifyMs = 180;
constexpr int kRampUpMs = 140;
constexpr int kRampDownMs = 120;
constexpr int kISampleMs = 170;
constexpr int kVSampleMs = 130;
constexpr int kServiceStepMs = 40;
// Powered this long without a fault, a port's run of failed power cycles starts again.
constexpr std::int64_t kStableMs = 2000;

// Readings, raw.
constexpr int kPoweredVolts = 4800;  // 48 V
constexpr int kProbeVolts = 600;     // detection with a device: 6 V
constexpr int kOpenVolts = 1000;     // detection into an open port: 10 V
constexpr int kClassifyVolts = 1800; // 18 V
constexpr std::uint16_t kOpenResistance = 0xFFFF;
constexpr int kMaxSignatureC = 10; // below 1 uF
constexpr int kLegacyMinC = 100;   // 10 uF and more
constexpr std::array<int, kMaxClass + 1> kClassCurrent { 20, 105, 185, 280, 400 };
constexpr int kLegacyClassCurrent = 5;
constexpr int kCurrentLimit = 4750;                                              // 475 mA
constexpr int kDisconnectCurrent = 100;                                          // 10 mA
constexpr std::array<int, kMaxClass + 1> kClassBudget { 154, 40, 70, 154, 154 }; // 0.1 W
constexpr int kMaxBoxPower = 2047;

std::uint16_t clampRaw(long long v)
{
    return static_cast<std::uint16_t>(std::clamp<long long>(v, 0, 0xFFFF));
}

// Power in 0.1 W from a voltage in 10 mV and a current in 0.1 mA.
std::uint16_t powerOf(int volts, int current)
{
    return clampRaw((static_cast<long long>(volts) * current + 50'000) / 100'000);
}

bool isPowered(LiveBoardModel::Mode mode)
{
    return mode == LiveBoardModel::ISample || mode == LiveBoardModel::VSample;
}

std::size_t at(std::size_t offset, int p)
{
    return offset + static_cast<std::size_t>(p);
}

std::size_t at2(std::size_t offset, int p)
{
    return offset + 2 * static_cast<std::size_t>(p);
}

} // namespace

LiveBoardModel::LiveBoardModel(const Scenario &scenario)
    : m_scenario(scenario)
    , m_random(scenario.seed)
{
    const int portCount = std::clamp(scenario.portCount, 0, kMaxPortCount);
    for (int g = 0; g < kGroupCount; ++g) {
        Snapshot &s = mutableImage(g);
        s[kPortCountOffset] = static_cast<std::uint8_t>(portCount);
        std::fill(s.begin() + kServiceOffset, s.begin() + kBypassOffset, 0);
        std::fill(s.begin() + kLedOffset, s.end(), 0);
        GroupState &state = m_state[static_cast<std::size_t>(g)];
        for (int p = 0; p < kPortsPerGroup; ++p) {
            const PortLoad entry = scenario.at(g, p);
            Port &port = state.ports[static_cast<std::size_t>(p)];
            port.load = entry.load;
            port.present = entry.load.kind != LoadKind::None;
            port.waitMs = static_cast<int>(m_random() % kStartStaggerMs);
            s[at(kPortManagementOffset, p)] = entry.enabled ? kPortEnableBit : 0;
            s[at(kBypassOffset, p)] = 0;
        }
        writeGroup(g);
    }
}

bool LiveBoardModel::applySystemBlock(std::span<const std::uint8_t> block)
{
    if (!BoardModel::applySystemBlock(block))
        return false;
    for (int g = 0; g < kGroupCount; ++g)
        writeGroup(g);
    return true;
}

bool LiveBoardModel::applyPortBlock(int group, std::span<const std::uint8_t> block)
{
    if (!BoardModel::applyPortBlock(group, block))
        return false;
    GroupState &state = m_state[static_cast<std::size_t>(group)];
    state.writtenLeds[0] = block[kLedBlockOffset];
    state.writtenLeds[1] = block[kLedBlockOffset + 1];
    // The panel can only clear a pause mark: a cleared mark lets the port try again.
    const std::uint8_t marks = block[kPauseMarksByte];
    for (int p = 0; p < kPortsPerGroup; ++p) {
        Port &port = state.ports[static_cast<std::size_t>(p)];
        if (port.paused && (marks & (1u << p)) == 0) {
            port.paused = false;
            port.waitMs = 0;
        }
    }
    writeGroup(group);
    return true;
}

void LiveBoardModel::advance(std::int64_t elapsedMs)
{
    if (elapsedMs <= 0 || (image(0)[kControlOffset] & kPauseBoard) != 0)
        return;
    m_pendingMs = std::min(m_pendingMs + std::min(elapsedMs, kMaxCatchUpMs), kMaxCatchUpMs);
    while (m_pendingMs >= kTickMs) {
        m_pendingMs -= kTickMs;
        tick();
    }
}

void LiveBoardModel::attach(int group, int port, const Load &load)
{
    Port &p = m_state[static_cast<std::size_t>(group & (kGroupCount - 1))]
                  .ports[static_cast<std::size_t>(port & (kPortsPerGroup - 1))];
    p.load = load;
    p.present = load.kind != LoadKind::None;
    p.absentMs = 0;
}

Load LiveBoardModel::load(int group, int port) const
{
    return m_state[static_cast<std::size_t>(group & (kGroupCount - 1))]
        .ports[static_cast<std::size_t>(port & (kPortsPerGroup - 1))]
        .load;
}

bool LiveBoardModel::portLive(int group, int p) const
{
    const int count = std::min<int>(image(0)[kPortCountOffset], kMaxPortCount);
    return group * kPortsPerGroup + p < count;
}

int LiveBoardModel::noise(int amplitude)
{
    if (amplitude <= 0)
        return 0;
    return static_cast<int>(m_random() % static_cast<unsigned>(2 * amplitude + 1)) - amplitude;
}

int LiveBoardModel::jitter(int baseMs)
{
    return baseMs + static_cast<int>(m_random() % static_cast<unsigned>(baseMs / 5 + 1));
}

void LiveBoardModel::tick()
{
    ++m_ticks;
    for (int g = 0; g < kGroupCount; ++g) {
        const Snapshot settings = image(g);
        GroupState &state = m_state[static_cast<std::size_t>(g)];
        for (int p = 0; p < kPortsPerGroup; ++p)
            tickPort(g, p, state.ports[static_cast<std::size_t>(p)], settings);
        stepService(g);
    }
    // Every group's ports have moved before the board-wide total is checked and reported.
    enforceTotalLimit();
    for (int g = 0; g < kGroupCount; ++g)
        writeGroup(g);
}

namespace {

// What the device draws at full voltage, in 0.1 mA and 0.1 W.
int nominalCurrent(const Load &load, bool present)
{
    return present
        ? static_cast<int>(static_cast<long long>(load.milliwatts) * 1000 / kPoweredVolts)
        : 0;
}

int nominalPower(const Load &load, bool present)
{
    return present ? load.milliwatts / 100 : 0;
}

// A load made by hand may carry any class number; the board classifies it within 0..4.
std::size_t classIndex(const Load &load)
{
    return static_cast<std::size_t>(std::clamp(load.classCode, 0, kMaxClass));
}

int classCurrentOf(const Load &load)
{
    return load.kind == LoadKind::Legacy ? kLegacyClassCurrent : kClassCurrent[classIndex(load)];
}

} // namespace

void LiveBoardModel::tickPort(int group, int p, Port &port, const Snapshot &s)
{
    const Load &load = port.load;
    if (!port.present && load.kind == LoadKind::Disconnect && load.reconnectAfterMs >= 0) {
        port.absentMs += kTickMs;
        if (port.absentMs >= load.reconnectAfterMs)
            port.present = true;
    }

    const bool enabled = portLive(group, p) && (s[kControlOffset] & kMasterEnable) != 0
        && (s[at(kPortManagementOffset, p)] & kPortEnableBit) != 0;

    if (port.mode == RampDown) {
        port.phaseMs -= kTickMs;
        const int left = std::max(port.phaseMs, 0);
        port.voltage
            = clampRaw(static_cast<long long>(port.voltage) * left / std::max(left + kTickMs, 1));
        port.current
            = clampRaw(static_cast<long long>(port.current) * left / std::max(left + kTickMs, 1));
        port.power = powerOf(port.voltage, port.current);
        if (port.phaseMs > 0)
            return;
        port.mode = PortOff;
        port.voltage = port.current = port.power = 0;
        if (!enabled)
            switchOff(port);
        else if (port.fault != NoFault)
            enterFaultWait(group, p, port, s);
        else
            port.waitMs = 0;
        return;
    }

    if (!enabled) {
        if (port.mode == RampUp || isPowered(port.mode))
            startPhase(port, RampDown, kRampDownMs);
        else
            switchOff(port);
        return;
    }

    switch (port.mode) {
    case PortOff:
        if (port.paused || port.latched)
            return;
        if (port.waitMs > 0) {
            port.waitMs -= kTickMs;
            return;
        }
        startDetection(group, p, port, s);
        return;
    case RDetect:
    case CDetect:
        if ((port.phaseMs -= kTickMs) > 0)
            return;
        measureDetection(group, p, port, s);
        return;
    case Classify:
        if ((port.phaseMs -= kTickMs) > 0)
            return;
        if (port.present) {
            port.classCode = static_cast<std::uint8_t>(classIndex(load));
            port.classCurrent = clampRaw(classCurrentOf(load) + noise(3));
        } else {
            port.classCode = 0;
            port.classCurrent = clampRaw(noise(1) + 1);
        }
        afterClassify(group, p, port, s);
        return;
    case RampUp: {
        port.phaseMs -= kTickMs;
        if (load.kind == LoadKind::Short && port.present && load.afterMs == 0
            && port.phaseMs * 2 <= port.phaseTotal) {
            raiseFault(group, p, port, s, OiShort, false);
            return;
        }
        const int done = port.phaseTotal - std::max(port.phaseMs, 0);
        port.voltage
            = clampRaw(static_cast<long long>(kPoweredVolts) * done / port.phaseTotal + noise(2));
        port.current = clampRaw(static_cast<long long>(nominalCurrent(load, port.present)) * done
                                / port.phaseTotal);
        port.power = powerOf(port.voltage, port.current);
        if (port.phaseMs > 0)
            return;
        startPhase(port, ISample, kISampleMs);
        port.poweredMs = 0;
        port.fault = NoFault;
        sample(port, true);
        sample(port, false);
        return;
    }
    case ISample:
    case VSample:
        checkPowered(group, p, port, s);
        return;
    case RampDown:
        return;
    }
}

void LiveBoardModel::checkPowered(int group, int p, Port &port, const Snapshot &s)
{
    const Load &load = port.load;
    port.poweredMs += kTickMs;
    if (load.kind == LoadKind::Disconnect && port.present && port.poweredMs >= load.afterMs) {
        port.present = false;
        port.absentMs = 0;
    }
    if (load.kind == LoadKind::Short && port.present && load.afterMs > 0
        && port.poweredMs >= load.afterMs) {
        raiseFault(group, p, port, s, OiShort, false);
        return;
    }
    if (port.poweredMs >= kStableMs)
        port.failures = 0;
    if ((port.phaseMs -= kTickMs) > 0)
        return;

    const std::uint8_t bypass = s[at(kBypassOffset, p)];
    if ((bypass & kBypassSampling) != 0) {
        port.phaseMs = port.phaseTotal;
        return;
    }
    sample(port, port.mode == ISample);

    if (port.poweredMs >= s[kStartupDelayOffset]) {
        const int limit = s[at(kPowerLimitOffset, p)] * 10;
        if (port.current > kCurrentLimit || (limit > 0 && port.power > limit)) {
            raiseFault(group, p, port, s, Overload, true);
            return;
        }
        const std::uint8_t management = s[at(kPortManagementOffset, p)];
        if ((management & kClassViolation) != 0
            && port.power > kClassBudget[std::min<std::size_t>(port.classCode, kMaxClass)]) {
            raiseFault(group, p, port, s, CiFail, true);
            return;
        }
        if ((bypass & kDisconnectDetect) != 0 && port.current < kDisconnectCurrent) {
            raiseFault(group, p, port, s, Disconnect, true);
            return;
        }
    }
    if (port.mode == ISample)
        startPhase(port, VSample, kVSampleMs);
    else
        startPhase(port, ISample, kISampleMs);
}

void LiveBoardModel::sample(Port &port, bool currentSample)
{
    const Load &load = port.load;
    if (currentSample) {
        int current = 0;
        if (!port.present)
            current = static_cast<int>(m_random() % 4); // leakage, under 0.4 mA
        else if (load.kind == LoadKind::Overload && port.poweredMs >= load.afterMs)
            current = load.overloadMilliamps * 10;
        else
            current = static_cast<int>(static_cast<long long>(load.milliwatts) * 100'000
                                       / std::max<int>(port.voltage, 1) / 100);
        port.current = clampRaw(current + noise(current / 100 + 1));
    } else {
        port.voltage = clampRaw(kPoweredVolts - port.current / 200 + noise(3));
    }
    port.power = powerOf(port.voltage, port.current);
}

void LiveBoardModel::startPhase(Port &port, Mode mode, int baseMs)
{
    port.mode = mode;
    port.phaseTotal = jitter(baseMs);
    port.phaseMs = port.phaseTotal;
}

void LiveBoardModel::startDetection(int group, int p, Port &port, const Snapshot &s)
{
    if ((s[at(kBypassOffset, p)] & kBypassDetection) != 0) {
        startClassify(group, p, port, s);
        return;
    }
    startPhase(port, RDetect, kRDetectMs);
    if (port.present && port.load.signatureOhms > 0) {
        port.voltage = clampRaw(kProbeVolts + noise(5));
        port.current = clampRaw(kProbeVolts * 100 / port.load.signatureOhms);
    } else {
        port.voltage = clampRaw(kOpenVolts + noise(5));
        port.current = 0;
    }
    port.power = powerOf(port.voltage, port.current);
}

void LiveBoardModel::measureDetection(int group, int p, Port &port, const Snapshot &s)
{
    const Load &load = port.load;
    if (port.mode == RDetect) {
        const int ohms = load.signatureOhms;
        port.discR
            = port.present && ohms > 0 ? clampRaw(ohms / 2 + noise(ohms / 400)) : kOpenResistance;
        startPhase(port, CDetect, kCDetectMs);
        return;
    }
    const int c = load.capacitanceTenthsUf;
    port.discC = port.present ? clampRaw(c + (c >= kMaxSignatureC ? noise(c / 50 + 1) : 0)) : 0;

    const std::uint16_t low = readU16le(s, kPdRLowOffset);
    const std::uint16_t high = readU16le(s, kPdRHighOffset);
    const bool signature
        = port.present && port.discR >= low && port.discR <= high && port.discC < kMaxSignatureC;
    const bool legacy = port.present && (s[at(kBypassOffset, p)] & kDetectLegacy) != 0
        && port.discC >= kLegacyMinC;
    if (signature || legacy)
        startClassify(group, p, port, s);
    else
        startDetection(group, p, port, s);
}

void LiveBoardModel::startClassify(int group, int p, Port &port, const Snapshot &s)
{
    if ((s[at(kBypassOffset, p)] & kBypassClassification) != 0) {
        port.classCode = 0;
        port.classCurrent = 0;
        afterClassify(group, p, port, s);
        return;
    }
    startPhase(port, Classify, kClassifyMs);
    const int current = port.present ? classCurrentOf(port.load) : 0;
    port.voltage = clampRaw(kClassifyVolts + noise(10));
    port.current = clampRaw(current);
    port.power = powerOf(port.voltage, port.current);
}

void LiveBoardModel::afterClassify(int group, int p, Port &port, const Snapshot &s)
{
    if ((s[at(kBypassOffset, p)] & kBypassPowerUp) != 0) {
        startDetection(group, p, port, s);
        return;
    }
    const int limit = readU11(s, kMaxSysPowerOffset) * 10;
    if (limit > 0 && committedPower(&port) + nominalPower(port.load, port.present) > limit) {
        qCDebug(lcSim, "group %d port %d: not powered, the board's total power limit is reached",
                group, p);
        startDetection(group, p, port, s);
        return;
    }
    startPhase(port, RampUp, kRampUpMs);
    port.voltage = port.current = port.power = 0;
}

int LiveBoardModel::committedPower(const Port &port)
{
    if (port.mode == RampUp)
        return nominalPower(port.load, port.present);
    return isPowered(port.mode) ? port.power : 0;
}

int LiveBoardModel::committedPower(const Port *except) const
{
    int total = 0;
    for (const GroupState &state : m_state)
        for (const Port &port : state.ports)
            if (&port != except)
                total += committedPower(port);
    return total;
}

int LiveBoardModel::boardPower() const
{
    int total = 0;
    for (const GroupState &state : m_state)
        for (const Port &port : state.ports)
            total += port.power;
    return total;
}

void LiveBoardModel::raiseFault(int group, int p, Port &port, const Snapshot &s, FaultCode code,
                                bool rampDown)
{
    qCDebug(lcSim, "group %d port %d: fault %d", group, p, code);
    port.fault = code;
    ++port.failures;
    if (rampDown) {
        startPhase(port, RampDown, kRampDownMs);
        return;
    }
    port.mode = PortOff;
    port.voltage = port.current = port.power = 0;
    enterFaultWait(group, p, port, s);
}

void LiveBoardModel::enterFaultWait(int group, int p, Port &port, const Snapshot &s)
{
    if ((faultEnable(group) & (1u << p)) != 0) {
        port.paused = true;
        return;
    }
    const int powerCycles = s[kCyclesOffset] & 0x0F;
    if (powerCycles > 0 && port.failures >= powerCycles) {
        qCDebug(lcSim, "group %d port %d: off after %d power cycles", group, p, powerCycles);
        port.latched = true;
        return;
    }
    port.waitMs = std::max(1, s[kCyclesOffset] >> 4) * kFaultCycleMs;
}

void LiveBoardModel::switchOff(Port &port)
{
    const Load load = port.load;
    const bool present = port.present;
    const std::int64_t absentMs = port.absentMs;
    port = Port {};
    port.load = load;
    port.present = present;
    port.absentMs = absentMs;
}

void LiveBoardModel::stepService(int group)
{
    GroupState &state = m_state[static_cast<std::size_t>(group)];
    state.serviceMs += kTickMs;
    if (state.serviceMs >= kServiceStepMs) {
        state.serviceMs = 0;
        Snapshot &s = mutableImage(group);
        s[kServiceOffset] = static_cast<std::uint8_t>((s[kServiceOffset] + 1) % kPortsPerGroup);
    }
}

void LiveBoardModel::enforceTotalLimit()
{
    // The system settings are the same in every group's image.
    const Snapshot &system = image(0);
    const int limit = readU11(system, kMaxSysPowerOffset) * 10;
    if (limit == 0 || (system[kControlOffset] & kPriorityDisconnect) == 0)
        return;
    int total = committedPower(nullptr);
    while (total > limit) {
        // Board-wide port numbers rise with the group, so the last lowest found is the highest.
        Port *victim = nullptr;
        int victimNumber = 0;
        int victimPriority = 0;
        for (int g = 0; g < kGroupCount; ++g) {
            for (int p = 0; p < kPortsPerGroup; ++p) {
                Port &port
                    = m_state[static_cast<std::size_t>(g)].ports[static_cast<std::size_t>(p)];
                if (port.mode != RampUp && !isPowered(port.mode))
                    continue;
                const int priority = image(g)[at(kPortManagementOffset, p)] & kPriorityMask;
                if (victim == nullptr || priority <= victimPriority) {
                    victim = &port;
                    victimNumber = g * kPortsPerGroup + p;
                    victimPriority = priority;
                }
            }
        }
        if (victim == nullptr)
            return;
        qCDebug(lcSim, "port %d of the board: dropped for the total power limit", victimNumber);
        total -= committedPower(*victim);
        startPhase(*victim, RampDown, kRampDownMs);
    }
}

void LiveBoardModel::writePort(Snapshot &s, int p, const Port &port) const
{
    putU16(s, at2(kDiscCOffset, p), port.discC);
    putU16(s, at2(kDiscROffset, p), port.discR);
    s[at(kClassOffset, p)] = port.classCode;
    putU16(s, at2(kClassCurrentOffset, p), port.classCurrent);
    putU16(s, at2(kCurrentOffset, p), port.current);
    putU16(s, at2(kVoltageOffset, p), port.voltage);
    putU16(s, at2(kPowerOffset, p), port.power);
    s[at(kStatusOffset, p)] = static_cast<std::uint8_t>(port.fault << 4 | port.mode);
}

void LiveBoardModel::writeGroup(int group)
{
    const GroupState &state = m_state[static_cast<std::size_t>(group)];
    Snapshot &s = mutableImage(group);
    std::uint8_t paused = 0;
    std::uint8_t leds[2] {};
    for (int p = 0; p < kPortsPerGroup; ++p) {
        const Port &port = state.ports[static_cast<std::size_t>(p)];
        writePort(s, p, port);
        if (port.paused)
            paused = static_cast<std::uint8_t>(paused | (1u << p));
        const std::uint8_t led = port.fault != NoFault ? kLedRed
            : isPowered(port.mode)                     ? kLedGreen
                                                       : kLedHiZ;
        leds[p / 4] = static_cast<std::uint8_t>(leds[p / 4] | led << (2 * (p % 4)));
    }
    // The total is the board's: every group answers the same.
    putU11(s, kBoxPowerOffset, std::min(boardPower(), kMaxBoxPower));
    const bool direct = (s[kControlOffset] & kLedDirectWrite) != 0;
    s[kLedOffset] = direct ? state.writtenLeds[0] : leds[0];
    s[kLedOffset + 1] = direct ? state.writtenLeds[1] : leds[1];
    setPauseMarks(group, paused);
}

} // namespace vantor::sim
