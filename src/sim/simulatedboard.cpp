// SPDX-License-Identifier: MIT
#include "simulatedboard.h"

#include "logging.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace vantor::sim {

namespace {

constexpr std::uint8_t kWholeReadBase = 8;
constexpr std::uint8_t kSystemWriteCode = 24;
constexpr std::uint8_t kPortWriteBase = 32;
constexpr std::uint8_t kPortRefreshBase = 40;
constexpr std::uint8_t kGroupMask = 0x07;
constexpr qint64 kNsPerSecond = 1'000'000'000;
// Paced answers leave in chunks of a few bytes, each when its last byte is due.
constexpr qsizetype kPaceChunk = 4;

bool isRead(quint8 code)
{
    const quint8 base = code & ~kGroupMask;
    return base == kWholeReadBase || base == kPortRefreshBase;
}

bool isWrite(quint8 code)
{
    return code == kSystemWriteCode || (code & ~kGroupMask) == kPortWriteBase;
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

SimulatedBoard::SimulatedBoard(QObject *parent)
    : SimulatedBoard(std::make_unique<BoardModel>(), parent)
{
}

SimulatedBoard::SimulatedBoard(std::unique_ptr<BoardModel> model, QObject *parent)
    : QObject(parent)
    , m_model(model ? std::move(model) : std::make_unique<BoardModel>())
{
    qRegisterMetaType<vantor::sim::WireEntry>();
    m_clock.start();
    m_modelClock.start();
    m_paceTimer.setSingleShot(true);
    m_paceTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_paceTimer, &QTimer::timeout, this, &SimulatedBoard::pump);
    m_ackTimer.setSingleShot(true);
    m_ackTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_ackTimer, &QTimer::timeout, this, [this] {
        sendAck(m_delayedAckCode);
        pump();
    });
    m_stallTimer.setSingleShot(true);
    m_stallTimer.setInterval(kPayloadStallMs);
    connect(&m_stallTimer, &QTimer::timeout, this, &SimulatedBoard::onPayloadStalled);
}

SimulatedBoard::~SimulatedBoard()
{
    stop();
}

void SimulatedBoard::setModel(std::unique_ptr<BoardModel> model)
{
    if (model)
        m_model = std::move(model);
}

bool SimulatedBoard::start(const QString &linkPath)
{
    closeLine();
    m_linkPath = linkPath;
    m_errorString.clear();

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) {
        m_errorString = systemError("posix_openpt");
        qCWarning(lcSim).noquote() << m_errorString;
        return false;
    }
    char name[128] = {};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0
        || ::ptsname_r(master, name, sizeof name) != 0) {
        m_errorString = systemError("pseudo-terminal");
        ::close(master);
        qCWarning(lcSim).noquote() << m_errorString;
        return false;
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    // Raw both ways: no echo, no line editing, no flow-control or CR/LF bytes eaten.
    const int serial = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio {};
    if (serial < 0 || ::tcgetattr(serial, &tio) != 0) {
        m_errorString = systemError(name);
        if (serial >= 0)
            ::close(serial);
        ::close(master);
        qCWarning(lcSim).noquote() << m_errorString;
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B19200);
    ::cfsetospeed(&tio, B19200);
    ::tcsetattr(serial, TCSANOW, &tio);

    m_masterFd = master;
    m_serialFd = serial;
    m_serialPath = QString::fromLocal8Bit(name);
    if (!m_linkPath.isEmpty() && !pointLink()) {
        closeLine();
        return false;
    }

    m_readNotifier = new QSocketNotifier(m_masterFd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &SimulatedBoard::onReadable);
    m_writeNotifier = new QSocketNotifier(m_masterFd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &SimulatedBoard::onWritable);

    m_modelClock.restart();
    qCInfo(lcSim).noquote() << "board on" << devicePath()
                            << (m_paced ? "(paced at 19200 bit/s)" : "(unpaced)");
    emit started(devicePath());
    return true;
}

bool SimulatedBoard::restart()
{
    return start(m_linkPath);
}

void SimulatedBoard::stop()
{
    closeLine();
    removeLink();
}

void SimulatedBoard::hangUp()
{
    if (!isRunning())
        return;
    qCInfo(lcSim).noquote() << "hanging up" << m_serialPath;
    closeLine();
    removeLink();
    emit lineHungUp();
}

QString SimulatedBoard::devicePath() const
{
    return m_linkPath.isEmpty() ? m_serialPath : m_linkPath;
}

void SimulatedBoard::closeLine()
{
    // The notifiers may be the ones whose handler is running: hand them to the event loop.
    for (QSocketNotifier *notifier : { m_readNotifier, m_writeNotifier }) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_readNotifier = nullptr;
    m_writeNotifier = nullptr;
    if (m_masterFd >= 0)
        ::close(m_masterFd);
    if (m_serialFd >= 0)
        ::close(m_serialFd);
    m_masterFd = -1;
    m_serialFd = -1;

    m_paceTimer.stop();
    m_ackTimer.stop();
    m_stallTimer.stop();
    m_state = State::Commands;
    m_noise.clear();
    m_answer.clear();
    m_answerSent = 0;
    m_payload.clear();
    m_hangUpAfter = -1;
}

bool SimulatedBoard::pointLink()
{
    const QFileInfo info(m_linkPath);
    if (info.exists() && !info.isSymLink()) {
        m_errorString = QStringLiteral("%1 exists and is not a symbolic link").arg(m_linkPath);
        qCWarning(lcSim).noquote() << m_errorString;
        return false;
    }
    // A new link renamed over the old one: the path is never missing while re-pointed.
    const QByteArray link = QFile::encodeName(m_linkPath);
    const QByteArray temporary = link + ".new" + QByteArray::number(::getpid());
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(m_serialPath).constData(), temporary.constData()) != 0
        || ::rename(temporary.constData(), link.constData()) != 0) {
        m_errorString = systemError(link.constData());
        ::unlink(temporary.constData());
        qCWarning(lcSim).noquote() << m_errorString;
        return false;
    }
    return true;
}

void SimulatedBoard::removeLink()
{
    if (m_linkPath.isEmpty())
        return;
    // Only a link that still points where this board put it.
    const QFileInfo info(m_linkPath);
    if (info.isSymLink() && info.symLinkTarget() == m_serialPath)
        QFile::remove(m_linkPath);
}

void SimulatedBoard::onReadable()
{
    QByteArray chunk;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_masterFd, buffer, sizeof buffer);
        if (n > 0) {
            chunk.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // Cannot happen while the board holds its own serial end; never spin on it.
            qCWarning(lcSim).noquote() << systemError("reading the line");
            if (m_readNotifier)
                m_readNotifier->setEnabled(false);
        }
        break;
    }
    if (chunk.isEmpty())
        return;
    record(Direction::FromPanel, chunk);
    // The whole chunk first: a later command in it ends the answer to an earlier one.
    m_ignoredInChunk = 0;
    for (const char byte : std::as_const(chunk)) {
        if (!isRunning())
            break;
        handleByte(static_cast<quint8>(byte));
    }
    if (m_ignoredInChunk > 0)
        qCInfo(lcSim, "ignored %d byte(s) that are no command, the first 0x%02x", m_ignoredInChunk,
               m_firstIgnored);
    pump();
}

void SimulatedBoard::onWritable()
{
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
    pump();
}

void SimulatedBoard::handleByte(quint8 byte)
{
    if (m_state != State::AwaitingPayload) {
        handleCommand(byte);
        return;
    }
    m_payload.append(static_cast<char>(byte));
    if (m_hangUpAfter > 0 && m_payload.size() >= m_hangUpAfter) {
        hangUp();
        return;
    }
    m_stallTimer.start();
    if (m_payload.size() == m_payloadExpected)
        applyPayload();
}

void SimulatedBoard::handleCommand(quint8 code)
{
    if (!isRead(code) && !isWrite(code)) {
        if (m_ignoredInChunk++ == 0)
            m_firstIgnored = code;
        emit byteIgnored(code);
        return;
    }
    emit commandReceived(code);
    cutAnswer();

    const FaultPlan fault = takeFault(isRead(code));
    if (fault.fault == Fault::Silent) {
        qCInfo(lcSim, "silent: no answer to 0x%02x", code);
        return;
    }

    if (isRead(code)) {
        m_model->advance(m_modelClock.restart());
        const Snapshot snapshot = m_model->snapshot(code & kGroupMask);
        QByteArray answer(reinterpret_cast<const char *>(snapshot.data()),
                          static_cast<qsizetype>(snapshot.size()));
        switch (fault.fault) {
        case Fault::ShortAnswer:
            answer.truncate(qMax(0, fault.bytes));
            break;
        case Fault::LongAnswer:
            answer.append(noise(qMax(0, fault.bytes)));
            break;
        case Fault::Garbage:
            answer = noise(fault.bytes > 0 ? fault.bytes : static_cast<int>(kSnapshotSize));
            break;
        case Fault::AnswerTwice:
            answer += answer;
            break;
        case Fault::NoisyAnswer:
            answer.insert(std::clamp<qsizetype>(fault.bytes, 0, answer.size()), noise(1));
            break;
        default:
            break;
        }
        startAnswer(code, answer);
        return;
    }

    m_hangUpAfter = fault.fault == Fault::HangUpInPayload ? qMax(1, fault.bytes) : -1;
    if (fault.fault == Fault::DelayedAck && fault.delayMs > 0) {
        m_state = State::AckDelayed;
        m_delayedAckCode = code;
        m_ackTimer.start(fault.delayMs);
        return;
    }
    sendAck(code);
}

FaultPlan SimulatedBoard::takeFault(bool read)
{
    bool applies = false;
    switch (m_fault.fault) {
    case Fault::None:
        break;
    case Fault::Silent:
        applies = true;
        break;
    case Fault::ShortAnswer:
    case Fault::LongAnswer:
    case Fault::Garbage:
    case Fault::AnswerTwice:
    case Fault::NoisyAnswer:
        applies = read;
        break;
    case Fault::DelayedAck:
    case Fault::HangUpInPayload:
        applies = !read;
        break;
    }
    if (!applies || m_fault.times == 0)
        return {};
    const FaultPlan taken = m_fault;
    if (m_fault.times > 0 && --m_fault.times == 0)
        m_fault = {};
    return taken;
}

void SimulatedBoard::startAnswer(quint8 code, QByteArray bytes)
{
    m_answer = std::move(bytes);
    m_answerSent = 0;
    m_answerCode = code;
    m_answerClock.start();
}

void SimulatedBoard::sendAck(quint8 code)
{
    startAnswer(code, QByteArray(1, kAck));
    m_state = State::AwaitingPayload;
    m_payloadCode = code;
    m_payloadExpected
        = static_cast<qsizetype>(code == kSystemWriteCode ? kSystemBlockSize : kPortBlockSize);
    m_payload.clear();
    m_stallTimer.start();
}

void SimulatedBoard::cutAnswer()
{
    m_ackTimer.stop();
    m_state = State::Commands;
    if (m_answerSent < m_answer.size()) {
        qCInfo(lcSim, "answer to 0x%02x cut after %lld of %lld bytes", m_answerCode,
               static_cast<long long>(m_answerSent), static_cast<long long>(m_answer.size()));
        emit answerCut(m_answerCode, static_cast<int>(m_answerSent),
                       static_cast<int>(m_answer.size()));
    }
    m_answer.clear();
    m_answerSent = 0;
    m_paceTimer.stop();
}

qsizetype SimulatedBoard::answerBytesDue() const
{
    if (!m_paced)
        return m_answer.size();
    // The command byte itself took one byte time to arrive; byte k of the answer is complete
    // on the panel's side k + 2 byte times after the command was sent.
    const qint64 byteTimes
        = m_answerClock.nsecsElapsed() * kBaudRate / (kBitsPerByte * kNsPerSecond);
    return qBound<qsizetype>(0, byteTimes - 1, m_answer.size());
}

void SimulatedBoard::pump()
{
    if (m_masterFd < 0)
        return;

    qsizetype written = 0;
    if (!m_noise.isEmpty()) {
        const bool open = send(m_noise.constData(), m_noise.size(), written);
        m_noise.remove(0, written);
        if (!open)
            return;
    }

    if (m_answer.isEmpty())
        return;
    const qsizetype due = answerBytesDue();
    if (due > m_answerSent) {
        const bool open = send(m_answer.constData() + m_answerSent, due - m_answerSent, written);
        m_answerSent += written;
        if (!open)
            return;
    }
    if (m_answerSent < m_answer.size()) {
        schedulePacing();
        return;
    }
    emit answerSent(m_answerCode, static_cast<int>(m_answer.size()));
    m_answer.clear();
    m_answerSent = 0;
}

void SimulatedBoard::schedulePacing()
{
    const qsizetype target = qMin(m_answerSent + kPaceChunk, m_answer.size());
    // Byte count `target` is due once (target + 1) byte times have passed.
    const qint64 dueNs = (target + 1) * kBitsPerByte * kNsPerSecond / kBaudRate;
    const qint64 waitNs = dueNs - m_answerClock.nsecsElapsed();
    m_paceTimer.start(static_cast<int>(qMax<qint64>(0, (waitNs + 999'999) / 1'000'000)));
}

bool SimulatedBoard::send(const char *data, qsizetype count, qsizetype &written)
{
    written = 0;
    while (written < count) {
        const ssize_t n = ::write(m_masterFd, data + written, static_cast<size_t>(count - written));
        if (n > 0) {
            written += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    if (written > 0)
        record(Direction::ToPanel, QByteArray(data, written));
    if (written == count)
        return true;
    // The panel is not reading (port closed, or flooded): go on when the line takes more.
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(true);
    return false;
}

void SimulatedBoard::applyPayload()
{
    m_stallTimer.stop();
    m_state = State::Commands;
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(m_payload.constData());
    const std::span block(bytes, static_cast<std::size_t>(m_payload.size()));
    const bool applied = m_payloadCode == kSystemWriteCode
        ? m_model->applySystemBlock(block)
        : m_model->applyPortBlock(m_payloadCode & kGroupMask, block);
    m_payload.clear();
    if (applied) {
        qCInfo(lcSim, "applied the block of 0x%02x", m_payloadCode);
        emit blockApplied(m_payloadCode);
    }
}

void SimulatedBoard::onPayloadStalled()
{
    if (m_state != State::AwaitingPayload)
        return;
    qCInfo(lcSim, "payload of 0x%02x stalled after %lld of %lld bytes: dropped", m_payloadCode,
           static_cast<long long>(m_payload.size()), static_cast<long long>(m_payloadExpected));
    const int received = static_cast<int>(m_payload.size());
    m_payload.clear();
    m_state = State::Commands;
    emit payloadDropped(m_payloadCode, received);
}

void SimulatedBoard::flood(int byteCount)
{
    if (!isRunning() || byteCount <= 0)
        return;
    qCInfo(lcSim) << "flooding the line with" << byteCount << "bytes";
    m_noise.append(noise(byteCount));
    pump();
}

QByteArray SimulatedBoard::noise(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = static_cast<char>(m_random.bounded(256));
    return bytes;
}

void SimulatedBoard::record(Direction direction, const QByteArray &bytes)
{
    const WireEntry entry { m_clock.nsecsElapsed() / 1000, direction, bytes };
    m_wireLog.append(entry);
    m_wireLogBytes += bytes.size() + kWireEntryCost;
    while (m_wireLogBytes > kWireLogLimit && !m_wireLog.isEmpty()) {
        m_wireLogBytes -= m_wireLog.constFirst().bytes.size() + kWireEntryCost;
        m_wireLog.removeFirst();
    }
    emit wireTraffic(entry);
}

QByteArray SimulatedBoard::bytes(Direction direction) const
{
    QByteArray all;
    for (const WireEntry &entry : m_wireLog) {
        if (entry.direction == direction)
            all += entry.bytes;
    }
    return all;
}

void SimulatedBoard::clear()
{
    m_wireLog.clear();
    m_wireLogBytes = 0;
}

bool SimulatedBoard::waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

} // namespace vantor::sim
