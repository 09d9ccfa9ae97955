// SPDX-License-Identifier: MIT
#include "networklink.h"

#include "logging.h"

#include <QMetaObject>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <sys/ioctl.h>
#endif

namespace vantor::serial {

namespace {

// What is kept of the server's text before the link is usable (it is only for the message).
constexpr qsizetype kServerTextLimit = 512;

QString noted(const QString &device, const QString &what)
{
    return QStringLiteral("%1: %2").arg(device, what);
}

} // namespace

NetworkLink::NetworkLink(QObject *parent)
    : SerialLink(parent)
    , m_ownDeadline(std::make_unique<QtDeadline>())
    , m_settingsText(QString::fromLatin1(kLineSettings))
{
    setDeadline(*m_ownDeadline);
    m_sentPoll.setSingleShot(true);
    m_sentPoll.setTimerType(Qt::PreciseTimer);
    m_sentPoll.setInterval(kSentPollMs);
    connect(&m_sentPoll, &QTimer::timeout, this, &NetworkLink::checkSent);
    connect(&m_socket, &QTcpSocket::connected, this, &NetworkLink::onConnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &NetworkLink::onReadyRead);
    connect(&m_socket, &QTcpSocket::bytesWritten, this, &NetworkLink::onBytesWritten);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &NetworkLink::onSocketError);
    connect(&m_socket, &QTcpSocket::disconnected, this, &NetworkLink::onDisconnected);
}

NetworkLink::~NetworkLink()
{
    disconnect(&m_socket, nullptr, this, nullptr);
    m_socket.abort();
}

void NetworkLink::setDeadline(Deadline &deadline)
{
    const bool running = m_deadline && m_deadline->isActive();
    const int limit = running ? m_deadline->limitMs() : 0;
    if (m_deadline) {
        m_deadline->stop();
        disconnect(m_deadline, nullptr, this, nullptr);
    }
    m_deadline = &deadline;
    connect(m_deadline, &Deadline::expired, this, &NetworkLink::onDeadline);
    if (running)
        m_deadline->start(limit);
}

void NetworkLink::setPortName(const QString &device)
{
    m_portName = device;
}

bool NetworkLink::setSettings(const QString &settings)
{
    if (!comPortLineOf(settings)) {
        qCWarning(lcSerial) << "line settings not understood:" << settings;
        return false;
    }
    m_settingsText = settings;
    return true;
}

bool NetworkLink::isOpen() const
{
    return m_stage == Stage::Open && !m_lost;
}

bool NetworkLink::isOpening() const
{
    return (m_stage == Stage::Connecting || m_stage == Stage::Negotiating
            || m_stage == Stage::Settling)
        && !m_failing;
}

bool NetworkLink::open()
{
    if (isOpen())
        return true;
    if (isOpening()) {
        if (m_openingName == m_portName)
            return true;
        // Another board was chosen while the last one was still being reached.
        ++m_attempt;
        resetSocket();
    }
    if (m_lost)
        finishLoss();
    if (m_failing)
        resetSocket();

    m_errorString.clear();
    QString why;
    const std::optional<DeviceUrl> url = parseDeviceUrl(m_portName, &why);
    if (!url) {
        m_troubled = true;
        return failOpen({ OpenFailure::NoSuchDevice,
                          m_portName.isEmpty() ? QStringLiteral("no device chosen")
                                               : noted(m_portName, why) });
    }
    m_url = *url;
    m_openingName = m_portName;
    m_telnet.reset();
    if (isTelnet())
        m_telnet.emplace(comPortLineOf(m_settingsText).value_or(ComPortLine {}));

    ++m_attempt;
    m_failing = false;
    m_received.clear();
    m_serverText.clear();
    m_droppedSinceFull = 0;
    m_stage = Stage::Connecting;
    m_connectClock.start();
    qCDebug(lcSerial).noquote() << "connecting to" << m_portName;
    m_deadline->start(kConnectTimeoutMs);
    m_socket.connectToHost(m_url.host, m_url.port);
    return true;
}

void NetworkLink::onConnected()
{
    if (m_stage != Stage::Connecting || m_failing)
        return;
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const qint64 connectMs = m_connectClock.elapsed();
    qCDebug(lcSerial).noquote() << "connected to" << m_portName << "in" << connectMs << "ms";
    if (isTelnet()) {
        m_stage = Stage::Negotiating;
        m_deadline->start(kNegotiationTimeoutMs);
        sendRaw(m_telnet->start());
        return;
    }
    m_stage = Stage::Settling;
    m_deadline->start(std::clamp(static_cast<int>(2 * connectMs), kSettleMinMs, kSettleMaxMs));
}

void NetworkLink::onDeadline()
{
    if (m_failing)
        return;
    switch (m_stage) {
    case Stage::Connecting:
    case Stage::Negotiating: {
        NetworkFacts f = facts();
        f.timedOut = true;
        f.timeoutMs = m_stage == Stage::Connecting ? kConnectTimeoutMs : kNegotiationTimeoutMs;
        failOpenLater(f);
        return;
    }
    case Stage::Settling:
        becomeOpen();
        return;
    case Stage::Closed:
    case Stage::Open:
        return;
    }
}

NetworkFacts NetworkLink::facts() const
{
    NetworkFacts f;
    f.device = m_portName;
    f.stage = m_stage == Stage::Negotiating ? NetworkFacts::Stage::Negotiating
        : m_stage == Stage::Settling        ? NetworkFacts::Stage::Settling
                                            : NetworkFacts::Stage::Connecting;
    f.serverText = m_serverText;
    if (m_telnet) {
        f.negotiationFailure = m_telnet->failure();
        f.awaited = m_telnet->awaited();
    }
    return f;
}

void NetworkLink::becomeOpen()
{
    m_deadline->stop();
    m_stage = Stage::Open;
    m_troubled = false;
    m_openFailure = OpenFailure::None;
    m_errorString.clear();
    const QString text = serverTextLine(m_serverText);
    if (!text.isEmpty())
        qCInfo(lcSerial).noquote() << m_portName << "greeted:" << text;
    else if (!m_serverText.isEmpty())
        qCInfo(lcSerial).noquote() << m_portName << "dropped" << m_serverText.size()
                                   << "bytes that came before the link was usable";
    m_serverText.clear();
    if (isTelnet()) {
        qCInfo(lcSerial).noquote() << "opened" << m_portName << m_settingsText
                                   << "(RFC 2217: BINARY both ways, no flow control)";
    } else {
        qCInfo(lcSerial).noquote() << "opened" << m_portName;
        if (!std::exchange(m_toldRawSettings, true))
            qCInfo(lcSerial).noquote()
                << m_portName << "is raw TCP: the line settings are the server's, not"
                << m_settingsText << "(rfc2217:// sets them)";
    }
    if (!m_held.isEmpty()) {
        const QByteArray held = std::exchange(m_held, {});
        qCDebug(lcSerialBytes).noquote() << "tx" << held.toHex(' ');
        sendRaw(m_telnet ? Rfc2217Client::escape(held) : held);
    }
    emit openChanged(true);
}

bool NetworkLink::failOpen(const OpenVerdict &verdict)
{
    m_openFailure = verdict.kind;
    m_errorString = verdict.message;
    qCWarning(lcSerial).noquote() << "cannot open" << m_errorString;
    emit portFailed(m_errorString);
    return false;
}

void NetworkLink::failOpenLater(const NetworkFacts &f)
{
    if (m_failing)
        return;
    m_failing = true;
    m_deadline->stop();
    const OpenVerdict verdict = classifyNetworkFailure(f);
    qCDebug(lcSerial).noquote() << "open failed at stage" << int(f.stage) << "socket error"
                                << f.error << f.errorText;
    // The socket may be the one whose signal is being handled: finish on the next turn.
    QMetaObject::invokeMethod(
        this,
        [this, verdict, attempt = m_attempt] {
            if (attempt != m_attempt || !m_failing)
                return;
            resetSocket();
            m_troubled = true;
            failOpen(verdict);
        },
        Qt::QueuedConnection);
}

void NetworkLink::resetSocket()
{
    m_deadline->stop();
    m_sentPoll.stop();
    m_lastSent.invalidate();
    // Closed first: aborting a connected socket reports the disconnection at once.
    m_stage = Stage::Closed;
    m_failing = false;
    m_socket.abort();
    m_held.clear();
    m_serverText.clear();
    m_received.clear();
    m_sendEventArmed = false;
    ++m_writeSerial;
}

void NetworkLink::close()
{
    ++m_attempt;
    if (m_lost) {
        // The loss is still to be reported; that report also says the link closed.
        m_socket.abort();
        return;
    }
    const bool wasOpen = isOpen();
    resetSocket();
    reportDropped();
    m_troubled = false;
    if (wasOpen) {
        qCInfo(lcSerial).noquote() << "closed" << m_portName;
        emit openChanged(false);
    }
}

void NetworkLink::discardOutput()
{
    // A discarded block never raises its send event. What was handed to the socket stays: the
    // telnet stream cannot lose half a command, and nothing is taken back from the server.
    m_sendEventArmed = false;
    ++m_writeSerial;
}

void NetworkLink::discardInput()
{
    m_received.clear();
    reportDropped();
    if (isOpen() && m_telnet)
        sendRaw(Rfc2217Client::purgeReceiveBuffer());
}

bool NetworkLink::write(const QByteArray &block)
{
    if (isOpening() && !m_troubled) {
        // The first open is under way: sent as soon as the link is usable.
        if (!block.isEmpty()) {
            m_held += block;
            ++m_writeSerial;
            m_sendEventArmed = true;
        }
        return true;
    }
    if (!isOpen()) {
        if (m_errorString.isEmpty())
            m_errorString = isOpening() ? noted(m_portName, QStringLiteral("still connecting"))
                                        : noted(m_portName, QStringLiteral("not connected"));
        return false;
    }
    if (block.isEmpty())
        return true;
    qCDebug(lcSerialBytes).noquote() << "tx" << block.toHex(' ');
    ++m_writeSerial;
    m_sendEventArmed = true;
    m_lastSent.start();
    sendRaw(m_telnet ? Rfc2217Client::escape(block) : block);
    return !m_lost;
}

void NetworkLink::sendRaw(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_socket.write(bytes) != bytes.size()) {
        lose(QStringLiteral("connection lost (%1)").arg(m_socket.errorString()));
        return;
    }
    // Into the system now, as a tty write is: Qt would otherwise wait for the event loop.
    m_socket.flush();
}

QByteArray NetworkLink::read()
{
    QByteArray taken;
    if (m_readLength > 0 && m_received.size() > m_readLength) {
        taken = m_received.left(m_readLength);
        m_received.remove(0, m_readLength);
    } else {
        taken = std::exchange(m_received, {});
    }
    reportDropped();
    return taken;
}

void NetworkLink::onReadyRead()
{
    const QByteArray incoming = m_socket.readAll();
    if (incoming.isEmpty() || m_lost || m_failing || m_stage == Stage::Closed)
        return;

    QByteArray data = incoming;
    QByteArray reply;
    if (m_telnet) {
        Rfc2217Client::Output out = m_telnet->receive(incoming);
        for (const QString &note : std::as_const(out.notes))
            qCDebug(lcSerial).noquote() << m_portName << note;
        data = std::move(out.data);
        reply = std::move(out.reply);
    }
    // The data is taken before any reply is sent: a reply to a server that has just closed
    // fails at once, and its report needs what the server said.
    if (m_stage != Stage::Open) {
        if (!data.isEmpty() && m_serverText.size() < kServerTextLimit)
            m_serverText += data.left(kServerTextLimit - m_serverText.size());
    } else if (!data.isEmpty()) {
        qCDebug(lcSerialBytes).noquote() << "rx" << data.toHex(' ');
        deliver(data);
    }
    if (!m_telnet)
        return;
    if (m_telnet->state() == Rfc2217Client::State::Failed) {
        if (m_stage == Stage::Open)
            lose(QStringLiteral("connection lost (%1)").arg(m_telnet->failure()));
        else
            failOpenLater(facts());
        return;
    }
    sendRaw(reply);
    if (m_stage == Stage::Negotiating && !m_failing && m_telnet->isReady())
        becomeOpen();
}

void NetworkLink::deliver(const QByteArray &incoming)
{
    // The board answered: what was written before has reached it, no grace is owed for it.
    if (!m_sendEventArmed)
        m_lastSent.invalidate();
    const qsizetype before = m_received.size();
    const qsizetype room = kReceiveLimit - before;
    if (incoming.size() > room) {
        if (m_droppedSinceFull == 0)
            qCWarning(lcSerial) << "receive buffer full at" << kReceiveLimit
                                << "bytes: dropping what arrives until it is read";
        const qsizetype dropped = incoming.size() - room;
        m_droppedSinceFull += dropped;
        m_droppedTotal += dropped;
        m_received.append(incoming.constData(), room);
    } else {
        m_received += incoming;
    }

    if (m_receiveThreshold > 0 && before < m_receiveThreshold
        && m_received.size() >= m_receiveThreshold)
        emit commEvent(CommEvent::ReceiveThreshold);
}

void NetworkLink::onBytesWritten()
{
    checkSent();
}

qint64 NetworkLink::bytesUnsent() const
{
    qint64 unsent = m_socket.bytesToWrite();
#ifdef Q_OS_LINUX
    // What the system still holds for the server, sent or not, until the server has it.
    int queued = 0;
    const qintptr fd = m_socket.socketDescriptor();
    if (fd >= 0 && ::ioctl(static_cast<int>(fd), TIOCOUTQ, &queued) == 0 && queued > 0)
        unsent += queued;
#endif
    return unsent;
}

void NetworkLink::checkSent()
{
    if (!m_sendEventArmed || m_sendThreshold <= 0 || m_lost || !m_held.isEmpty()
        || m_stage != Stage::Open)
        return;
    // A block has left once the server has it: until then it can still be lost with the
    // connection (and a server such as ser2net drops what it had not passed on when the
    // client closes at once).
    if (bytesUnsent() >= m_sendThreshold) {
        if (!m_sentPoll.isActive())
            m_sentPoll.start();
        return;
    }
    m_sendEventArmed = false;
    m_sentPoll.stop();
    m_lastSent.start();
    // bytesWritten may come from inside flush(), i.e. from inside a write: post the event.
    QMetaObject::invokeMethod(
        this, [this, serial = m_writeSerial] { deliverSendEvent(serial); }, Qt::QueuedConnection);
}

int NetworkLink::closeGraceMs() const
{
    if (!isOpen() || !m_lastSent.isValid())
        return 0;
    return static_cast<int>(std::max<qint64>(0, kCloseGraceMs - m_lastSent.elapsed()));
}

void NetworkLink::deliverSendEvent(quint64 writeSerial)
{
    if (writeSerial != m_writeSerial || m_sendThreshold <= 0 || !isOpen())
        return;
    emit commEvent(CommEvent::SendThreshold);
}

void NetworkLink::onSocketError(QAbstractSocket::SocketError error)
{
    if (m_lost || m_failing || m_stage == Stage::Closed)
        return;
    // What came just before the close is read first: ser2net's refusal is text, then a close.
    if (m_socket.bytesAvailable() > 0) {
        onReadyRead();
        if (m_lost || m_failing || m_stage == Stage::Closed)
            return;
    }
    if (m_stage == Stage::Open) {
        lose(error == QAbstractSocket::RemoteHostClosedError
                 ? QStringLiteral("connection lost (the server closed it)")
                 : QStringLiteral("connection lost (%1)").arg(m_socket.errorString()));
        return;
    }
    NetworkFacts f = facts();
    f.error = error;
    f.errorText = m_socket.errorString();
    f.closedByServer = error == QAbstractSocket::RemoteHostClosedError;
    failOpenLater(f);
}

void NetworkLink::onDisconnected()
{
    // Normally errorOccurred came first; this catches a close without one.
    onSocketError(QAbstractSocket::RemoteHostClosedError);
}

void NetworkLink::lose(const QString &reason)
{
    if (m_lost || m_stage != Stage::Open)
        return;
    m_lost = true;
    m_sendEventArmed = false;
    m_errorString = noted(m_portName, reason);
    qCWarning(lcSerial).noquote() << m_errorString;
    // Aborting here would delete the socket's notifier inside its own handler: next turn.
    QMetaObject::invokeMethod(this, &NetworkLink::finishLoss, Qt::QueuedConnection);
}

void NetworkLink::finishLoss()
{
    if (!m_lost)
        return;
    m_lost = false;
    const QString reason = m_errorString;
    resetSocket();
    reportDropped();
    m_troubled = true;
    m_errorString = reason;
    // The reason first, so that anyone showing the closed link can already say why.
    emit portFailed(m_errorString);
    emit openChanged(false);
}

void NetworkLink::reportDropped()
{
    if (m_droppedSinceFull == 0)
        return;
    qCInfo(lcSerial) << "dropped" << m_droppedSinceFull
                     << "bytes that arrived while the receive buffer was full";
    m_droppedSinceFull = 0;
}

} // namespace vantor::serial
