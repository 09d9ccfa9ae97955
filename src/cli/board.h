// SPDX-License-Identifier: MIT
#pragma once

// The board as a command sees it: the real serial link, the settings in memory and the
// session over both, with the answer time-out the command line asked for. One-shot commands
// take it one step at a time; watch and metrics drive the session's auto-refresh.

#include <codec/settingsstore.h>
#include <protocol/timer.h>
#include <serial/devicelink.h>
#include <session/decodedanswer.h>
#include <session/session.h>

#include <QString>

#include <memory>
#include <optional>

namespace vantor::cli {

// How one step ended.
struct StepResult
{
    enum class Status {
        Done,        // a read decoded, or a write's block has left
        TimedOut,    // the board did not answer in time
        Lost,        // the line was lost, or the port took no bytes
        Refused,     // a block could not be built: nothing was sent
        Implausible, // an answer the board cannot have sent: refused, not used
        Interrupted, // a signal asked to stop before it was sent
    };
    Status status = Status::Done;
    QString message; // one line for the operator, naming the device

    [[nodiscard]] bool ok() const { return status == Status::Done; }
};

// A signal (SIGINT, SIGTERM) asks the command to stop: the request in flight ends (a write's
// block still goes out, within the time-out) and nothing more is sent.
void askToStop(int signal);
// The signal that asked to stop, or 0.
[[nodiscard]] int stopSignal();
// "SIGINT", "SIGTERM", or "signal 10".
[[nodiscard]] QString signalName(int signal);

class Board
{
public:
    Board(const QString &device, int timeoutMs);
    ~Board();

    // Opens the device; false with the reason (missing, permission, busy, not a serial device;
    // for a network board: host not found, refused, timed out, negotiation, the server's text).
    // A network board's open is waited for here, within the link's own time limits.
    bool open(QString &error);

    // A whole read of the group (never a write); the answer when it was decoded.
    StepResult readGroup(int group, session::DecodedAnswer *answer = nullptr);
    // The writes one after another, stopping at the first that does not end done or when asked
    // to stop; sent: how many had been sent before it.
    StepResult apply(const QList<session::Session::WriteStep> &steps, qsizetype &sent);

    [[nodiscard]] session::Session &session() { return *m_session; }
    [[nodiscard]] codec::MemoryStore &store() { return m_store; }
    [[nodiscard]] const QString &device() const { return m_device; }
    [[nodiscard]] int timeoutMs() const { return m_timeoutMs; }

    // "/dev/ttyUSB0: no answer to the whole read (0x08) within 2000 ms"; blockStage: a write
    // was acknowledged but its block did not leave in time.
    [[nodiscard]] QString timeoutText(protocol::RequestKind kind, std::uint8_t code,
                                      bool blockStage = false) const;

    // "/dev/ttyUSB0: implausible answer to the whole read (0x08): Ports in System 34 (...)".
    [[nodiscard]] QString implausibleText(const session::DecodedAnswer &answer) const;

private:
    [[nodiscard]] StepResult interrupted() const;
    // Waits for the request to finish and tells its outcome in the command line's words.
    StepResult outcomeOf(const session::RequestHandle &request);
    // true: the line was lost while waiting.
    bool wait(const session::Request &request);
    [[nodiscard]] StepResult describe(const session::Request &request, bool lostMeanwhile) const;

    QString m_device;
    int m_timeoutMs;
    serial::DeviceLink m_link;
    codec::MemoryStore m_store;
    protocol::QtTimer m_refreshTimer;
    protocol::QtTimer m_timeoutTimer;
    std::unique_ptr<session::Session> m_session;
};

} // namespace vantor::cli
