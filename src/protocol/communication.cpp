#include "communication.h"

#include "logging.h"
#include "timer.h"

#include <serial/seriallink.h>

namespace vantor::protocol {

namespace {
constexpr RequestKind kPriority[] = { RequestKind::WholeRead, RequestKind::SystemWrite,
                                      RequestKind::PortWrite, RequestKind::PortRefresh };

bool isRead(RequestKind kind)
{
    return kind == RequestKind::WholeRead || kind == RequestKind::PortRefresh;
}
} // namespace

Communication::Communication(serial::SerialLink &link, Timer &timer1, Timer &timer2, Hooks hooks,
                             QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_timer1(timer1)
    , m_timer2(timer2)
    , m_hooks(std::move(hooks))
{
    m_timer1.setInterval(kRefreshIntervalMs);
    m_timer2.setInterval(kAnswerTimeoutMs);
    connect(&m_link, &serial::SerialLink::commEvent, this, &Communication::onCommEvent);
    connect(&m_timer1, &Timer::timeout, this, &Communication::requestPortRefresh);
    connect(&m_timer2, &Timer::timeout, this, &Communication::onTimeout);
}

void Communication::requestWholeRead()
{
    request(RequestKind::WholeRead);
}

void Communication::requestSystemWrite()
{
    request(RequestKind::SystemWrite);
}

void Communication::requestPortWrite()
{
    request(RequestKind::PortWrite);
}

void Communication::requestPortRefresh()
{
    request(RequestKind::PortRefresh);
}

void Communication::request(RequestKind kind)
{
    if (m_busy) {
        pendingFlag(kind) = true;
        return;
    }
    launch(kind);
}

bool Communication::isPending(RequestKind kind) const
{
    return const_cast<Communication *>(this)->pendingFlag(kind);
}

bool &Communication::pendingFlag(RequestKind kind)
{
    switch (kind) {
    case RequestKind::WholeRead:
        return m_pendingWholeRead;
    case RequestKind::SystemWrite:
        return m_pendingSystemWrite;
    case RequestKind::PortWrite:
        return m_pendingPortWrite;
    case RequestKind::PortRefresh:
        break;
    }
    return m_pendingPortRefresh;
}

void Communication::launch(RequestKind kind)
{
    m_busy = true;
    pendingFlag(kind) = false;
    m_kindInFlight = kind;

    // Blocks are built from the window at launch, never earlier; a refused build sends nothing.
    std::optional<QString> refusal;
    if (kind == RequestKind::SystemWrite && m_hooks.buildSystemBlock) {
        SystemBlock candidate = m_systemBlock;
        refusal = m_hooks.buildSystemBlock(candidate);
        if (!refusal) {
            std::fill(candidate.begin() + kSystemBlockUsed, candidate.end(), 0);
            m_systemBlock = candidate;
        }
    } else if (kind == RequestKind::PortWrite && m_hooks.buildPortBlock) {
        PortBlock candidate = m_portBlock;
        refusal = m_hooks.buildPortBlock(candidate);
        if (!refusal) {
            std::fill(candidate.begin() + kPortBlockUsed, candidate.end(), 0);
            m_portBlock = candidate;
        }
    }
    if (refusal) {
        qCInfo(lcProtocol) << "nothing sent for the" << kindName(kind) << "-" << *refusal;
        m_busy = false;
        m_stage = Stage::Idle;
        emit requestRefused(kind, *refusal);
        launchFirstPending();
        return;
    }

    m_link.discardOutput();
    m_link.discardInput();
    m_link.setReceiveThreshold(receiveThreshold(kind));
    m_link.setSendThreshold(0);
    m_commandBlock = protocol::commandCode(kind, m_selectedTab);
    m_stage = isRead(kind) ? Stage::AwaitingAnswer : Stage::AwaitingAck;
    qCDebug(lcProtocol, "launch %s, code 0x%02x", kindName(kind), m_commandBlock);
    emit requestLaunched(kind, m_commandBlock);
    if (!m_link.write(QByteArray(1, static_cast<char>(m_commandBlock)))) {
        const QString reason = m_link.errorString();
        emit requestFailed(kind, reason);
        endTransaction();
        return;
    }
    m_timer2.start();
}

void Communication::launchFirstPending()
{
    for (RequestKind kind : kPriority) {
        if (pendingFlag(kind)) {
            launch(kind);
            return;
        }
    }
}

void Communication::handleAnswer()
{
    const QByteArray answer = m_link.read();
    if (!m_busy) {
        // Nothing is in flight: these bytes answer no request.
        qCDebug(lcProtocol) << "dropped" << answer.size() << "bytes that arrived while idle";
        return;
    }
    const auto kind = kindOfCode(m_commandBlock);
    if (!kind)
        return;

    switch (*kind) {
    case RequestKind::WholeRead:
    case RequestKind::PortRefresh: {
        if (m_stage != Stage::AwaitingAnswer
            || answer.size() < static_cast<qsizetype>(kSnapshotSize)) {
            // Not a whole snapshot: decode nothing and leave the stage to its time-out.
            qCDebug(lcProtocol) << "ignored a partial answer of" << answer.size() << "bytes";
            return;
        }
        if (m_hooks.decodeAnswer) {
            const auto *bytes = reinterpret_cast<const std::uint8_t *>(answer.constData());
            m_hooks.decodeAnswer(m_commandBlock,
                                 std::span(bytes, static_cast<std::size_t>(answer.size())));
        }
        emit requestCompleted(*kind);
        endTransaction();
        return;
    }
    case RequestKind::SystemWrite:
    case RequestKind::PortWrite: {
        if (m_stage != Stage::AwaitingAck)
            return;
        // Any single byte acknowledges; the block gets a full time-out of its own.
        m_timer2.stop();
        m_link.discardOutput();
        m_link.discardInput();
        m_link.setReceiveThreshold(0);
        m_link.setSendThreshold(1);
        m_stage = Stage::SendingBlock;
        const bool written = *kind == RequestKind::SystemWrite
            ? m_link.write(QByteArray(reinterpret_cast<const char *>(m_systemBlock.data()),
                                      static_cast<qsizetype>(m_systemBlock.size())))
            : m_link.write(QByteArray(reinterpret_cast<const char *>(m_portBlock.data()),
                                      static_cast<qsizetype>(m_portBlock.size())));
        if (!written) {
            emit requestFailed(*kind, m_link.errorString());
            endTransaction();
            return;
        }
        m_timer2.start();
        return;
    }
    }
}

void Communication::endTransaction()
{
    m_timer2.stop();
    m_link.discardOutput();
    m_link.discardInput();
    m_busy = false;
    m_stage = Stage::Idle;
    launchFirstPending();
    // After the launch: a request launched here still carries the previous tab in its code.
    captureSelectedTab();
}

void Communication::setTransactionBusy(bool busy)
{
    m_busy = busy;
    if (!busy)
        m_stage = Stage::Idle;
}

void Communication::clearPendingFlags()
{
    m_pendingWholeRead = false;
    m_pendingSystemWrite = false;
    m_pendingPortWrite = false;
    m_pendingPortRefresh = false;
}

void Communication::captureSelectedTab()
{
    if (!m_hooks.selectedTab)
        return;
    const int tab = m_hooks.selectedTab();
    if (tab >= 0 && tab < kGroupCount)
        m_selectedTab = tab;
}

void Communication::onCommEvent(serial::CommEvent event)
{
    switch (event) {
    case serial::CommEvent::ReceiveThreshold:
        handleAnswer();
        break;
    case serial::CommEvent::SendThreshold:
        onSendComplete();
        break;
    case serial::CommEvent::HardwareOverrun:
        if (m_busy) {
            qCInfo(lcProtocol) << "overrun: the" << kindName(m_kindInFlight) << "was abandoned";
            endTransaction();
        }
        break;
    default:
        break;
    }
}

void Communication::onSendComplete()
{
    if (!m_busy || m_stage != Stage::SendingBlock)
        return;
    emit requestCompleted(m_kindInFlight);
    endTransaction();
}

void Communication::onTimeout()
{
    if (!m_busy) {
        m_timer2.stop();
        return;
    }
    qCInfo(lcProtocol) << "no answer to the" << kindName(m_kindInFlight) << "within"
                       << kAnswerTimeoutMs << "ms";
    emit requestTimedOut(m_kindInFlight);
    endTransaction();
}

} // namespace vantor::protocol
