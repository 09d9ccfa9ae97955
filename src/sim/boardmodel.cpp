// SPDX-License-Identifier: MIT
#include "boardmodel.h"

#include "snapshotbytes.h"

#include <algorithm>

namespace vantor::sim {

namespace {

// What one port of the factory image shows, in the snapshot's own units.
struct PortDefaults
{
    std::uint8_t status; // fault code << 4 | state code
    std::uint8_t classCode;
    std::uint16_t classCurrent; // 0.1 mA
    std::uint16_t current;      // 0.1 mA
    std::uint16_t voltage;      // 10 mV
    std::uint16_t power;        // 0.1 W
    std::uint16_t discoveryR;   // 2 ohm
    std::uint16_t discoveryC;   // 0.1 uF
    std::uint8_t powerOrder;
    std::uint8_t ledDrive; // 0 Hi-Z, 1 red, 2 green
    bool enabled;
};

// Group 0: three powered devices (class 2, 4, 0), one port still detecting, one overloaded,
// three ports switched off.
constexpr std::array<PortDefaults, kPortsPerGroup> kGroup0 { {
    { 0x09, 2, 180, 1250, 4800, 60, 12500, 1, 1, 2, true },
    { 0x08, 4, 400, 2600, 4790, 125, 12400, 1, 2, 2, true },
    { 0x09, 0, 20, 900, 4810, 43, 12550, 2, 3, 2, true },
    { 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, true },
    { 0x40, 3, 300, 0, 0, 0, 12450, 1, 0, 1, true },
    { 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, false },
    { 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, false },
    { 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, false },
} };

constexpr std::uint8_t kPortCount = 8;
constexpr std::uint16_t kPdRLowRaw = 9500;   // 19000 ohms
constexpr std::uint16_t kPdRHighRaw = 13250; // 26500 ohms
constexpr std::uint8_t kFirmware = 0x15;     // 1.21
constexpr std::uint8_t kChipVersion = 0x0C;  // 12 / 8 = 1.5
constexpr std::uint8_t kPortPowerLimit = 15;

Snapshot factoryImage(int group)
{
    Snapshot s {};
    s[0] = kPortCount;
    s[2] = 0x20; // bridge I2C address
    s[3] = 0x23; // 2 fault cycles, 3 power cycles
    s[4] = kMasterEnable;
    putU16(s, 5, kPdRLowRaw);
    putU16(s, 7, kPdRHighRaw);
    putU16(s, 10, 120); // maximum system power
    s[12] = 50;         // start-up overload delay, ms
    s[13] = kFirmware;
    s[14] = kChipVersion;

    for (int p = 0; p < kPortsPerGroup; ++p) {
        const auto up = static_cast<std::size_t>(p);
        s[43 + up] = kPortPowerLimit;
        if (group != 0)
            continue;
        const PortDefaults &d = kGroup0[up];
        s[27 + up] = d.enabled ? static_cast<std::uint8_t>(kPortEnableBit | 1) : 0;
        s[35 + up] = d.powerOrder;
        s[(p < 4 ? 51 : 52)] |= static_cast<std::uint8_t>(d.ledDrive << (2 * (p % 4)));
        putU16(s, 53 + 2 * up, d.discoveryC);
        putU16(s, 69 + 2 * up, d.discoveryR);
        s[85 + up] = d.classCode;
        putU16(s, 93 + 2 * up, d.classCurrent);
        putU16(s, 109 + 2 * up, d.current);
        putU16(s, 125 + 2 * up, d.voltage);
        putU16(s, 141 + 2 * up, d.power);
        s[157 + up] = d.status;
    }
    // Total power is the whole board's: every group reports it.
    std::uint16_t total = 0;
    for (const PortDefaults &d : kGroup0)
        total = static_cast<std::uint16_t>(total + d.power);
    putU16(s, 16, total);
    return s;
}

} // namespace

BoardModel::BoardModel()
{
    reset();
}

void BoardModel::reset()
{
    for (int g = 0; g < kGroupCount; ++g)
        m_groups[index(g)] = Group { factoryImage(g), 0, 0, 0 };
    m_systemWrites = 0;
}

std::size_t BoardModel::index(int group)
{
    return static_cast<std::size_t>(group & (kGroupCount - 1));
}

bool BoardModel::applySystemBlock(std::span<const std::uint8_t> block)
{
    if (block.size() != kSystemBlockSize)
        return false;
    // The system settings are the controller's, not a group's: every group reads them back.
    for (Group &g : m_groups)
        std::copy_n(block.begin(), kSystemFieldCount, g.image.begin());
    ++m_systemWrites;
    return true;
}

bool BoardModel::applyPortBlock(int group, std::span<const std::uint8_t> block)
{
    if (group < 0 || group >= kGroupCount || block.size() != kPortBlockSize)
        return false;
    Group &g = m_groups[index(group)];
    std::copy_n(block.begin(), kPortSettingsCount,
                g.image.begin() + static_cast<std::ptrdiff_t>(kPortSettingsOffset));
    g.faultEnable = block[kFaultEnableByte];
    g.pauseMarks = block[kPauseMarksByte];
    ++g.writes;
    return true;
}

void BoardModel::advance(std::int64_t /*elapsedMs*/) { }

Snapshot BoardModel::snapshot(int group) const
{
    const Group &g = m_groups[index(group)];
    Snapshot s = g.image;
    // A pause mark is reported only while its port is enabled.
    std::uint8_t paused = 0;
    for (int p = 0; p < kPortsPerGroup; ++p) {
        const bool enabled
            = (s[kPortManagementOffset + static_cast<std::size_t>(p)] & kPortEnableBit) != 0;
        if (enabled && (g.pauseMarks & (1u << p)) != 0)
            paused = static_cast<std::uint8_t>(paused | (1u << p));
    }
    s[kFaultPausedOffset] = paused;
    return s;
}

const Snapshot &BoardModel::image(int group) const
{
    return m_groups[index(group)].image;
}

Snapshot &BoardModel::mutableImage(int group)
{
    return m_groups[index(group)].image;
}

std::uint8_t BoardModel::faultEnable(int group) const
{
    return m_groups[index(group)].faultEnable;
}

void BoardModel::setPauseMarks(int group, std::uint8_t marks)
{
    m_groups[index(group)].pauseMarks = marks;
}

std::uint8_t BoardModel::pauseMarks(int group) const
{
    return m_groups[index(group)].pauseMarks;
}

int BoardModel::portWrites(int group) const
{
    return m_groups[index(group)].writes;
}

} // namespace vantor::sim
