// SPDX-License-Identifier: MIT
#include "transactionengine.h"

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

TransactionEngine::TransactionEngine(serial::SerialLink &link, Timer &timeout, Hooks hooks,
                                     QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_timeout(timeout)
    , m_hooks(std::move(hooks))
{
    qRegisterMetaType<Outcome>();
    m_timeout.setInterval(kAnswerTimeoutMs);
    connect(&m_link, &serial::SerialLink::commEvent, this, &TransactionEngine::onCommEvent);
    connect(&m_timeout, &Timer::timeout, this, &TransactionEngine::onTimeout);
}

void TransactionEngine::requestWholeRead()
{
    request(RequestKind::WholeRead);
}

void TransactionEngine::requestSystemWrite()
{
    request(RequestKind::SystemWrite);
}

void TransactionEngine::requestPortWrite()
{
    request(RequestKind::PortWrite);
}

void TransactionEngine::requestPortRefresh()
{
    request(RequestKind::PortRefresh);
}

void TransactionEngine::request(RequestKind kind)
{
    if (transactionBusy()) {
        pendingFlag(kind) = true;
        return;
    }
    launch(kind);
}

bool TransactionEngine::requestForGroup(RequestKind kind, int group)
{
    if (transactionBusy() || group < 0 || group >= kGroupCount)
        return false;
    m_portGroup = group;
    m_groupBound = true;
    launch(kind);
    return true;
}

bool TransactionEngine::isPending(RequestKind kind) const
{
    return const_cast<TransactionEngine *>(this)->pendingFlag(kind);
}

bool &TransactionEngine::pendingFlag(RequestKind kind)
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

void TransactionEngine::launch(RequestKind kind)
{
    pendingFlag(kind) = false;
    m_kindInFlight = kind;

    // Blocks are built at launch, never earlier; a refused build sends nothing.
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
        m_groupBound = false;
        emit requestRefused(kind, *refusal);
        emit transactionEnded(kind, Outcome::Refused, *refusal);
        if (!transactionBusy())
            launchFirstPending();
        if (!transactionBusy())
            emit idle();
        return;
    }

    m_link.discardOutput();
    m_link.discardInput();
    m_link.setReceiveThreshold(receiveThreshold(kind));
    m_link.setSendThreshold(0);
    m_commandBlock = protocol::commandCode(kind, m_portGroup);
    m_state = isRead(kind) ? State::AwaitingAnswer : State::AwaitingAck;
    qCDebug(lcProtocol, "launch %s, code 0x%02x", kindName(kind), m_commandBlock);
    emit requestLaunched(kind, m_commandBlock);
    if (!m_link.write(QByteArray(1, static_cast<char>(m_commandBlock)))) {
        const QString reason = m_link.errorString();
        emit requestFailed(kind, reason);
        endTransaction(Outcome::Failed, reason);
        return;
    }
    m_timeout.start();
}

void TransactionEngine::launchFirstPending()
{
    for (RequestKind kind : kPriority) {
        if (pendingFlag(kind)) {
            launch(kind);
            return;
        }
    }
}

void TransactionEngine::handleAnswer()
{
    const QByteArray answer = m_link.read();
    if (!transactionBusy()) {
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
        if (m_state != State::AwaitingAnswer
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
        endTransaction(Outcome::Done);
        return;
    }
    case RequestKind::SystemWrite:
    case RequestKind::PortWrite: {
        if (m_state != State::AwaitingAck)
            return;
        // Any single byte acknowledges; the block gets a full time-out of its own.
        m_timeout.stop();
        m_link.discardOutput();
        m_link.discardInput();
        m_link.setReceiveThreshold(0);
        m_link.setSendThreshold(1);
        m_state = State::SendingBlock;
        emit acknowledged(*kind);
        const bool written = *kind == RequestKind::SystemWrite
            ? m_link.write(QByteArray(reinterpret_cast<const char *>(m_systemBlock.data()),
                                      static_cast<qsizetype>(m_systemBlock.size())))
            : m_link.write(QByteArray(reinterpret_cast<const char *>(m_portBlock.data()),
                                      static_cast<qsizetype>(m_portBlock.size())));
        if (!written) {
            const QString reason = m_link.errorString();
            emit requestFailed(*kind, reason);
            endTransaction(Outcome::Failed, reason);
            return;
        }
        m_timeout.start();
        return;
    }
    }
}

void TransactionEngine::endTransaction(Outcome outcome, const QString &reason)
{
    m_timeout.stop();
    m_link.discardOutput();
    m_link.discardInput();
    m_state = State::Idle;
    m_groupBound = false;
    emit transactionEnded(m_kindInFlight, outcome, reason);
    // Whoever heard the end may have launched a request of its own already.
    if (!transactionBusy())
        launchFirstPending();
    // After the launch: a request launched here still carries the previous group in its code.
    capturePortGroup();
    if (!transactionBusy())
        emit idle();
}

void TransactionEngine::dropInFlight()
{
    if (!transactionBusy())
        return;
    m_state = State::Idle;
    m_groupBound = false;
    emit transactionEnded(m_kindInFlight, Outcome::Cancelled, QStringLiteral("replaced"));
}

void TransactionEngine::reset()
{
    m_timeout.stop();
    m_pendingWholeRead = false;
    m_pendingSystemWrite = false;
    m_pendingPortWrite = false;
    m_pendingPortRefresh = false;
    dropInFlight();
}

void TransactionEngine::cancelPending(RequestKind kind)
{
    pendingFlag(kind) = false;
}

void TransactionEngine::abandon(const QString &reason)
{
    if (!transactionBusy())
        return;
    m_pendingPortRefresh = false;
    if (m_kindInFlight == RequestKind::PortRefresh) {
        endTransaction(Outcome::Cancelled, reason);
        return;
    }
    emit requestFailed(m_kindInFlight, reason);
    endTransaction(Outcome::Failed, reason);
}

void TransactionEngine::capturePortGroup()
{
    if (!m_hooks.portGroup || m_groupBound)
        return;
    const int group = m_hooks.portGroup();
    if (group >= 0 && group < kGroupCount)
        m_portGroup = group;
}

void TransactionEngine::onCommEvent(serial::CommEvent event)
{
    switch (event) {
    case serial::CommEvent::ReceiveThreshold:
        handleAnswer();
        break;
    case serial::CommEvent::SendThreshold:
        onSendComplete();
        break;
    case serial::CommEvent::HardwareOverrun:
        if (transactionBusy()) {
            qCInfo(lcProtocol) << "overrun: the" << kindName(m_kindInFlight) << "was abandoned";
            endTransaction(Outcome::Failed, QStringLiteral("characters were lost (overrun)"));
        }
        break;
    default:
        break;
    }
}

void TransactionEngine::onSendComplete()
{
    if (m_state != State::SendingBlock)
        return;
    emit requestCompleted(m_kindInFlight);
    endTransaction(Outcome::Done);
}

void TransactionEngine::onTimeout()
{
    if (!transactionBusy()) {
        m_timeout.stop();
        return;
    }
    qCInfo(lcProtocol) << "no answer to the" << kindName(m_kindInFlight) << "within"
                       << kAnswerTimeoutMs << "ms";
    emit requestTimedOut(m_kindInFlight);
    endTransaction(Outcome::TimedOut, QStringLiteral("no answer"));
}

} // namespace vantor::protocol
