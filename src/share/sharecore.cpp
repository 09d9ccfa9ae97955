// SPDX-License-Identifier: MIT
#include "sharecore.h"

#include "logging.h"

#include <protocol/timer.h>
#include <serial/commevent.h>
#include <serial/seriallink.h>

#include <algorithm>

namespace vantor::share {

namespace {

using protocol::RequestKind;

// The share's own read when the board opens or stops answering: group 0's whole read.
constexpr std::uint8_t kProbeCode = protocol::kWholeReadBase;
constexpr std::uint8_t kGroupBits = 0x07;

bool isRead(std::uint8_t code)
{
    const auto kind = protocol::kindOfCode(code);
    return kind == RequestKind::WholeRead || kind == RequestKind::PortRefresh;
}

qsizetype blockSize(std::uint8_t code)
{
    return static_cast<qsizetype>(code == protocol::kSystemWriteCode ? protocol::kSystemBlockSize
                                                                     : protocol::kPortBlockSize);
}

std::size_t kindIndex(std::uint8_t code)
{
    return static_cast<std::size_t>(*protocol::kindOfCode(code));
}

QString hexCode(std::uint8_t code)
{
    return QStringLiteral("0x%1").arg(code, 2, 16, QLatin1Char('0'));
}

const char *refusalText(Refusal why)
{
    switch (why) {
    case Refusal::ReadOnly:
        return "the listener is read-only";
    case Refusal::BoardDown:
        return "the board is down";
    case Refusal::QueueFull:
        break;
    }
    return "the client has too many writes waiting";
}

} // namespace

bool isCommand(std::uint8_t code)
{
    // 24 alone is the system write: 25..31 share its upper bits but are no command.
    const auto kind = protocol::kindOfCode(code);
    return kind && (kind != RequestKind::SystemWrite || code == protocol::kSystemWriteCode);
}

ShareCore::ShareCore(serial::SerialLink &board, ClientSink &clients, TimerFactory timers,
                     Clock clock, QObject *parent)
    : QObject(parent)
    , m_board(board)
    , m_sink(clients)
    , m_timers(std::move(timers))
    , m_clock(std::move(clock))
    , m_stageTimer(m_timers())
{
    m_stageTimer->setInterval(kStageTimeoutMs);
    connect(m_stageTimer.get(), &protocol::Timer::timeout, this, &ShareCore::onStageTimeout);
    connect(&m_board, &serial::SerialLink::commEvent, this, &ShareCore::onCommEvent);
    connect(&m_board, &serial::SerialLink::portFailed, this,
            [this](const QString &reason) { m_lostReason = reason; });
    connect(&m_board, &serial::SerialLink::openChanged, this, &ShareCore::onOpenChanged);
    if (m_board.isOpen())
        onOpenChanged(true);
}

ShareCore::~ShareCore() = default;

void ShareCore::addClient(ClientId id, const QString &address, bool readOnly)
{
    Client &client = m_clients[id];
    client.address = address;
    client.readOnly = readOnly;
    m_stats.clients = static_cast<int>(m_clients.size());
    qCInfo(lcShare).noquote() << "client" << address << (readOnly ? "came, read-only" : "came");
}

void ShareCore::removeClient(ClientId id)
{
    const auto it = m_clients.find(id);
    if (it == m_clients.end())
        return;
    Client &client = it->second;
    tellNotes(client, true);
    if (client.blockSize > 0) {
        ++m_stats.abandonedWrites;
        qCInfo(lcShare).noquote() << "client" << client.address << "left during the block of its"
                                  << hexCode(client.writeCode) << "write: nothing sent for it";
    }
    cancelWaitingRead(id);
    // Its writes taken whole still run, as they would on a board of its own.
    for (Request &request : m_queue)
        std::erase(request.clients, id);
    if (m_inFlight)
        std::erase(m_inFlight->clients, id);
    qCInfo(lcShare).noquote() << "client" << client.address << "went";
    m_clients.erase(it);
    m_stats.clients = static_cast<int>(m_clients.size());
}

void ShareCore::clientBytes(ClientId id, QByteArrayView bytes)
{
    const auto it = m_clients.find(id);
    if (it == m_clients.end())
        return;
    Client &client = it->second;
    while (!bytes.isEmpty()) {
        if (client.blockSize > 0) {
            takeBlockBytes(id, client, bytes);
            continue;
        }
        const auto code = static_cast<std::uint8_t>(bytes.front());
        bytes = bytes.sliced(1);
        handleCommand(id, client, code);
    }
    tellNotes(client, false);
    launchNext();
}

void ShareCore::handleCommand(ClientId id, Client &client, std::uint8_t code)
{
    if (!isCommand(code)) {
        if (client.unknownUntold++ == 0)
            client.firstUnknown = code;
        ++m_stats.unknownBytes;
        return;
    }
    // Whatever it asked before and has not had answered is over: the board would do the same.
    cancelWaitingRead(id);
    if (isRead(code)) {
        queueRead(id, code);
        return;
    }
    if (client.readOnly) {
        refuseWrite(client, code, Refusal::ReadOnly);
        return;
    }
    if (m_state != BoardState::Up) {
        refuseWrite(client, code, Refusal::BoardDown);
        return;
    }
    if (client.queuedWrites >= kMaxQueuedWritesPerClient) {
        refuseWrite(client, code, Refusal::QueueFull);
        return;
    }
    client.writeCode = code;
    client.blockSize = blockSize(code);
    client.block.clear();
    if (!client.blockTimer) {
        client.blockTimer = m_timers();
        client.blockTimer->setInterval(kBlockTimeoutMs);
        connect(client.blockTimer.get(), &protocol::Timer::timeout, this,
                [this, id] { onBlockTimeout(id); });
    }
    client.blockTimer->start();
    m_sink.sendToClient(id, QByteArray(1, m_ack));
}

void ShareCore::takeBlockBytes(ClientId id, Client &client, QByteArrayView &bytes)
{
    const qsizetype wanted = client.blockSize - client.block.size();
    const qsizetype taken = std::min(wanted, bytes.size());
    client.block.append(bytes.first(taken));
    bytes = bytes.sliced(taken);
    if (client.block.size() < client.blockSize)
        return;
    client.blockTimer->stop();
    client.blockSize = 0;
    if (m_state == BoardState::Closed) {
        ++m_stats.droppedWrites;
        qCInfo(lcShare).noquote() << "write" << hexCode(client.writeCode) << "of client"
                                  << client.address << "dropped: the board was lost";
        return;
    }
    Request request;
    request.code = client.writeCode;
    request.block = std::exchange(client.block, {});
    request.clients = { id };
    request.queuedAtMs = m_clock();
    request.writer = client.address;
    m_queue.push_back(std::move(request));
    ++client.queuedWrites;
}

void ShareCore::onBlockTimeout(ClientId id)
{
    const auto it = m_clients.find(id);
    if (it == m_clients.end() || it->second.blockSize == 0)
        return;
    Client &client = it->second;
    ++m_stats.abandonedWrites;
    qCInfo(lcShare).noquote() << "client" << client.address << "sent" << client.block.size()
                              << "of the" << client.blockSize << "bytes of its"
                              << hexCode(client.writeCode) << "write in" << kBlockTimeoutMs
                              << "ms: nothing sent for it";
    client.blockSize = 0;
    client.block.clear();
}

void ShareCore::cancelWaitingRead(ClientId id)
{
    for (auto it = m_queue.begin(); it != m_queue.end();) {
        // A read nobody waits for any more is not run.
        if (isRead(it->code) && std::erase(it->clients, id) > 0 && it->clients.empty())
            it = m_queue.erase(it);
        else
            ++it;
    }
    // A read in flight cannot be called back; its answer just no longer goes to this client.
    if (m_inFlight && isRead(m_inFlight->code))
        std::erase(m_inFlight->clients, id);
}

bool ShareCore::writeAhead() const
{
    if (m_inFlight && !isRead(m_inFlight->code))
        return true;
    return std::any_of(m_queue.begin(), m_queue.end(),
                       [](const Request &r) { return !isRead(r.code); });
}

void ShareCore::queueRead(ClientId id, std::uint8_t code)
{
    if (m_state == BoardState::Closed)
        return; // silence, as from a board that is not there
    const int group = code & kGroupBits;
    const bool refresh = protocol::kindOfCode(code) == RequestKind::PortRefresh;
    if (refresh && m_state == BoardState::Up && !writeAhead()) {
        const auto it = m_snapshots.find(group);
        if (it != m_snapshots.end() && m_clock() - it->second.atMs < m_maxAgeMs) {
            ++m_stats.snapshotReads;
            m_sink.sendToClient(id, it->second.bytes);
            return;
        }
    }
    // Join an identical read, but never one queued before a write: that read would not see it.
    for (auto it = m_queue.rbegin(); it != m_queue.rend(); ++it) {
        if (!isRead(it->code))
            break;
        if (it->code == code) {
            it->clients.push_back(id);
            ++m_stats.joinedReads;
            return;
        }
    }
    Request request;
    request.code = code;
    request.clients = { id };
    request.queuedAtMs = m_clock();
    m_queue.push_back(std::move(request));
}

void ShareCore::refuseWrite(Client &client, std::uint8_t code, Refusal why)
{
    ++m_stats.refusedWrites[static_cast<std::size_t>(why)];
    const qint64 now = m_clock();
    // A read-only client may retry without end: the first is told, the rest counted.
    if (why == Refusal::ReadOnly
        && (client.refusedUntold > 0 || now - client.lastRefusalNoteMs < kNoteIntervalMs)) {
        ++client.refusedUntold;
        return;
    }
    client.lastRefusalNoteMs = now;
    qCInfo(lcShare).noquote() << "write" << hexCode(code) << "of client" << client.address
                              << "not passed on:" << refusalText(why);
}

void ShareCore::tellNotes(Client &client, bool now)
{
    const qint64 at = m_clock();
    if (client.unknownUntold > 0 && (now || at - client.lastUnknownNoteMs >= kNoteIntervalMs)) {
        qCInfo(lcShare).noquote() << "client" << client.address << "sent" << client.unknownUntold
                                  << "byte(s) that are no command, the"
                                  << "first" << hexCode(client.firstUnknown) << "- dropped";
        client.unknownUntold = 0;
        client.lastUnknownNoteMs = at;
    }
    if (client.refusedUntold > 0 && (now || at - client.lastRefusalNoteMs >= kNoteIntervalMs)) {
        qCInfo(lcShare).noquote() << "client" << client.address << "sent" << client.refusedUntold
                                  << "more write(s) on its read-only listener - not passed on";
        client.refusedUntold = 0;
        client.lastRefusalNoteMs = at;
    }
}

void ShareCore::launchNext()
{
    if (m_inFlight || m_state == BoardState::Closed)
        return;
    // Until the board answers, a whole read of the share's own keeps asking it.
    if (m_queue.empty() && m_state == BoardState::Probing) {
        Request probe;
        probe.code = kProbeCode;
        probe.queuedAtMs = m_clock();
        m_queue.push_back(std::move(probe));
    }
    if (m_queue.empty())
        return;
    Request request = std::move(m_queue.front());
    m_queue.pop_front();
    launch(std::move(request));
}

void ShareCore::launch(Request request)
{
    const std::uint8_t code = request.code;
    const bool read = isRead(code);
    if (!request.clients.empty() || !read)
        m_stats.observeQueueWait(double(m_clock() - request.queuedAtMs) / 1000.0);
    if (!read) {
        for (ClientId id : request.clients) {
            if (const auto it = m_clients.find(id); it != m_clients.end())
                --it->second.queuedWrites;
        }
        // The board's settings change: no snapshot from before stands for it any more.
        m_snapshots.clear();
    }
    ++m_stats.transactions[kindIndex(code)];
    m_inFlight = std::move(request);
    m_board.discardOutput();
    m_board.discardInput();
    m_board.setReceiveThreshold(read ? static_cast<int>(protocol::kSnapshotSize) : 1);
    m_board.setSendThreshold(0);
    m_stage = read ? Stage::AwaitingAnswer : Stage::AwaitingAck;
    qCDebug(lcShare, "launch 0x%02x", code);
    if (!m_board.write(QByteArray(1, static_cast<char>(code)))) {
        // The link is gone; its loss, reported next, empties the queue.
        endTransaction();
        return;
    }
    m_stageTimer->start();
}

void ShareCore::onCommEvent(serial::CommEvent event)
{
    switch (event) {
    case serial::CommEvent::ReceiveThreshold:
        if (m_stage == Stage::AwaitingAnswer)
            onAnswer();
        else if (m_stage == Stage::AwaitingAck)
            onAck();
        else
            m_board.read();
        break;
    case serial::CommEvent::SendThreshold:
        if (m_stage == Stage::SendingBlock) {
            endTransaction();
            launchNext();
        }
        break;
    case serial::CommEvent::HardwareOverrun:
        if (m_inFlight) {
            endTransaction();
            launchNext();
        }
        break;
    default:
        break;
    }
}

void ShareCore::onAnswer()
{
    const QByteArray answer = m_board.read();
    if (answer.size() < static_cast<qsizetype>(protocol::kSnapshotSize))
        return; // not whole: the stage's time-out ends it
    const std::uint8_t code = m_inFlight->code;
    if (m_answerCheck) {
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(answer.constData());
        if (const std::optional<QString> reason
            = m_answerCheck(code, std::span(bytes, static_cast<std::size_t>(answer.size())))) {
            ++m_stats.implausibleAnswers;
            qCInfo(lcShare).noquote() << "the answer to" << hexCode(code)
                                      << "fails its checks:" << *reason << "- passed on";
        }
    }
    m_snapshots[code & kGroupBits] = { answer, m_clock() };
    const std::vector<ClientId> waiting = m_inFlight->clients;
    setState(BoardState::Up);
    endTransaction();
    for (ClientId id : waiting)
        m_sink.sendToClient(id, answer);
    launchNext();
}

void ShareCore::onAck()
{
    const QByteArray ack = m_board.read();
    if (ack.isEmpty())
        return;
    m_ack = ack.front();
    m_stageTimer->stop();
    m_board.discardOutput();
    m_board.discardInput();
    m_board.setReceiveThreshold(0);
    m_board.setSendThreshold(1);
    m_stage = Stage::SendingBlock;
    if (!m_board.write(m_inFlight->block))
        endTransaction();
    else
        m_stageTimer->start();
}

void ShareCore::onStageTimeout()
{
    if (!m_inFlight)
        return;
    const std::uint8_t code = m_inFlight->code;
    ++m_stats.timeouts[kindIndex(code)];
    if (m_stage == Stage::AwaitingAck) {
        ++m_stats.unacknowledgedWrites;
        qCInfo(lcShare).noquote() << "the board did not acknowledge the" << hexCode(code)
                                  << "write of client" << m_inFlight->writer;
    } else if (m_stage == Stage::SendingBlock) {
        qCInfo(lcShare).noquote() << "the block of the" << hexCode(code) << "write of client"
                                  << m_inFlight->writer << "did not leave in time";
    }
    if (m_state == BoardState::Up) {
        qCInfo(lcShare).noquote() << "the board is not answering";
        setState(BoardState::Probing);
    }
    endTransaction();
    launchNext();
}

void ShareCore::endTransaction()
{
    m_stageTimer->stop();
    m_board.discardOutput();
    m_board.discardInput();
    m_stage = Stage::Idle;
    // The next launch is the caller's, once it has handed out what it holds.
    m_inFlight.reset();
}

void ShareCore::onOpenChanged(bool open)
{
    if (open) {
        if (m_state != BoardState::Closed)
            return;
        qCInfo(lcShare).noquote() << "board" << m_board.portName() << "open: a whole read first";
        setState(BoardState::Probing);
        launchNext();
        return;
    }
    if (m_state != BoardState::Closed)
        onBoardLost(m_lostReason);
}

void ShareCore::onBoardLost(const QString &reason)
{
    const auto writes = std::count_if(m_queue.begin(), m_queue.end(),
                                      [](const Request &r) { return !isRead(r.code); });
    m_stats.droppedWrites += static_cast<quint64>(writes);
    // No reason: the share closed it itself, on its way out.
    qCInfo(lcShare).noquote() << (reason.isEmpty() ? QStringLiteral("board closed")
                                                   : QStringLiteral("board lost: ") + reason)
                              << QStringLiteral("(%1 request(s) dropped, %2 of them writes)")
                                     .arg(m_queue.size() + (m_inFlight ? 1 : 0))
                                     .arg(writes);
    m_queue.clear();
    for (auto &[id, client] : m_clients)
        client.queuedWrites = 0;
    m_stageTimer->stop();
    m_inFlight.reset();
    m_stage = Stage::Idle;
    m_snapshots.clear();
    m_lostReason.clear();
    setState(BoardState::Closed);
}

void ShareCore::setState(BoardState state)
{
    if (m_state == state)
        return;
    const bool wasUp = m_state == BoardState::Up;
    m_state = state;
    m_stats.boardUp = state == BoardState::Up;
    if (state == BoardState::Up && !wasUp)
        qCInfo(lcShare).noquote() << "board" << m_board.portName() << "answering";
    emit boardStateChanged(state);
}

} // namespace vantor::share
