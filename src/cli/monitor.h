// SPDX-License-Identifier: MIT
#pragma once

// The board asked for its port status every interval, for as long as the command runs, and
// never written to. A time-out or a lost line is told once per occurrence (a run of time-outs
// is one); a lost port, or one that cannot be opened at the start, is reopened by the
// session's reconnection, read whole once it is back (never written), and the refreshes go on.
// Another adapter on the device's name is told, and left alone.

#include "board.h"

#include <session/reconnector.h>
#include <session/reopenpolicy.h>

#include <QObject>

#include <optional>
#include <vector>

namespace vantor::cli {

class Monitor : public QObject
{
    Q_OBJECT
public:
    // group: one port group, or nothing for every group the board's port count allows. Then a
    // whole read takes the count, at the start and after every reopening, and each interval
    // refreshes the next group in turn.
    Monitor(Board &board, std::optional<int> group, int intervalMs, QObject *parent = nullptr);

    // Opens the board, then the first refresh at once and one every interval.
    void start();
    // A time-out, a lost line or an implausible answer happened since the start.
    [[nodiscard]] bool hadFailures() const { return m_failed; }

signals:
    void answered(const vantor::session::DecodedAnswer &answer);
    void timedOut();
    // The line was lost (before down() for the same loss).
    void lineLost();
    // The board is not answering now (a time-out, a lost line, a refresh that was not sent).
    void down();
    // The groups refreshed in turn, from the board's port count (every group only).
    void groupsChanged(const std::vector<int> &groups);
    // The one group asked for is beyond the board's port count: nothing more is asked.
    void refused(const QString &text);
    // One line for the operator.
    void message(const QString &text);

private:
    void onOpenFailed(const QString &reason);
    void onTimedOut(protocol::RequestKind kind);
    void onAnswer(const session::DecodedAnswer &answer);
    void readPortCount();
    void takePortCount(const session::DecodedAnswer &answer);
    void nextGroup();

    Board &m_board;
    session::Reconnector m_reconnector;
    // A line that comes back is read whole before the refreshes go on, as in the panel.
    session::ReopenPolicy m_reopenPolicy;
    std::optional<int> m_group;
    std::vector<int> m_groups;
    std::size_t m_next = 0;
    bool m_refused = false;
    int m_intervalMs;
    bool m_failed = false;
    bool m_lineDown = false;
    int m_missed = 0;      // time-outs since the last answer
    int m_implausible = 0; // implausible answers since the last good one
};

} // namespace vantor::cli
