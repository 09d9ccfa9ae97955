// SPDX-License-Identifier: MIT
#pragma once

// The board asked for its port status every interval, for as long as the command runs, and
// never written to. A time-out or a lost line is told once per occurrence (a run of time-outs
// is one); a lost port, or one that cannot be opened at the start, is reopened by the
// session's reconnection, and the refreshes simply go on. Another adapter on the device's
// name is told, and left alone.

#include "board.h"

#include <session/reconnector.h>

#include <QObject>

namespace vantor::cli {

class Monitor : public QObject
{
    Q_OBJECT
public:
    Monitor(Board &board, int group, int intervalMs, QObject *parent = nullptr);

    // Opens the board, then the first refresh at once and one every interval.
    void start();
    // A time-out or a lost line happened since the start.
    [[nodiscard]] bool hadFailures() const { return m_failed; }

signals:
    void answered(const vantor::session::DecodedAnswer &answer);
    void timedOut();
    // The line was lost (before down() for the same loss).
    void lineLost();
    // The board is not answering now (a time-out, a lost line, a refresh that was not sent).
    void down();
    // One line for the operator.
    void message(const QString &text);

private:
    void onOpenFailed(const QString &reason);
    void onTimedOut(protocol::RequestKind kind);
    void onAnswer(const session::DecodedAnswer &answer);

    Board &m_board;
    session::Reconnector m_reconnector;
    int m_group;
    int m_intervalMs;
    bool m_failed = false;
    bool m_lineDown = false;
    int m_missed = 0; // time-outs since the last answer
};

} // namespace vantor::cli
