// SPDX-License-Identifier: MIT
#pragma once

#include "decodedanswer.h"
#include "request.h"

#include <codec/settingsstore.h>
#include <frames/commands.h>
#include <serial/portcontrol.h>

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <span>

namespace vantor::protocol {
class TransactionEngine;
class Timer;
} // namespace vantor::protocol

namespace vantor::serial {
class SerialLink;
}

namespace vantor::testing {
struct SessionSeam;
}

namespace vantor::session {

// What everything that only shows state needs to know of the board.
enum class BoardState {
    Closed,    // the link is not open (never opened, closed, or the open failed)
    Opening,   // an open is under way
    Open,      // open; nothing asked of the board has ended yet
    Answering, // open, and the last request the board had to answer was answered
    Silent,    // open, but the last request went unanswered
    Lost,      // lost while open (adapter pulled, line hung up); retried by reconnection
};

[[nodiscard]] const char *boardStateName(BoardState state);

// The operator's writes, told as they are asked for (before anything is sent or refused); their
// requests tell the outcomes.
enum class Operation { SaveToDevice, SendPortControl };

// How start-up treats the board: the designed start writes the window's defaults to it;
// KeepBoardSettings reads the whole board instead and writes nothing.
enum class StartMode { WriteDefaults, KeepBoardSettings };

// The panel's behaviour without its window: the port, the transaction engine with its two
// timers, the port count, and the panel's actions as operations. Settings are read from and
// written into a store (the window's controls, or memory); every answer is decoded into the
// store and announced once, with its bytes and its decoded snapshot, before the transaction
// ends.
class Session : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRefreshIntervalMs = 500;

    // Null timers: the session makes real ones (auto-refresh, answer time-out). Null store:
    // settings in memory until a store is attached.
    Session(serial::SerialLink &link, serial::PortMap map, codec::SettingsStore *store = nullptr,
            protocol::Timer *refreshTimer = nullptr, protocol::Timer *timeoutTimer = nullptr,
            QObject *parent = nullptr);
    ~Session() override;

    // Where the port group is taken from when a transaction ends (the window: its tab strip).
    void setPortGroupSource(std::function<int()> source);
    // A fixed port group, taken at once: for a caller without a tab strip, while idle.
    void usePortGroup(int group);
    // The group in the command codes, and the one an answer is shown and kept for.
    [[nodiscard]] int portGroup() const;

    // The settings store, when it is made after the session (the window's controls); until
    // then the session keeps its settings in memory.
    void attachStore(codec::SettingsStore &store);
    // Back to the settings in memory, when the attached store goes away first.
    void detachStore(const codec::SettingsStore &store);
    [[nodiscard]] codec::SettingsStore &store() { return *m_store; }

    // Start-up: opens COM1, sets the start-up choices, switches auto-refresh on and writes
    // the configuration in the store (the system block, then the port block). With
    // KeepBoardSettings a whole read takes the place of both writes, and the port count is
    // taken from its answer. The whole read that the written start-up replaces at once ends
    // cancelled.
    void start(StartMode mode = StartMode::WriteDefaults);

    // The operations. Each request finishes exactly once; callers may drop the handle.
    // Without a group they use the group the session shows (the window's tab) at launch and
    // merge with a pending request of their kind; with a group they are launched for that
    // group alone, in turn, once nothing else is waiting.
    RequestHandle loadFromDevice();
    // "Save to Device": takes the port count, enables the LED drive lists as "Port LED Direct
    // Write" says, writes both blocks and clears "Calibrate System". All or nothing: when
    // either block cannot be built, nothing is sent, nothing changes, and the request ends
    // refused at once. Its steps: the system write, then the port write.
    RequestHandle saveToDevice();
    RequestHandle sendPortControl();
    RequestHandle sendPortControl(int group);
    // The system write alone; group: whose paused-fault marks it carries.
    RequestHandle writeSystemSettings(int group);
    RequestHandle refresh();
    RequestHandle refreshGroup(int group);
    // A whole read of one group that never writes anything.
    RequestHandle readGroup(int group);
    // Writes built from the store, one after another; the first that does not end done stops
    // the rest (they end cancelled), and its outcome is the request's.
    struct WriteStep
    {
        protocol::RequestKind kind = protocol::RequestKind::PortWrite;
        int group = 0;
    };
    RequestHandle applySettings(const QList<WriteStep> &steps);

    void setAutoRefresh(bool on);
    [[nodiscard]] bool autoRefresh() const { return m_autoRefresh; }
    void setRefreshInterval(int ms);
    // "Reset GUI": auto-refresh off, the transaction in flight and the pending ones dropped
    // (cancelled), and a whole read at once.
    RequestHandle resetTransactions();

    // Started with KeepBoardSettings, whose writes may only send what this run read or the
    // operator changed: a group never read nor edited is refused, and it is read the first time
    // it is selected, before it is refreshed.
    [[nodiscard]] bool keepsBoardSettings() const { return m_keepBoard; }
    [[nodiscard]] bool groupKnown(int group) const;
    // The operator changed settings of the group (an entry, a settings file).
    void markEdited(int group);
    // The operator selected the group; a group not read yet in this run is read now.
    void groupSelected(int group);

    // The settings that differ from what the board was last known to hold (read from it, or
    // sent to it), named by caption ("Port Enable of Port 3").
    [[nodiscard]] QStringList unsentChanges() const;

    [[nodiscard]] int portCount() const { return m_portCount; }
    // The groups the port count lets the operator select: 0 .. portCount / 8 - 1.
    [[nodiscard]] bool groupAllowed(int group) const;
    [[nodiscard]] int highestAllowedGroup() const;

    // OpenPort, the menu's port choice and "Reset Port".
    bool openPort();
    bool choosePort(int commPortNumber);
    bool resetPort();
    [[nodiscard]] bool isOpen() const;
    // The menu's port number (1..3) and the device it maps to.
    [[nodiscard]] int commPortNumber() const;
    [[nodiscard]] QString chosenDevice() const;
    [[nodiscard]] QString deviceOf(int commPortNumber) const;
    void mapDevice(int commPortNumber, const QString &device);
    // The device the link holds (open or last opened).
    [[nodiscard]] QString linkDevice() const;

    [[nodiscard]] BoardState boardState() const { return m_boardState; }
    [[nodiscard]] qint64 boardStateSinceUtcMs() const { return m_boardStateSince; }

    // The clock that stamps answers (UTC milliseconds); tests set their own.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

signals:
    // The board's state changed; since: when, in UTC milliseconds.
    void boardStateChanged(vantor::session::BoardState state, qint64 sinceUtcMs);
    // Every request as it finishes, the session's own (auto-refresh, start-up) included.
    void requestFinished(const vantor::session::RequestHandle &request);

    // The detailed events, for the event log.
    void linkOpened(const QString &device);
    // Opened again after it was lost.
    void linkReopened(const QString &device);
    void linkOpenFailed(const QString &device, const QString &reason);
    // Lost while open (adapter pulled, line hung up); it is closed now.
    void linkLost(const QString &reason);
    void linkClosed();

    void requestLaunched(vantor::protocol::RequestKind kind, std::uint8_t code);
    void requestCompleted(vantor::protocol::RequestKind kind);
    void requestTimedOut(vantor::protocol::RequestKind kind);
    // Nothing was sent: a block could not be built (the reason names the entry).
    void requestRefused(vantor::protocol::RequestKind kind, const QString &reason);
    void requestFailed(vantor::protocol::RequestKind kind, const QString &reason);

    void operationAsked(vantor::session::Operation operation,
                        const vantor::session::RequestHandle &request);

    void answerDecoded(const vantor::session::DecodedAnswer &answer);
    void autoRefreshChanged(bool on);
    // Something worth telling the operator that no other signal carries.
    void notice(const QString &message);

private:
    friend struct testing::SessionSeam;

    RequestHandle submit(protocol::RequestKind kind, std::optional<int> group);
    void submit(const RequestHandle &request);
    void launchNextBound();
    void onLaunched(protocol::RequestKind kind, std::uint8_t code);
    void onEnded(protocol::RequestKind kind, protocol::Outcome outcome, const QString &reason);
    void finishRequest(const RequestHandle &request, protocol::Outcome outcome,
                       const QString &reason = {});
    void onStepFinished(const RequestHandle &parent);
    void cancelWaiting(protocol::RequestKind kind, protocol::Outcome outcome,
                       const QString &reason);
    void setBoardState(BoardState state);
    void onAnswer(std::uint8_t code, std::span<const std::uint8_t> block);
    void onRefreshTick();
    void readStartGroups();
    [[nodiscard]] int operatorGroup() const;
    [[nodiscard]] std::optional<codec::Refusal> unknownGroupRefusal(int group) const;
    void takePortCount(codec::Snapshot snapshot);
    void onOpenChanged(bool open);
    void onPortFailed(const QString &reason);

    serial::SerialLink &m_link;
    serial::PortControl m_portControl;
    std::unique_ptr<codec::MemoryStore> m_ownStore;
    codec::SettingsStore *m_store = nullptr;
    std::unique_ptr<protocol::Timer> m_ownRefreshTimer;
    std::unique_ptr<protocol::Timer> m_ownTimeoutTimer;
    protocol::Timer *m_refreshTimer = nullptr;
    protocol::Timer *m_timeoutTimer = nullptr;
    std::unique_ptr<protocol::TransactionEngine> m_engine;
    std::function<int()> m_portGroupSource;
    std::function<qint64()> m_clock;

    // Requests merged into the engine's pending flag of each kind, by kind.
    std::array<QList<RequestHandle>, 4> m_waiting;
    // Requests for a group of their own, waiting for the engine to be idle.
    QList<RequestHandle> m_bound;
    // What the transaction on the wire answers.
    QList<RequestHandle> m_inFlight;
    RequestHandle m_launchingBound;
    // Composites not yet finished, and the step of a sequence to start when its turn comes.
    QList<RequestHandle> m_composites;

    int m_portCount = protocol::kPortsPerGroup;
    bool m_autoRefresh = false;
    // The next whole read sets the port count (start-up that keeps the board's settings).
    bool m_portCountFromRead = false;
    bool m_keepBoard = false;
    // Refreshes wait until start-up has read every group the port count allows.
    bool m_holdRefresh = false;
    std::array<bool, protocol::kGroupCount> m_known {};
    std::array<bool, protocol::kGroupCount> m_reading {};
    // What the board holds as far as this run knows, and what the write on the wire carries.
    codec::MemoryStore m_board;
    bool m_boardSystemKnown = false;
    std::array<bool, protocol::kGroupCount> m_boardGroupKnown {};
    codec::SystemConfiguration m_sentSystem {};
    codec::PortGroupConfiguration m_sentPorts {};
    int m_sentGroup = 0;
    bool m_open = false;
    bool m_lost = false;
    BoardState m_boardState = BoardState::Closed;
    qint64 m_boardStateSince = 0;
};

} // namespace vantor::session
