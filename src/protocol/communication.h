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

// What the engine asks of the window. A build hook fills its block from the window's
// controls, or refuses with a reason (an invalid entry): then nothing at all is sent.
struct Hooks
{
    std::function<std::optional<QString>(SystemBlock &block)> buildSystemBlock;
    std::function<std::optional<QString>(PortBlock &block)> buildPortBlock;
    // code: the full command code in flight (8..15 or 40..47); the block holds at least
    // kSnapshotSize bytes (a longer answer is passed whole).
    std::function<void(std::uint8_t code, std::span<const std::uint8_t> snapshot)> decodeAnswer;
    // The tab strip's selected tab, captured as the port group when a transaction ends.
    std::function<int()> selectedTab;
};

// The transaction engine: one request in flight, the others remembered as one pending flag
// per kind and launched by priority (whole read, system write, port write, port refresh).
// Each stage waits at most kAnswerTimeoutMs; a write's acknowledgement restarts the wait.
class Communication : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRefreshIntervalMs = 500;
    static constexpr int kAnswerTimeoutMs = 2000;

    enum class Stage { Idle, AwaitingAnswer, AwaitingAck, SendingBlock };
    Q_ENUM(Stage)

    // timer1: auto-refresh; timer2: answer time-out. The engine sets both intervals.
    Communication(serial::SerialLink &link, Timer &timer1, Timer &timer2, Hooks hooks,
                  QObject *parent = nullptr);

    void requestWholeRead();
    void requestSystemWrite();
    void requestPortWrite();
    void requestPortRefresh();
    void request(RequestKind kind);

    // Receive event: take every waiting byte and dispatch it by the command in flight.
    void handleAnswer();
    // Ends the transaction in flight, launches the first pending request, captures the tab.
    void endTransaction();

    // Start-up and "Reset GUI" set the flags directly, without ending anything.
    void setTransactionBusy(bool busy);
    void clearPendingFlags();
    void captureSelectedTab();

    [[nodiscard]] bool transactionBusy() const { return m_busy; }
    [[nodiscard]] bool isPending(RequestKind kind) const;
    [[nodiscard]] Stage stage() const { return m_stage; }
    [[nodiscard]] int selectedTab() const { return m_selectedTab; }
    [[nodiscard]] std::uint8_t commandCode() const { return m_commandBlock; }
    [[nodiscard]] const SystemBlock &systemBlock() const { return m_systemBlock; }
    [[nodiscard]] const PortBlock &portBlock() const { return m_portBlock; }
    [[nodiscard]] int portCount() const { return m_portCount; }
    void setPortCount(int count) { m_portCount = count; }

    Timer &refreshTimer() { return m_timer1; }
    Timer &timeoutTimer() { return m_timer2; }

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
    Timer &m_timer1;
    Timer &m_timer2;
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
    int m_selectedTab = 0;
    int m_portCount = kPortsPerGroup;
};

} // namespace vantor::protocol
