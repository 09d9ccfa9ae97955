// SPDX-License-Identifier: MIT
#pragma once

#include "boardmodel.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace vantor::sim {

enum class Direction { FromPanel, ToPanel };

// Bytes that crossed the line in one go, stamped in microseconds since the board was made.
struct WireEntry
{
    qint64 timeUs = 0;
    Direction direction = Direction::FromPanel;
    QByteArray bytes;
};

// Misbehaviour on demand, for tests of the panel.
enum class Fault {
    None,
    Silent,          // no answer to any command, acknowledgements included
    ShortAnswer,     // a read is answered with only the first `bytes` bytes of the snapshot
    LongAnswer,      // a read is answered with the snapshot and `bytes` more
    DelayedAck,      // a write's acknowledgement leaves `delayMs` after its command
    Garbage,         // a read is answered with `bytes` bytes of noise (a snapshot's worth when 0)
    HangUpInPayload, // the line drops once `bytes` bytes (at least 1) of a write's block arrived
    AnswerTwice,     // a read is answered with its snapshot twice in a row
    NoisyAnswer,     // a read's answer carries one byte of noise before its byte `bytes`
};

struct FaultPlan
{
    Fault fault = Fault::None;
    int bytes = 0;
    int delayMs = 0;
    // How many commands it spoils before the board behaves again; -1: until cleared.
    int times = -1;
};

// The board's side of the line on a pseudo-terminal.
//
// Protocol: 8..15 and 40..47 answer the group's 168-byte snapshot; 24 and 32..39 answer one
// acknowledgement byte and then take exactly 14 or 217 bytes, which are applied to the model.
// A command arriving while an answer is still going out ends that answer. A payload that
// stalls for kPayloadStallMs is dropped. Other bytes are ignored.
//
// The board keeps its own handle on the serial end, so the panel may close and reopen the
// port without the line hanging up; hangUp() is the way to make it hang up.
class SimulatedBoard : public QObject
{
    Q_OBJECT
public:
    static constexpr int kBaudRate = 19200;
    static constexpr int kBitsPerByte = 10; // start, 8 data, stop
    static constexpr int kPayloadStallMs = 2000;
    static constexpr char kAck = 0x06;
    // The wire log's memory bound; each entry counts its bytes plus a fixed cost for itself.
    static constexpr qsizetype kWireLogLimit = 4 * 1024 * 1024;
    static constexpr qsizetype kWireEntryCost = 64;

    explicit SimulatedBoard(QObject *parent = nullptr);
    explicit SimulatedBoard(std::unique_ptr<BoardModel> model, QObject *parent = nullptr);
    ~SimulatedBoard() override;

    // Opens a new pseudo-terminal (closing any earlier one). With a linkPath, a symbolic link
    // there points at the serial end; an existing link is re-pointed, anything else is refused.
    bool start(const QString &linkPath = {});
    // A new line after stop() or hangUp(), at the same link path.
    bool restart();
    // Closes the line and removes the link.
    void stop();
    // Closes the board's end at once: the panel's port sees the line drop. The link goes too
    // (its device is gone, and the number may soon serve another terminal) until restart().
    void hangUp();

    [[nodiscard]] bool isRunning() const { return m_masterFd >= 0; }
    // What the panel should open: the link when one was asked for, else the serial end.
    [[nodiscard]] QString devicePath() const;
    [[nodiscard]] QString serialPath() const { return m_serialPath; }
    [[nodiscard]] QString linkPath() const { return m_linkPath; }
    [[nodiscard]] QString errorString() const { return m_errorString; }

    // Paced (the default): answers leave at 19200 bit/s, 10 bits a byte. Unpaced: at once.
    void setPaced(bool paced) { m_paced = paced; }
    [[nodiscard]] bool isPaced() const { return m_paced; }
    void setPayloadStallMs(int ms) { m_stallTimer.setInterval(ms); }

    void injectFault(const FaultPlan &plan) { m_fault = plan; }
    void clearFault() { m_fault = {}; }
    [[nodiscard]] FaultPlan fault() const { return m_fault; }
    // Sends byteCount bytes of noise now, whatever the board is doing.
    void flood(int byteCount);

    [[nodiscard]] BoardModel &model() { return *m_model; }
    [[nodiscard]] const BoardModel &model() const { return *m_model; }
    void setModel(std::unique_ptr<BoardModel> model);

    // The wire log, oldest first; kept within kWireLogLimit by dropping the oldest entries.
    [[nodiscard]] const QList<WireEntry> &wireLog() const { return m_wireLog; }
    [[nodiscard]] QByteArray bytesFromPanel() const { return bytes(Direction::FromPanel); }
    [[nodiscard]] QByteArray bytesToPanel() const { return bytes(Direction::ToPanel); }
    void clear();

    // Runs the event loop until condition() holds or timeoutMs have passed; true when it held.
    bool waitFor(const std::function<bool()> &condition, int timeoutMs);

signals:
    void started(const QString &devicePath);
    void commandReceived(quint8 code);
    void byteIgnored(quint8 byte);
    // The whole answer to a command has been handed to the line.
    void answerSent(quint8 code, int bytes);
    // A new command ended an answer after `sent` of its `planned` bytes.
    void answerCut(quint8 code, int sent, int planned);
    void blockApplied(quint8 code);
    void payloadDropped(quint8 code, int received);
    void wireTraffic(const vantor::sim::WireEntry &entry);
    void lineHungUp();

private:
    enum class State { Commands, AckDelayed, AwaitingPayload };

    void closeLine();
    bool pointLink();
    void removeLink();
    void onReadable();
    void onWritable();
    void handleByte(quint8 byte);
    void handleCommand(quint8 code);
    void startAnswer(quint8 code, QByteArray bytes);
    void sendAck(quint8 code);
    void cutAnswer();
    void pump();
    void schedulePacing();
    void applyPayload();
    void onPayloadStalled();
    [[nodiscard]] qsizetype answerBytesDue() const;
    [[nodiscard]] FaultPlan takeFault(bool read);
    [[nodiscard]] QByteArray noise(int count);
    // false when the line would block.
    bool send(const char *data, qsizetype count, qsizetype &written);
    void record(Direction direction, const QByteArray &bytes);
    [[nodiscard]] QByteArray bytes(Direction direction) const;

    std::unique_ptr<BoardModel> m_model;
    int m_masterFd = -1;
    int m_serialFd = -1;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QString m_serialPath;
    QString m_linkPath;
    QString m_errorString;
    bool m_paced = true;
    FaultPlan m_fault;

    State m_state = State::Commands;
    QByteArray m_noise;
    QByteArray m_answer;
    qsizetype m_answerSent = 0;
    quint8 m_answerCode = 0;
    QElapsedTimer m_answerClock;
    QTimer m_paceTimer;
    QTimer m_ackTimer;
    quint8 m_delayedAckCode = 0;
    QByteArray m_payload;
    qsizetype m_payloadExpected = 0;
    quint8 m_payloadCode = 0;
    qsizetype m_hangUpAfter = -1;
    QTimer m_stallTimer;
    int m_ignoredInChunk = 0;
    quint8 m_firstIgnored = 0;

    QElapsedTimer m_clock;
    QElapsedTimer m_modelClock;
    QList<WireEntry> m_wireLog;
    qsizetype m_wireLogBytes = 0;
    QRandomGenerator m_random { 0x5eedu };
};

} // namespace vantor::sim

Q_DECLARE_METATYPE(vantor::sim::WireEntry)
