// SPDX-License-Identifier: MIT
#pragma once

// The share's scheduling core: many clients, one board, one transaction on it at a time.
//
// Each client speaks the board's own byte protocol and gets the board's answers as if it had
// the board alone. Requests run in arrival order; each stage on the board waits at most
// kStageTimeoutMs, after both buffers were emptied. A client's new command cancels its own
// read that is still waiting or unanswered, so a stale answer never lands in its next stage.
// Identical reads that wait at the same time share one transaction; a port status refresh is
// answered from the group's last snapshot while that is younger than the maximum age and no
// write has been queued or sent since. A write is acknowledged to the client at once and its
// block collected first (within kBlockTimeoutMs); only a whole block is run on the board.
//
// Works over abstract clients (ClientSink) and the board's serial::SerialLink, with timers
// and the clock handed in, so that it runs on fakes.

#include "sharemetrics.h"

#include <frames/commands.h>

#include <QByteArray>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace vantor::protocol {
class Timer;
}

namespace vantor::serial {
class SerialLink;
enum class CommEvent : int;
} // namespace vantor::serial

namespace vantor::share {

using ClientId = quint64;

// Where the core sends bytes to a client.
class ClientSink
{
public:
    virtual ~ClientSink() = default;
    virtual void sendToClient(ClientId client, const QByteArray &bytes) = 0;
};

// True when `code` is one of the board's commands: 8..15, 24, 32..39, 40..47.
[[nodiscard]] bool isCommand(std::uint8_t code);

class ShareCore : public QObject
{
    Q_OBJECT
public:
    static constexpr int kStageTimeoutMs = 2000;
    static constexpr int kBlockTimeoutMs = 2000;
    static constexpr int kDefaultMaxAgeMs = 250;
    // Writes of one client taken whole and still waiting for the board; more are not
    // acknowledged, so a client that floods writes cannot grow the queue.
    static constexpr int kMaxQueuedWritesPerClient = 4;
    // What the share acknowledges with until the board has acknowledged once.
    static constexpr char kDefaultAck = 0x06;
    // Dropped bytes and refusals of one client are told at most this often.
    static constexpr qint64 kNoteIntervalMs = 1000;

    enum class BoardState { Closed, Probing, Up };
    Q_ENUM(BoardState)

    using TimerFactory = std::function<std::unique_ptr<protocol::Timer>()>;
    // Milliseconds of a monotonic clock.
    using Clock = std::function<qint64()>;
    // A reason when an answer fails the plausibility checks; the answer is passed on anyway.
    using AnswerCheck
        = std::function<std::optional<QString>(std::uint8_t code, std::span<const std::uint8_t>)>;

    ShareCore(serial::SerialLink &board, ClientSink &clients, TimerFactory timers, Clock clock,
              QObject *parent = nullptr);
    ~ShareCore() override;

    void setMaxAgeMs(int ms) { m_maxAgeMs = ms; }
    void setAnswerCheck(AnswerCheck check) { m_answerCheck = std::move(check); }

    void addClient(ClientId id, const QString &address, bool readOnly);
    void removeClient(ClientId id);
    void clientBytes(ClientId id, QByteArrayView bytes);

    [[nodiscard]] BoardState boardState() const { return m_state; }
    [[nodiscard]] const ShareStats &stats() const { return m_stats; }
    // Requests waiting for the board, the one in flight not counted.
    [[nodiscard]] qsizetype queueLength() const { return qsizetype(m_queue.size()); }
    [[nodiscard]] bool isBusy() const { return m_inFlight.has_value(); }

signals:
    void boardStateChanged(vantor::share::ShareCore::BoardState state);

private:
    enum class Stage { Idle, AwaitingAnswer, AwaitingAck, SendingBlock };

    struct Request
    {
        std::uint8_t code = 0;
        QByteArray block;
        // Reads: every client waiting for this answer. Writes: the writer (until it leaves).
        std::vector<ClientId> clients;
        qint64 queuedAtMs = 0;
        QString writer;
    };

    struct Client
    {
        QString address;
        bool readOnly = false;
        // Collecting a write's block.
        std::uint8_t writeCode = 0;
        QByteArray block;
        qsizetype blockSize = 0;
        std::unique_ptr<protocol::Timer> blockTimer;
        int queuedWrites = 0;
        // Told at most every kNoteIntervalMs.
        quint64 unknownUntold = 0;
        std::uint8_t firstUnknown = 0;
        quint64 refusedUntold = 0;
        qint64 lastUnknownNoteMs = std::numeric_limits<qint64>::min() / 2;
        qint64 lastRefusalNoteMs = std::numeric_limits<qint64>::min() / 2;
    };

    void handleCommand(ClientId id, Client &client, std::uint8_t code);
    void takeBlockBytes(ClientId id, Client &client, QByteArrayView &bytes);
    void onBlockTimeout(ClientId id);
    void cancelWaitingRead(ClientId id);
    void queueRead(ClientId id, std::uint8_t code);
    void refuseWrite(Client &client, std::uint8_t code, Refusal why);
    // Tells the dropped bytes and refusals not told yet, at once or when their time has come.
    void tellNotes(Client &client, bool now);
    [[nodiscard]] bool writeAhead() const;

    void launchNext();
    void launch(Request request);
    void onCommEvent(serial::CommEvent event);
    void onAnswer();
    void onAck();
    void onStageTimeout();
    void endTransaction();
    void onOpenChanged(bool open);
    void onBoardLost(const QString &reason);
    void setState(BoardState state);

    serial::SerialLink &m_board;
    ClientSink &m_sink;
    TimerFactory m_timers;
    Clock m_clock;
    std::unique_ptr<protocol::Timer> m_stageTimer;
    AnswerCheck m_answerCheck;
    int m_maxAgeMs = kDefaultMaxAgeMs;

    std::map<ClientId, Client> m_clients;
    std::deque<Request> m_queue;
    std::optional<Request> m_inFlight;
    Stage m_stage = Stage::Idle;
    BoardState m_state = BoardState::Closed;
    QString m_lostReason;
    char m_ack = kDefaultAck;

    struct Snapshot
    {
        QByteArray bytes;
        qint64 atMs = 0;
    };
    // Per port group; emptied whenever a write is launched or the board is lost.
    std::map<int, Snapshot> m_snapshots;

    ShareStats m_stats;
};

} // namespace vantor::share
