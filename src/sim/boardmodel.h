// SPDX-License-Identifier: MIT
#pragma once

// The register image the simulated board answers with, one per port group.
//
//   snapshot (168 bytes)                         system block (14)   port block (217)
//     0..12   system configuration           <-  0..12
//    13..14   firmware, chip version
//    15..17   serviced port, total power
//    19..52   per-port settings              <-                      0..33
//    53..164  per-port readings and states
//   167       paused-fault flags             <-  (34 fault enable, 35 pause marks)
//
// The sizes are written out here rather than taken from the panel's protocol code, so the
// board stays an independent check of the panel.

#include <array>
#include <cstdint>
#include <span>

namespace vantor::sim {

inline constexpr std::size_t kSnapshotSize = 168;
inline constexpr std::size_t kSystemBlockSize = 14;
inline constexpr std::size_t kPortBlockSize = 217;
inline constexpr int kGroupCount = 8;
inline constexpr int kPortsPerGroup = 8;

// Where the write blocks land in the snapshot.
inline constexpr std::size_t kSystemFieldCount = 13;
inline constexpr std::size_t kPortSettingsOffset = 19;
inline constexpr std::size_t kPortSettingsCount = 34;
inline constexpr std::size_t kFaultEnableByte = 34;
inline constexpr std::size_t kPauseMarksByte = 35;
inline constexpr std::size_t kPortManagementOffset = 27;
inline constexpr std::uint8_t kPortEnableBit = 0x20;
inline constexpr std::size_t kFaultPausedOffset = 167;

using Snapshot = std::array<std::uint8_t, kSnapshotSize>;

// A static board: what is written is kept and read back; nothing moves by itself. A live
// board derives from it and changes the image in advance(), which the board calls before
// every snapshot it sends.
class BoardModel
{
public:
    BoardModel();
    virtual ~BoardModel() = default;
    BoardModel(const BoardModel &) = default;
    BoardModel &operator=(const BoardModel &) = default;

    // The factory image: eight ports, PD_R limits 19000/26500 ohms, firmware 1.21, chip 1.5,
    // and a few ports of group 0 powered, detecting or faulted.
    void reset();

    // False (and nothing changed) unless the block has exactly kSystemBlockSize bytes.
    virtual bool applySystemBlock(std::span<const std::uint8_t> block);
    // False (and nothing changed) for a group outside 0..7 or a block not kPortBlockSize long.
    virtual bool applyPortBlock(int group, std::span<const std::uint8_t> block);

    // Time has passed on the board; a static board has nothing to do.
    virtual void advance(std::int64_t elapsedMs);

    // What a read of group g answers; only the low three bits of g count, as in a command code.
    [[nodiscard]] Snapshot snapshot(int group) const;

    [[nodiscard]] const Snapshot &image(int group) const;
    [[nodiscard]] std::uint8_t faultEnable(int group) const;
    [[nodiscard]] std::uint8_t pauseMarks(int group) const;

    // Counts of blocks applied, for tests that check a write reached the board.
    [[nodiscard]] int systemWrites() const { return m_systemWrites; }
    [[nodiscard]] int portWrites(int group) const;

protected:
    [[nodiscard]] Snapshot &mutableImage(int group);
    // A live board pauses faulted ports itself; the panel can only clear the marks it reads.
    void setPauseMarks(int group, std::uint8_t marks);

private:
    struct Group
    {
        Snapshot image {};
        std::uint8_t faultEnable = 0;
        std::uint8_t pauseMarks = 0;
        int writes = 0;
    };
    [[nodiscard]] static std::size_t index(int group);

    std::array<Group, kGroupCount> m_groups {};
    int m_systemWrites = 0;
};

} // namespace vantor::sim
