// SPDX-License-Identifier: MIT
#pragma once

// What the share counts, and its Prometheus text exposition (format 0.0.4): clients
// connected, board transactions by kind, reads answered without a transaction of their own,
// writes refused, abandoned or never acknowledged, and the time requests waited in the queue.

#include <frames/commands.h>

#include <QByteArray>

#include <array>

namespace vantor::share {

// Upper bounds of the queue wait histogram, in seconds (+Inf follows).
inline constexpr std::array kQueueWaitBuckets {
    0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1.0, 2.5
};

enum class Refusal { ReadOnly, BoardDown, QueueFull };
inline constexpr int kRefusalCount = 3;

struct ShareStats
{
    int clients = 0;
    bool boardUp = false;
    // Launched on the board, by protocol::RequestKind.
    std::array<quint64, 4> transactions {};
    std::array<quint64, 4> timeouts {};
    // Reads that joined another client's identical waiting read, or were answered from the
    // group's recent snapshot.
    quint64 joinedReads = 0;
    quint64 snapshotReads = 0;
    std::array<quint64, kRefusalCount> refusedWrites {};
    // Taken whole from the client but never acknowledged by the board.
    quint64 unacknowledgedWrites = 0;
    // The client stalled or left before its block was complete: nothing was sent.
    quint64 abandonedWrites = 0;
    // Taken whole, then dropped with the queue when the board was lost.
    quint64 droppedWrites = 0;
    // Bytes from clients that are no command.
    quint64 unknownBytes = 0;
    // Answers that failed the plausibility checks (passed on all the same).
    quint64 implausibleAnswers = 0;

    std::array<quint64, kQueueWaitBuckets.size()> queueWaitBuckets {};
    quint64 queueWaitCount = 0;
    double queueWaitSum = 0;

    void observeQueueWait(double seconds);
};

[[nodiscard]] QByteArray exposition(const ShareStats &stats);

} // namespace vantor::share
