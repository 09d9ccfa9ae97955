// SPDX-License-Identifier: MIT
#pragma once

#include "commands.h"

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

// One request in flight, the others remembered as one pending flag per kind and launched by
// priority (whole read, system write, port write, port refresh). Each stage waits at most
// kAnswerTimeoutMs; a write's acknowledgement restarts the wait.
class TransactionEngine : public QObject
{
    Q_OBJECT
public:
    static constexpr int kAnswerTimeoutMs = 2000;

    enum class Stage { Idle, AwaitingAnswer, AwaitingAck, SendingBlock };
    Q_ENUM(Stage)

    // timeout: the answer time-out of every stage; the engine sets its interval.
    TransactionEngine(serial::SerialLink &link, Timer &timeout, Hooks hooks,
                      QObject *parent = nullptr);

    void requestWholeRead();
    void requestSystemWrite();
    void requestPortWrite();
    void requestPortRefresh();
    void request(RequestKind kind);

    // Receive event: take every waiting byte and dispatch it by the command in flight.
    void handleAnswer();
    // Ends the transaction in flight, launches the first pending request, captures the group.
    void endTransaction();

    // Start-up and "Reset GUI" set the flags directly, without ending anything.
    void setTransactionBusy(bool busy);
    void clearPendingFlags();
    void clearPending(RequestKind kind);
    void capturePortGroup();

    [[nodiscard]] bool transactionBusy() const { return m_busy; }
    [[nodiscard]] bool isPending(RequestKind kind) const;
    [[nodiscard]] Stage stage() const { return m_stage; }
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

private:
    void onCommEvent(serial::CommEvent event);
    void onSendComplete();
    void onTimeout();
    void launch(RequestKind kind);
    void launchFirstPending();
    bool &pendingFlag(RequestKind kind);

    serial::SerialLink &m_link;
    Timer &m_timeout;
    Hooks m_hooks;

    bool m_busy = false;
    bool m_pendingWholeRead = false;
    bool m_pendingSystemWrite = false;
    bool m_pendingPortWrite = false;
    bool m_pendingPortRefresh = false;
    Stage m_stage = Stage::Idle;
    RequestKind m_kindInFlight = RequestKind::WholeRead;

    std::uint8_t m_commandBlock = 0;
    SystemBlock m_systemBlock {};
    PortBlock m_portBlock {};
    int m_portGroup = 0;
};

} // namespace vantor::protocol
