// SPDX-License-Identifier: MIT
#pragma once

#include <frames/commands.h>

#include <serial/commevent.h>

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <span>

namespace vantor::serial {
class SerialLink;
}

namespace vantor::protocol {

class Timer;

// What the engine asks of its owner. A build hook fills its block from the settings as they
// stand at launch, or refuses with a reason (an invalid entry): then nothing at all is sent.
struct Hooks
{
    std::function<std::optional<QString>(SystemBlock &block)> buildSystemBlock;
    std::function<std::optional<QString>(PortBlock &block)> buildPortBlock;
    // code: the full command code in flight (8..15 or 40..47); the block holds at least
    // kSnapshotSize bytes (a longer answer is passed whole).
    std::function<void(std::uint8_t code, std::span<const std::uint8_t> snapshot)> decodeAnswer;
    // The port group to capture when a transaction ends (0..7).
    std::function<int()> portGroup;
};

// How a transaction ended. Every launched request ends exactly once, in one of these ways.
enum class Outcome {
    Done,      // a read was decoded, or a write's block has left the panel
    TimedOut,  // a stage waited kAnswerTimeoutMs for nothing
    Refused,   // a block could not be built: nothing was sent
    Failed,    // the port took no bytes, was lost, or characters were lost (overrun)
    Cancelled, // replaced or dropped before it ended (start-up, "Reset GUI")
};

// One request in flight, the others remembered as one pending flag per kind and launched by
// priority (whole read, system write, port write, port refresh). Each stage waits at most
// kAnswerTimeoutMs; a write's acknowledgement restarts the wait.
class TransactionEngine : public QObject
{
    Q_OBJECT
public:
    static constexpr int kAnswerTimeoutMs = 2000;

    enum class State { Idle, AwaitingAnswer, AwaitingAck, SendingBlock };
    Q_ENUM(State)

    // timeout: the answer time-out of every stage; the engine sets its interval.
    TransactionEngine(serial::SerialLink &link, Timer &timeout, Hooks hooks,
                      QObject *parent = nullptr);

    void requestWholeRead();
    void requestSystemWrite();
    void requestPortWrite();
    void requestPortRefresh();
    void request(RequestKind kind);
    // Launches at once for this group, which the transaction keeps to its end whatever the
    // group source says meanwhile. Only while idle; false (nothing done) otherwise.
    bool requestForGroup(RequestKind kind, int group);

    // The request in flight ends as cancelled and nothing else happens: the designed start-up
    // replaces its whole read by the system write this way.
    void dropInFlight();
    // "Reset GUI": the time-out stopped, the request in flight cancelled, every pending flag
    // cleared.
    void reset();
    void cancelPending(RequestKind kind);
    // The link went away: the request in flight fails with the reason (a refresh is cancelled:
    // the timer asks again, and a pending one is dropped), and the rest is launched as usual.
    void abandon(const QString &reason);
    // Takes the group from the group source now (start-up; a caller's fixed group).
    void capturePortGroup();

    [[nodiscard]] bool transactionBusy() const { return m_state != State::Idle; }
    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] bool isPending(RequestKind kind) const;
    [[nodiscard]] RequestKind kindInFlight() const { return m_kindInFlight; }
    // The port group added to the command codes and used to show answers.
    [[nodiscard]] int portGroup() const { return m_portGroup; }
    [[nodiscard]] std::uint8_t commandCode() const { return m_commandBlock; }
    [[nodiscard]] const SystemBlock &systemBlock() const { return m_systemBlock; }
    [[nodiscard]] const PortBlock &portBlock() const { return m_portBlock; }

signals:
    // The command byte of a request went out.
    void requestLaunched(vantor::protocol::RequestKind kind, std::uint8_t code);
    // A read was decoded, or a write's block has left the panel.
    void requestCompleted(vantor::protocol::RequestKind kind);
    void requestTimedOut(vantor::protocol::RequestKind kind);
    // A build hook refused: nothing was sent for this request.
    void requestRefused(vantor::protocol::RequestKind kind, const QString &reason);
    // The port took no bytes (closed or lost): the transaction ended at once.
    void requestFailed(vantor::protocol::RequestKind kind, const QString &reason);
    // The one last word on every launched request, after the signals above and before the
    // next pending request is launched. reason: why it did not end Done.
    void transactionEnded(vantor::protocol::RequestKind kind, vantor::protocol::Outcome outcome,
                          const QString &reason);
    // A write's command was acknowledged: its block is on its way.
    void acknowledged(vantor::protocol::RequestKind kind);
    // A transaction ended and nothing pending was launched after it.
    void idle();

private:
    void handleAnswer();
    void endTransaction(Outcome outcome, const QString &reason = {});
    void onCommEvent(serial::CommEvent event);
    void onSendComplete();
    void onTimeout();
    void launch(RequestKind kind);
    void launchFirstPending();
    bool &pendingFlag(RequestKind kind);

    serial::SerialLink &m_link;
    Timer &m_timeout;
    Hooks m_hooks;

    bool m_pendingWholeRead = false;
    bool m_pendingSystemWrite = false;
    bool m_pendingPortWrite = false;
    bool m_pendingPortRefresh = false;
    State m_state = State::Idle;
    RequestKind m_kindInFlight = RequestKind::WholeRead;
    // The transaction in flight was launched for a group of its own: no capture until it ends.
    bool m_groupBound = false;

    std::uint8_t m_commandBlock = 0;
    SystemBlock m_systemBlock {};
    PortBlock m_portBlock {};
    int m_portGroup = 0;
};

} // namespace vantor::protocol

Q_DECLARE_METATYPE(vantor::protocol::Outcome)
