// SPDX-License-Identifier: MIT
#include "session.h"

#include "logging.h"

#include <codec/plausibility.h>
#include <codec/storecodec.h>
#include <codec/systemblock.h>
#include <protocol/timer.h>
#include <protocol/transactionengine.h>
#include <serial/seriallink.h>

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace vantor::session {

using codec::Setting;
using protocol::RequestKind;

namespace {

// A refusal as the engine passes it on: the operator's words only.
std::optional<QString> message(const std::optional<codec::Refusal> &refusal)
{
    if (!refusal)
        return std::nullopt;
    return refusal->message;
}

// Why an answer is not to be trusted; empty when it may be the board's.
QString answerProblem(codec::Snapshot snapshot, std::size_t size)
{
    if (size > protocol::kSnapshotSize)
        return QStringLiteral("%1 bytes where an answer has %2")
            .arg(size)
            .arg(protocol::kSnapshotSize);
    if (const auto found = codec::checkPlausible(snapshot))
        return codec::implausibilityText(*found);
    return {};
}

} // namespace

Session::Session(serial::SerialLink &link, serial::PortMap map, codec::SettingsStore &store,
                 protocol::Timer *refreshTimer, protocol::Timer *timeoutTimer, QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_portControl(link, std::move(map))
    , m_store(store)
    , m_refreshTimer(refreshTimer)
    , m_timeoutTimer(timeoutTimer)
    , m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    qRegisterMetaType<DecodedAnswer>();
    if (!m_refreshTimer) {
        m_ownRefreshTimer = std::make_unique<protocol::QtTimer>();
        m_refreshTimer = m_ownRefreshTimer.get();
    }
    if (!m_timeoutTimer) {
        m_ownTimeoutTimer = std::make_unique<protocol::QtTimer>();
        m_timeoutTimer = m_ownTimeoutTimer.get();
    }
    m_refreshTimer->setInterval(kRefreshIntervalMs);

    protocol::Hooks hooks;
    hooks.buildSystemBlock = [this](protocol::SystemBlock &block) {
        return message(codec::buildSystemBlock(m_store, m_engine->portGroup(), block));
    };
    hooks.buildPortBlock = [this](protocol::PortBlock &block) {
        return message(codec::buildPortBlock(m_store, m_engine->portGroup(), block));
    };
    hooks.decodeAnswer = [this](std::uint8_t code, std::span<const std::uint8_t> block) {
        onAnswer(code, block);
    };
    hooks.portGroup = [this] {
        return m_portGroupSource ? m_portGroupSource() : m_engine->portGroup();
    };
    m_engine
        = std::make_unique<protocol::TransactionEngine>(link, *m_timeoutTimer, std::move(hooks));

    using protocol::TransactionEngine;
    connect(m_refreshTimer, &protocol::Timer::timeout, this, &Session::onRefreshTick);
    connect(m_engine.get(), &TransactionEngine::requestLaunched, this,
            [this](RequestKind kind, std::uint8_t code) {
                if (kind == RequestKind::SystemWrite)
                    m_saveAwaitsSystemWrite = false;
                emit requestLaunched(kind, code);
            });
    connect(m_engine.get(), &TransactionEngine::requestRefused, this,
            [this](RequestKind kind, const QString &reason) {
                // Before the next pending request starts: a save's port write goes with it.
                if (kind == RequestKind::SystemWrite && m_saveAwaitsSystemWrite) {
                    m_saveAwaitsSystemWrite = false;
                    m_engine->clearPending(RequestKind::PortWrite);
                }
                emit requestRefused(kind, reason);
            });
    connect(m_engine.get(), &TransactionEngine::requestCompleted, this, &Session::requestCompleted);
    connect(m_engine.get(), &TransactionEngine::requestTimedOut, this, &Session::requestTimedOut);
    connect(m_engine.get(), &TransactionEngine::requestFailed, this, &Session::requestFailed);

    m_open = m_link.isOpen();
    connect(&m_link, &serial::SerialLink::openChanged, this, &Session::onOpenChanged);
    connect(&m_link, &serial::SerialLink::portFailed, this, &Session::onPortFailed);
}

Session::~Session() = default;

void Session::setPortGroupSource(std::function<int()> source)
{
    m_portGroupSource = std::move(source);
}

void Session::usePortGroup(int group)
{
    m_portGroupSource = [group] {
        return group;
    };
    m_engine->capturePortGroup();
}

int Session::portGroup() const
{
    return m_engine->portGroup();
}

void Session::start(StartMode mode)
{
    m_portControl.setCommPortNumber(1);
    openPort();

    // Every element, so that every group starts alike.
    for (int e = 0; e < codec::kElementCount; ++e) {
        m_store.setValue(Setting::PORT_SYS_MGMNT_3, e, 0);
        m_store.setValue(Setting::PORT_LED_DRV, e, 0);
    }
    m_store.setValue(Setting::NOISE_MST_EN_1, 0, 0);
    m_store.setValue(Setting::SYS_PORT_CNT, 0, codec::settingRow(Setting::SYS_PORT_CNT).minimum);
    m_portCount = protocol::kPortsPerGroup;
    m_engine->setTransactionBusy(false);
    m_engine->clearPendingFlags();
    m_engine->capturePortGroup();
    setAutoRefresh(true);

    if (mode == StartMode::KeepBoardSettings) {
        m_portCountFromRead = true;
        m_engine->requestWholeRead();
        return;
    }

    // The whole read is abandoned at once: the system write replaces it on the wire, and the
    // first byte that comes back is taken as that write's acknowledgement.
    m_engine->requestWholeRead();
    m_store.setValue(Setting::COMMON_CTRL_1, 0, 1);
    m_engine->setTransactionBusy(false);
    m_engine->requestSystemWrite();

    const int ports = std::min(m_portCount, codec::kElementCount);
    for (int e = 0; e < ports; ++e) {
        m_store.setValue(Setting::PORT_SYS_MGMNT_2, e, 1);
        m_store.setValue(Setting::PORT_MODE_BYPS_3, e, 0);
        m_store.setValue(Setting::PORT_MODE_BYPS_6, e, 1);
    }
    setAutoRefresh(true);
    m_engine->requestPortWrite();
}

void Session::loadFromDevice()
{
    m_engine->requestWholeRead();
}

bool Session::saveToDevice()
{
    // Both blocks are tried before anything is asked for, so a refusal leaves all as it was.
    const codec::SystemReading system = codec::readSystemConfiguration(m_store);
    std::optional<codec::Refusal> refusal = system.refusal;
    RequestKind refused = RequestKind::SystemWrite;
    if (!refusal)
        refusal = codec::encodeSystemBlock(system.config).refusal;
    if (!refusal) {
        refusal = codec::readPortGroup(m_store, m_engine->portGroup()).refusal;
        refused = RequestKind::PortWrite;
    }
    if (refusal) {
        qCInfo(lcSession).noquote() << "save refused:" << refusal->message;
        emit requestRefused(refused, refusal->message);
        return false;
    }

    m_portCount = system.config[Setting::SYS_PORT_CNT];
    const bool directWrite = m_store.value(Setting::COMMON_CTRL_5).value == 1;
    const int lists = std::min(m_portCount, codec::kElementCount);
    for (int e = 0; e < lists; ++e)
        m_store.setEnabled(Setting::PORT_LED_DRV, e, directWrite);

    m_saveAwaitsSystemWrite = true;
    m_engine->requestSystemWrite();
    m_engine->requestPortWrite();
    m_store.setValue(Setting::COMMON_CTRL_7, 0, 0);
    return true;
}

void Session::sendPortControl()
{
    m_engine->requestPortWrite();
}

void Session::refresh()
{
    m_engine->requestPortRefresh();
}

void Session::setAutoRefresh(bool on)
{
    if (on == m_autoRefresh)
        return;
    m_autoRefresh = on;
    if (on)
        m_refreshTimer->start();
    else
        m_refreshTimer->stop();
    emit autoRefreshChanged(on);
}

void Session::resetTransactions()
{
    setAutoRefresh(false);
    m_refreshTimer->stop();
    m_timeoutTimer->stop();
    m_engine->setTransactionBusy(false);
    m_engine->clearPendingFlags();
    m_saveAwaitsSystemWrite = false;
    m_engine->requestWholeRead();
}

void Session::readGroup(int group)
{
    usePortGroup(group);
    m_engine->requestWholeRead();
}

bool Session::groupAllowed(int group) const
{
    return group >= 0 && group <= m_portCount / double(protocol::kPortsPerGroup) - 1.0;
}

int Session::highestAllowedGroup() const
{
    const double limit = m_portCount / double(protocol::kPortsPerGroup) - 1.0;
    return std::clamp(static_cast<int>(std::floor(limit)), 0, protocol::kGroupCount - 1);
}

bool Session::openPort()
{
    return m_portControl.openPort();
}

bool Session::choosePort(int commPortNumber)
{
    return m_portControl.choosePort(commPortNumber);
}

bool Session::resetPort()
{
    return m_portControl.resetPort();
}

bool Session::isOpen() const
{
    return m_link.isOpen();
}

void Session::onAnswer(std::uint8_t code, std::span<const std::uint8_t> block)
{
    const std::optional<codec::Snapshot> snapshot = codec::asSnapshot(block);
    const std::optional<codec::DecodedSnapshot> decoded = codec::decodeSnapshot(block);
    if (!snapshot || !decoded) {
        emit notice(QStringLiteral("The board answered %1 bytes instead of %2; nothing was shown")
                        .arg(block.size())
                        .arg(protocol::kSnapshotSize));
        return;
    }
    // Kept for the group captured when the last transaction ended, where the window shows it.
    const int group = m_engine->portGroup();
    if (protocol::kindOfCode(code) == RequestKind::WholeRead) {
        if (std::exchange(m_portCountFromRead, false))
            takePortCount(*snapshot);
        codec::readBack(m_store, *snapshot, group, m_portCount);
    } else
        codec::readRefresh(m_store, *snapshot, group);

    DecodedAnswer answer;
    answer.code = code;
    answer.group = code & (protocol::kGroupCount - 1);
    answer.receivedUtcMs = m_clock();
    answer.raw = QByteArray(reinterpret_cast<const char *>(block.data()),
                            static_cast<qsizetype>(block.size()));
    answer.snapshot = *decoded;
    answer.problem = answerProblem(*snapshot, block.size());
    if (!answer.problem.isEmpty())
        qCWarning(lcSession, "implausible answer to 0x%02x: %s", code, qPrintable(answer.problem));
    emit answerDecoded(answer);
}

void Session::onRefreshTick()
{
    // While the port is closed a tick would only fail: the timer runs on, asking for nothing,
    // and the first tick after the port is back asks again.
    if (m_link.isOpen())
        m_engine->requestPortRefresh();
}

void Session::takePortCount(codec::Snapshot snapshot)
{
    const int count = codec::decodeSystemConfiguration(snapshot)[Setting::SYS_PORT_CNT];
    const codec::SettingRow &row = codec::settingRow(Setting::SYS_PORT_CNT);
    if (count < row.minimum || count > row.maximum || count % row.step != 0) {
        emit notice(QStringLiteral("The board reports %1 ports, which the panel does not offer; "
                                   "it keeps %2")
                        .arg(count)
                        .arg(m_portCount));
        return;
    }
    m_portCount = count;
}

void Session::abandonTransaction(const QString &reason)
{
    if (!m_engine->transactionBusy())
        return;
    // Its answer cannot come on a closed port. Refreshes come again with the timer; anything
    // else is reported, and what was waiting behind it fails as it is launched.
    m_engine->clearPending(RequestKind::PortRefresh);
    const std::optional<RequestKind> kind = protocol::kindOfCode(m_engine->commandCode());
    if (kind && *kind != RequestKind::PortRefresh)
        emit requestFailed(*kind, reason);
    m_engine->endTransaction();
}

void Session::onOpenChanged(bool open)
{
    const bool wasOpen = std::exchange(m_open, open);
    if (open == wasOpen)
        return;
    if (!open) {
        emit linkClosed();
        return;
    }
    if (std::exchange(m_lost, false))
        emit linkReopened(m_link.portName());
    else
        emit linkOpened(m_link.portName());
}

void Session::onPortFailed(const QString &reason)
{
    if (m_open) {
        m_lost = true;
        emit linkLost(reason);
        abandonTransaction(reason);
    } else {
        emit linkOpenFailed(m_link.portName(), reason);
    }
}

} // namespace vantor::session
