// SPDX-License-Identifier: MIT
#include "session.h"

#include "logging.h"

#include <codec/plausibility.h>
#include <codec/storecodec.h>
#include <codec/systemblock.h>
#include <codec/tabletext.h>
#include <protocol/timer.h>
#include <protocol/transactionengine.h>
#include <serial/seriallink.h>

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace vantor::session {

using codec::Setting;
using protocol::Outcome;
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

Session::Session(serial::SerialLink &link, serial::PortMap map, codec::SettingsStore *store,
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
    qRegisterMetaType<RequestHandle>();
    qRegisterMetaType<BoardState>();
    m_ownStore = std::make_unique<codec::MemoryStore>();
    if (!m_store)
        m_store = m_ownStore.get();
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
        return message(codec::buildSystemBlock(*m_store, m_engine->portGroup(), block));
    };
    hooks.buildPortBlock = [this](protocol::PortBlock &block) {
        return message(codec::buildPortBlock(*m_store, m_engine->portGroup(), block));
    };
    hooks.decodeAnswer = [this](std::uint8_t code, std::span<const std::uint8_t> block) {
        onAnswer(code, block);
    };
    hooks.portGroup = [this] {
        const int group = operatorGroup();
        // A group not read yet is not refreshed: its read comes first.
        if (m_keepBoard && group >= 0 && group < protocol::kGroupCount && !m_known[group])
            return m_engine->portGroup();
        return group;
    };
    m_engine
        = std::make_unique<protocol::TransactionEngine>(link, *m_timeoutTimer, std::move(hooks));

    using protocol::TransactionEngine;
    connect(m_refreshTimer, &protocol::Timer::timeout, this, &Session::onRefreshTick);
    connect(m_engine.get(), &TransactionEngine::requestLaunched, this, &Session::onLaunched);
    connect(m_engine.get(), &TransactionEngine::transactionEnded, this, &Session::onEnded);
    connect(m_engine.get(), &TransactionEngine::acknowledged, this, [this] {
        for (const RequestHandle &r : std::as_const(m_inFlight))
            r->setAcknowledged();
    });
    connect(m_engine.get(), &TransactionEngine::idle, this, &Session::launchNextBound);
    connect(m_engine.get(), &TransactionEngine::requestRefused, this, &Session::requestRefused);
    connect(m_engine.get(), &TransactionEngine::requestCompleted, this, &Session::requestCompleted);
    connect(m_engine.get(), &TransactionEngine::requestTimedOut, this, &Session::requestTimedOut);
    connect(m_engine.get(), &TransactionEngine::requestFailed, this, &Session::requestFailed);

    m_open = m_link.isOpen();
    m_boardState = m_open ? BoardState::Open : BoardState::Closed;
    m_boardStateSince = m_clock();
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

void Session::attachStore(codec::SettingsStore &store)
{
    m_store = &store;
}

void Session::detachStore(const codec::SettingsStore &store)
{
    if (m_store == &store)
        m_store = m_ownStore.get();
}

void Session::start(StartMode mode)
{
    m_portControl.setCommPortNumber(1);
    openPort();

    codec::SettingsStore &store = *m_store;
    // Every element, so that every group starts alike.
    for (int e = 0; e < codec::kElementCount; ++e) {
        store.setValue(Setting::PORT_SYS_MGMNT_3, e, 0);
        store.setValue(Setting::PORT_LED_DRV, e, 0);
    }
    store.setValue(Setting::NOISE_MST_EN_1, 0, 0);
    store.setValue(Setting::SYS_PORT_CNT, 0, codec::settingRow(Setting::SYS_PORT_CNT).minimum);
    m_portCount = protocol::kPortsPerGroup;
    m_engine->reset();
    for (const RequestKind kind : { RequestKind::WholeRead, RequestKind::SystemWrite,
                                    RequestKind::PortWrite, RequestKind::PortRefresh })
        cancelWaiting(kind, Outcome::Cancelled, QStringLiteral("start-up"));
    m_keepBoard = mode == StartMode::KeepBoardSettings;
    m_known.fill(false);
    m_reading.fill(false);
    m_holdRefresh = m_keepBoard;
    m_engine->capturePortGroup();
    setAutoRefresh(true);

    if (m_keepBoard) {
        m_portCountFromRead = true;
        submit(RequestKind::WholeRead, std::nullopt)->whenFinished(this, [this](const Request &r) {
            if (r.ok())
                readStartGroups();
            else
                m_holdRefresh = false;
        });
        return;
    }

    // The whole read is dropped at once: the system write replaces it on the wire, and the
    // first byte that comes back is taken as that write's acknowledgement.
    submit(RequestKind::WholeRead, std::nullopt);
    store.setValue(Setting::COMMON_CTRL_1, 0, 1);
    m_engine->dropInFlight();
    submit(RequestKind::SystemWrite, std::nullopt);

    const int ports = std::min(m_portCount, codec::kElementCount);
    for (int e = 0; e < ports; ++e) {
        store.setValue(Setting::PORT_SYS_MGMNT_2, e, 1);
        store.setValue(Setting::PORT_MODE_BYPS_3, e, 0);
        store.setValue(Setting::PORT_MODE_BYPS_6, e, 1);
    }
    setAutoRefresh(true);
    submit(RequestKind::PortWrite, std::nullopt);
}

RequestHandle Session::loadFromDevice()
{
    // The shown group's own read, while the engine still refreshes the group before it.
    const int group = operatorGroup();
    if (m_keepBoard && groupAllowed(group) && !m_known[group])
        return readGroup(group);
    return submit(RequestKind::WholeRead, std::nullopt);
}

RequestHandle Session::saveToDevice()
{
    codec::SettingsStore &store = *m_store;
    // Both blocks are tried before anything is asked for, so a refusal leaves all as it was.
    const codec::SystemReading system = codec::readSystemConfiguration(store);
    std::optional<codec::Refusal> refusal = system.refusal;
    RequestKind refused = RequestKind::SystemWrite;
    if (!refusal)
        refusal = codec::encodeSystemBlock(system.config).refusal;
    if (!refusal) {
        refused = RequestKind::PortWrite;
        refusal = unknownGroupRefusal(operatorGroup());
    }
    if (!refusal)
        refusal = codec::readPortGroup(store, m_engine->portGroup()).refusal;
    auto systemStep = std::make_shared<Request>(RequestKind::SystemWrite, std::nullopt);
    auto portStep = std::make_shared<Request>(RequestKind::PortWrite, std::nullopt);
    auto save = std::make_shared<Request>(QList { systemStep, portStep }, Request::Steps::Parallel);
    emit operationAsked(Operation::SaveToDevice, save);
    if (refusal) {
        qCInfo(lcSession).noquote() << "save refused:" << refusal->message;
        emit requestRefused(refused, refusal->message);
        const RequestHandle &step = refused == RequestKind::SystemWrite ? systemStep : portStep;
        finishRequest(step, Outcome::Refused, refusal->message);
        finishRequest(step == systemStep ? portStep : systemStep, Outcome::Cancelled,
                      refusal->message);
        finishRequest(save, Outcome::Refused, refusal->message);
        return save;
    }

    m_portCount = system.config[Setting::SYS_PORT_CNT];
    const bool directWrite = store.value(Setting::COMMON_CTRL_5).value == 1;
    const int lists = std::min(m_portCount, codec::kElementCount);
    for (int e = 0; e < lists; ++e)
        store.setEnabled(Setting::PORT_LED_DRV, e, directWrite);

    submit(save);
    store.setValue(Setting::COMMON_CTRL_7, 0, 0);
    return save;
}

RequestHandle Session::sendPortControl()
{
    auto request = std::make_shared<Request>(RequestKind::PortWrite, std::nullopt);
    emit operationAsked(Operation::SendPortControl, request);
    if (const std::optional<codec::Refusal> refusal = unknownGroupRefusal(operatorGroup())) {
        qCInfo(lcSession).noquote() << "port write refused:" << refusal->message;
        emit requestRefused(RequestKind::PortWrite, refusal->message);
        finishRequest(request, Outcome::Refused, refusal->message);
        return request;
    }
    submit(request);
    return request;
}

RequestHandle Session::sendPortControl(int group)
{
    auto request = std::make_shared<Request>(RequestKind::PortWrite, group);
    emit operationAsked(Operation::SendPortControl, request);
    if (const std::optional<codec::Refusal> refusal = unknownGroupRefusal(group)) {
        emit requestRefused(RequestKind::PortWrite, refusal->message);
        finishRequest(request, Outcome::Refused, refusal->message);
        return request;
    }
    submit(request);
    return request;
}

RequestHandle Session::writeSystemSettings(int group)
{
    return submit(RequestKind::SystemWrite, group);
}

RequestHandle Session::refresh()
{
    return submit(RequestKind::PortRefresh, std::nullopt);
}

RequestHandle Session::refreshGroup(int group)
{
    return submit(RequestKind::PortRefresh, group);
}

RequestHandle Session::readGroup(int group)
{
    return submit(RequestKind::WholeRead, group);
}

RequestHandle Session::applySettings(const QList<WriteStep> &steps)
{
    QList<RequestHandle> requests;
    for (const WriteStep &step : steps)
        requests.append(std::make_shared<Request>(step.kind, step.group));
    auto series = std::make_shared<Request>(requests, Request::Steps::Sequence);
    if (requests.isEmpty())
        finishRequest(series, Outcome::Done);
    else
        submit(series);
    return series;
}

RequestHandle Session::submit(RequestKind kind, std::optional<int> group)
{
    auto request = std::make_shared<Request>(kind, group);
    submit(request);
    return request;
}

void Session::submit(const RequestHandle &request)
{
    if (!request->steps().isEmpty()) {
        m_composites.append(request);
        for (const RequestHandle &step : request->steps()) {
            connect(step.get(), &Request::finished, this,
                    [this, parent = std::weak_ptr<Request>(request)] {
                        if (const RequestHandle p = parent.lock())
                            onStepFinished(p);
                    });
        }
        if (request->mode() == Request::Steps::Sequence)
            submit(request->steps().constFirst());
        else {
            for (const RequestHandle &step : request->steps())
                submit(step);
        }
        return;
    }
    if (request->group()) {
        if (*request->group() < 0 || *request->group() >= protocol::kGroupCount) {
            finishRequest(request, Outcome::Refused,
                          QStringLiteral("there is no port group %1").arg(*request->group()));
            return;
        }
        m_bound.append(request);
        launchNextBound();
        return;
    }
    m_waiting[static_cast<std::size_t>(request->kind())].append(request);
    m_engine->request(request->kind());
}

void Session::launchNextBound()
{
    // After whatever the engine has pending: a request for a group of its own goes last.
    if (m_bound.isEmpty() || m_engine->transactionBusy()
        || std::any_of(m_waiting.begin(), m_waiting.end(),
                       [](const QList<RequestHandle> &w) { return !w.isEmpty(); }))
        return;
    m_launchingBound = m_bound.takeFirst();
    // Launched, or refused and ended already: either way the request has been taken.
    m_engine->requestForGroup(m_launchingBound->kind(), *m_launchingBound->group());
}

void Session::onLaunched(RequestKind kind, std::uint8_t code)
{
    if (m_launchingBound)
        m_inFlight = { std::exchange(m_launchingBound, nullptr) };
    else
        m_inFlight = std::exchange(m_waiting[static_cast<std::size_t>(kind)], {});
    for (const RequestHandle &r : std::as_const(m_inFlight))
        r->setLaunched(code);
    // The block was built from the store just now.
    if (kind == RequestKind::SystemWrite)
        m_sentSystem = codec::readSystemConfiguration(*m_store).config;
    else if (kind == RequestKind::PortWrite) {
        m_sentGroup = m_engine->portGroup();
        m_sentPorts = codec::readPortGroup(*m_store, m_sentGroup).ports;
    }
    emit requestLaunched(kind, code);
}

void Session::onEnded(RequestKind kind, Outcome outcome, const QString &reason)
{
    QList<RequestHandle> ended;
    if (outcome == Outcome::Refused && m_launchingBound)
        ended = { std::exchange(m_launchingBound, nullptr) };
    else if (outcome == Outcome::Refused)
        ended = std::exchange(m_waiting[static_cast<std::size_t>(kind)], {});
    else
        ended = std::exchange(m_inFlight, {});

    if (outcome == Outcome::Done && kind == RequestKind::SystemWrite) {
        codec::storeSystemConfiguration(m_board, m_sentSystem);
        m_boardSystemKnown = true;
    } else if (outcome == Outcome::Done && kind == RequestKind::PortWrite) {
        codec::storePortGroup(m_board, m_sentGroup, m_sentPorts);
        m_boardGroupKnown[m_sentGroup] = true;
    }
    if (outcome == Outcome::Done)
        setBoardState(BoardState::Answering);
    else if (outcome == Outcome::TimedOut && m_link.isOpen())
        setBoardState(BoardState::Silent);

    for (const RequestHandle &r : ended) {
        // A save whose system block was refused takes its port write with it, before the
        // engine launches that.
        if (outcome == Outcome::Refused && kind == RequestKind::SystemWrite) {
            for (const RequestHandle &c : std::as_const(m_composites)) {
                if (c->mode() == Request::Steps::Parallel && c->steps().constFirst() == r) {
                    m_engine->cancelPending(RequestKind::PortWrite);
                    cancelWaiting(RequestKind::PortWrite, Outcome::Cancelled, reason);
                }
            }
        }
        finishRequest(r, outcome, reason);
    }
}

void Session::finishRequest(const RequestHandle &request, Outcome outcome, const QString &reason)
{
    if (request->isFinished())
        return;
    request->finish(outcome, reason);
    emit requestFinished(request);
}

void Session::onStepFinished(const RequestHandle &parent)
{
    const QList<RequestHandle> &steps = parent->steps();
    if (parent->mode() == Request::Steps::Sequence) {
        const auto next = std::find_if(steps.begin(), steps.end(),
                                       [](const RequestHandle &s) { return !s->isFinished(); });
        const Request *failed = parent->failedStep();
        if (!failed && next != steps.end()) {
            submit(*next);
            return;
        }
        for (auto it = next; it != steps.end(); ++it)
            finishRequest(*it, Outcome::Cancelled, QStringLiteral("an earlier step did not end"));
    } else if (std::any_of(steps.begin(), steps.end(),
                           [](const RequestHandle &s) { return !s->isFinished(); })) {
        return;
    }
    m_composites.removeOne(parent);
    const Request *failed = parent->failedStep();
    finishRequest(parent, failed ? failed->outcome() : Outcome::Done,
                  failed ? failed->reason() : QString());
}

void Session::cancelWaiting(RequestKind kind, Outcome outcome, const QString &reason)
{
    for (const RequestHandle &r : std::exchange(m_waiting[static_cast<std::size_t>(kind)], {}))
        finishRequest(r, outcome, reason);
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

void Session::setRefreshInterval(int ms)
{
    m_refreshTimer->setInterval(ms);
}

RequestHandle Session::resetTransactions()
{
    setAutoRefresh(false);
    m_refreshTimer->stop();
    m_engine->reset();
    const QString why = QStringLiteral("Reset GUI");
    for (const RequestKind kind : { RequestKind::WholeRead, RequestKind::SystemWrite,
                                    RequestKind::PortWrite, RequestKind::PortRefresh })
        cancelWaiting(kind, Outcome::Cancelled, why);
    for (const RequestHandle &r : std::exchange(m_bound, {}))
        finishRequest(r, Outcome::Cancelled, why);
    return loadFromDevice();
}

QStringList Session::unsentChanges() const
{
    QStringList names;
    const auto compare = [&](const codec::SettingRow &row, int element) {
        // Actions and write-only settings: no read tells what the board holds.
        if (row.access != codec::Access::ReadBack)
            return;
        const codec::StoredValue value = m_store->value(row.setting, element);
        if (value.ok() && value.value == m_board.value(row.setting, element).value)
            return;
        const QString caption = codec::tableText(row.caption);
        names.append(row.scope == codec::Scope::Port
                         ? QStringLiteral("%1 of Port %2").arg(caption).arg(element + 1)
                         : caption);
    };
    if (m_boardSystemKnown) {
        for (const codec::SettingRow &row : codec::settingRows(codec::Scope::System))
            compare(row, 0);
    }
    for (int g = 0; g < protocol::kGroupCount; ++g) {
        if (!m_boardGroupKnown[g])
            continue;
        for (const codec::SettingRow &row : codec::settingRows(codec::Scope::Port)) {
            for (int p = 0; p < protocol::kPortsPerGroup; ++p)
                compare(row, g * protocol::kPortsPerGroup + p);
        }
    }
    return names;
}

bool Session::groupKnown(int group) const
{
    return group >= 0 && group < protocol::kGroupCount && m_known[group];
}

void Session::markEdited(int group)
{
    if (group >= 0 && group < protocol::kGroupCount)
        m_known[group] = true;
}

void Session::groupSelected(int group)
{
    if (!m_keepBoard || !groupAllowed(group) || m_known[group] || m_reading[group])
        return;
    m_reading[group] = true;
    readGroup(group)->whenFinished(this,
                                   [this, group](const Request &) { m_reading[group] = false; });
}

void Session::readStartGroups()
{
    auto left = std::make_shared<int>(0);
    for (int g = 0; g <= highestAllowedGroup(); ++g) {
        if (m_known[g] || m_reading[g])
            continue;
        ++*left;
        m_reading[g] = true;
        readGroup(g)->whenFinished(this, [this, g, left](const Request &) {
            m_reading[g] = false;
            if (--*left == 0)
                m_holdRefresh = false;
        });
    }
    if (*left == 0)
        m_holdRefresh = false;
}

int Session::operatorGroup() const
{
    return m_portGroupSource ? m_portGroupSource() : m_engine->portGroup();
}

std::optional<codec::Refusal> Session::unknownGroupRefusal(int group) const
{
    if (!m_keepBoard || groupKnown(group))
        return std::nullopt;
    const int first = group * protocol::kPortsPerGroup + 1;
    return codec::Refusal { {},
                            QStringLiteral("Ports %1-%2 were not read from the board yet; "
                                           "nothing was sent")
                                .arg(first)
                                .arg(first + protocol::kPortsPerGroup - 1) };
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
    if (!m_link.isOpen())
        setBoardState(m_lost ? BoardState::Lost : BoardState::Opening);
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

int Session::commPortNumber() const
{
    return m_portControl.commPortNumber();
}

QString Session::chosenDevice() const
{
    return m_portControl.device();
}

QString Session::deviceOf(int commPortNumber) const
{
    return m_portControl.map().device(commPortNumber);
}

void Session::mapDevice(int commPortNumber, const QString &device)
{
    m_portControl.setDevice(commPortNumber, device);
}

QString Session::linkDevice() const
{
    return m_link.portName();
}

void Session::setBoardState(BoardState state)
{
    if (state == m_boardState)
        return;
    m_boardState = state;
    m_boardStateSince = m_clock();
    qCDebug(lcSession) << "board" << boardStateName(state);
    emit boardStateChanged(state, m_boardStateSince);
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
        codec::readBack(*m_store, *snapshot, group, m_portCount);
        codec::readBack(m_board, *snapshot, group, m_portCount);
        m_known[group] = true;
        m_boardSystemKnown = true;
        m_boardGroupKnown[group] = true;
    } else
        codec::readRefresh(*m_store, *snapshot, group);

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
    for (const RequestHandle &r : std::as_const(m_inFlight))
        r->setAnswer(answer);
    emit answerDecoded(answer);
}

void Session::onRefreshTick()
{
    // While the port is closed a tick would only fail: the timer runs on, asking for nothing,
    // and the first tick after the port is back asks again.
    if (!m_link.isOpen() || m_holdRefresh)
        return;
    const int group = operatorGroup();
    if (m_keepBoard && groupAllowed(group) && !m_known[group]) {
        groupSelected(group);
        return;
    }
    refresh();
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

void Session::onOpenChanged(bool open)
{
    const bool wasOpen = std::exchange(m_open, open);
    if (open == wasOpen)
        return;
    if (!open) {
        if (m_boardState != BoardState::Lost)
            setBoardState(BoardState::Closed);
        emit linkClosed();
        return;
    }
    setBoardState(BoardState::Open);
    if (std::exchange(m_lost, false))
        emit linkReopened(m_link.portName());
    else
        emit linkOpened(m_link.portName());
}

void Session::onPortFailed(const QString &reason)
{
    if (m_open) {
        m_lost = true;
        setBoardState(BoardState::Lost);
        emit linkLost(reason);
        // Its answer cannot come on a closed port. Refreshes come again with the timer;
        // anything else is reported, and what was waiting behind it fails as it is launched.
        m_engine->abandon(reason);
        cancelWaiting(RequestKind::PortRefresh, Outcome::Cancelled, reason);
    } else {
        if (m_boardState != BoardState::Lost)
            setBoardState(BoardState::Closed);
        emit linkOpenFailed(m_link.portName(), reason);
    }
}

const char *boardStateName(BoardState state)
{
    switch (state) {
    case BoardState::Closed:
        return "closed";
    case BoardState::Opening:
        return "opening";
    case BoardState::Open:
        return "open";
    case BoardState::Answering:
        return "answering";
    case BoardState::Silent:
        return "silent";
    case BoardState::Lost:
        return "lost";
    }
    return "";
}

} // namespace vantor::session
