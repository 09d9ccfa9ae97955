// SPDX-License-Identifier: MIT
#include "qtseriallink.h"

#include "logging.h"

#include <QMetaObject>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/ioctl.h>
#endif

namespace vantor::serial {

namespace {

std::optional<QSerialPort::Parity> parityOf(QStringView text)
{
    if (text.size() != 1)
        return std::nullopt;
    switch (text.front().toUpper().unicode()) {
    case 'N':
        return QSerialPort::NoParity;
    case 'E':
        return QSerialPort::EvenParity;
    case 'O':
        return QSerialPort::OddParity;
    case 'M':
        return QSerialPort::MarkParity;
    case 'S':
        return QSerialPort::SpaceParity;
    default:
        return std::nullopt;
    }
}

std::optional<QSerialPort::StopBits> stopBitsOf(QStringView text)
{
    if (text == u"1")
        return QSerialPort::OneStop;
    if (text == u"1.5")
        return QSerialPort::OneAndHalfStop;
    if (text == u"2")
        return QSerialPort::TwoStop;
    return std::nullopt;
}

} // namespace

std::optional<LineSettings> parseLineSettings(QStringView text)
{
    const QList<QStringView> parts = text.split(u',');
    if (parts.size() != 4)
        return std::nullopt;

    bool ok = false;
    const int baud = parts[0].trimmed().toInt(&ok);
    if (!ok || baud <= 0)
        return std::nullopt;
    const auto parity = parityOf(parts[1].trimmed());
    const int dataBits = parts[2].trimmed().toInt(&ok);
    if (!parity || !ok || dataBits < 5 || dataBits > 8)
        return std::nullopt;
    const auto stopBits = stopBitsOf(parts[3].trimmed());
    if (!stopBits)
        return std::nullopt;

    return LineSettings { baud, *parity, static_cast<QSerialPort::DataBits>(dataBits), *stopBits };
}

QtSerialLink::QtSerialLink(QObject *parent)
    : SerialLink(parent)
    , m_port(this)
    , m_settingsText(QString::fromLatin1(kLineSettings))
{
    connect(&m_port, &QSerialPort::readyRead, this, &QtSerialLink::onReadyRead);
    connect(&m_port, &QSerialPort::bytesWritten, this, &QtSerialLink::onBytesWritten);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialLink::onErrorOccurred);
    m_quietTimer.setSingleShot(true);
    m_quietTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_quietTimer, &QTimer::timeout, this, &QtSerialLink::onQuietTimer);
}

QtSerialLink::~QtSerialLink()
{
    // Nothing the port says while it is torn down concerns anyone any more.
    disconnect(&m_port, nullptr, this, nullptr);
    if (m_port.isOpen())
        m_port.close();
}

void QtSerialLink::setPortName(const QString &device)
{
    m_portName = device;
}

bool QtSerialLink::setSettings(const QString &settings)
{
    const auto parsed = parseLineSettings(settings);
    if (!parsed) {
        qCWarning(lcSerial) << "line settings not understood:" << settings;
        return false;
    }
    m_settings = *parsed;
    m_settingsText = settings;
    if (m_port.isOpen())
        applySettings();
    return true;
}

void QtSerialLink::applySettings()
{
    // Modem lines are left alone: a pseudo-terminal refuses DTR/RTS, and the bridge needs none.
    m_port.setBaudRate(m_settings.baudRate);
    m_port.setParity(m_settings.parity);
    m_port.setDataBits(m_settings.dataBits);
    m_port.setStopBits(m_settings.stopBits);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
}

bool QtSerialLink::open()
{
    if (isOpen())
        return true;
    if (m_lost)
        finishLoss();

    m_errorString.clear();
    if (m_portName.isEmpty())
        return failOpen(classifyOpenFailure(OpenFacts {}));

    m_port.setPortName(m_portName);
    applySettings();
    if (!m_port.open(QIODevice::ReadWrite)) {
        qCDebug(lcSerial).noquote() << "open failed:" << m_port.error() << m_port.errorString();
        return failOpen(
            classifyOpenFailure(gatherOpenFacts(m_portName, m_port.error(), m_port.errorString())));
    }

    m_openFailure = OpenFailure::None;
    stopQuietWait();
    m_received.clear();
    m_droppedSinceFull = 0;
    m_sendEventArmed = false;
    ++m_writeSerial;
    qCInfo(lcSerial).noquote() << "opened" << m_portName << m_settingsText;
    emit openChanged(true);
    return true;
}

bool QtSerialLink::failOpen(const OpenVerdict &verdict)
{
    m_openFailure = verdict.kind;
    m_errorString = verdict.message;
    qCWarning(lcSerial).noquote() << "cannot open" << m_errorString;
    emit portFailed(m_errorString);
    return false;
}

void QtSerialLink::close()
{
    if (m_lost) {
        // The loss is still to be reported; that report also says the port closed.
        m_port.close();
        return;
    }
    const bool wasOpen = m_port.isOpen();
    if (wasOpen)
        m_port.close();
    stopQuietWait();
    m_received.clear();
    reportDropped();
    m_sendEventArmed = false;
    ++m_writeSerial;
    if (wasOpen) {
        qCInfo(lcSerial).noquote() << "closed" << m_portName;
        emit openChanged(false);
    }
}

bool QtSerialLink::isOpen() const
{
    return m_port.isOpen() && !m_lost;
}

void QtSerialLink::discardOutput()
{
    // A discarded block never raises its send event; a held one is never sent.
    m_sendEventArmed = false;
    ++m_writeSerial;
    if (m_quiet == Quiet::BeforeWrite)
        stopQuietWait();
    if (!isOpen())
        return;
    // Only Qt's own queue: what was flushed has left. Flushing the OS queue as well would, on a
    // pseudo-terminal, also drop the other side's unread input, i.e. a command just written.
    if (m_port.bytesToWrite() > 0)
        m_port.clear(QSerialPort::Output);
}

void QtSerialLink::discardInput()
{
    if (m_quiet == Quiet::BeforeReceiveEvent)
        stopQuietWait();
    m_received.clear();
    reportDropped();
    if (isOpen()) {
#ifdef Q_OS_UNIX
        // Bytes the system holds and Qt has not read yet: the line is not quiet.
        int queued = 0;
        if (::ioctl(static_cast<int>(m_port.handle()), FIONREAD, &queued) == 0 && queued > 0)
            m_lastArrival.start();
#endif
        m_port.clear(QSerialPort::Input);
    }
    m_writeAfterDiscard = true;
}

bool QtSerialLink::write(const QByteArray &block)
{
    if (!isOpen()) {
        if (m_errorString.isEmpty())
            m_errorString = QStringLiteral("%1: port not open").arg(m_portName);
        return false;
    }
    if (block.isEmpty())
        return true;

    ++m_writeSerial;
    m_sendEventArmed = true;
    // On a quiet line it leaves at once, as it always did.
    const bool lineBusy = m_lastArrival.isValid() && m_lastArrival.elapsed() < kQuietGapMs;
    if (std::exchange(m_writeAfterDiscard, false) && lineBusy && m_quiet == Quiet::Off) {
        m_heldWrite = block;
        m_quiet = Quiet::BeforeWrite;
        startQuietWait();
        return true;
    }
    return sendNow(block);
}

bool QtSerialLink::sendNow(const QByteArray &block)
{
    qCDebug(lcSerialBytes).noquote() << "tx" << block.toHex(' ');
    if (m_port.write(block) != block.size()) {
        m_errorString = QStringLiteral("%1: %2").arg(m_portName, m_port.errorString());
        qCWarning(lcSerial).noquote() << "write refused:" << m_errorString;
        return false;
    }
    // Hand the block to the system now, as a serial control's transmit buffer does.
    m_port.flush();
    return !m_lost;
}

QByteArray QtSerialLink::read()
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

void QtSerialLink::onReadyRead()
{
    const QByteArray incoming = m_port.readAll();
    if (incoming.isEmpty() || m_lost)
        return;
    qCDebug(lcSerialBytes).noquote() << "rx" << incoming.toHex(' ');
    m_lastArrival.start();
    if (m_quiet == Quiet::BeforeWrite) {
        // Still on their way when the input was discarded: they belong to no answer to come.
        qCDebug(lcSerial) << "discarded" << incoming.size() << "bytes that came before a command";
        return;
    }

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
        && m_received.size() >= m_receiveThreshold && m_quiet == Quiet::Off) {
        m_quiet = Quiet::BeforeReceiveEvent;
        startQuietWait();
    }
}

void QtSerialLink::startQuietWait()
{
    m_quietStarted.start();
    m_quietTimer.start(kQuietGapMs);
}

void QtSerialLink::stopQuietWait()
{
    m_quietTimer.stop();
    m_quiet = Quiet::Off;
    m_heldWrite.clear();
}

void QtSerialLink::onQuietTimer()
{
    constexpr qint64 kNsPerMs = 1000 * 1000;
    const qint64 waited = m_quietStarted.nsecsElapsed();
    const qint64 quietFor = m_lastArrival.isValid() ? m_lastArrival.nsecsElapsed() : waited;
    const qint64 gap = kQuietGapMs * kNsPerMs;
    const qint64 limit = kQuietWaitMs * kNsPerMs;
    if (quietFor < gap && waited < limit) {
        const qint64 more = std::min(gap - quietFor, limit - waited);
        m_quietTimer.start(static_cast<int>((more + kNsPerMs - 1) / kNsPerMs));
        return;
    }
    const Quiet was = std::exchange(m_quiet, Quiet::Off);
    if (!isOpen())
        return;
    if (was == Quiet::BeforeWrite) {
        sendNow(std::exchange(m_heldWrite, {}));
        return;
    }
    if (was == Quiet::BeforeReceiveEvent && m_receiveThreshold > 0
        && m_received.size() >= m_receiveThreshold)
        emit commEvent(CommEvent::ReceiveThreshold);
}

void QtSerialLink::onBytesWritten()
{
    if (!m_sendEventArmed || m_sendThreshold <= 0 || m_lost
        || m_port.bytesToWrite() >= m_sendThreshold)
        return;
    m_sendEventArmed = false;
    // bytesWritten can come from inside flush(), i.e. from inside a write: post the event.
    QMetaObject::invokeMethod(
        this, [this, serial = m_writeSerial] { deliverSendEvent(serial); }, Qt::QueuedConnection);
}

void QtSerialLink::deliverSendEvent(quint64 writeSerial)
{
    if (writeSerial != m_writeSerial || m_sendThreshold <= 0 || !isOpen())
        return;
    emit commEvent(CommEvent::SendThreshold);
}

void QtSerialLink::onErrorOccurred(QSerialPort::SerialPortError error)
{
    // Qt 6 reports no parity, framing, break or overrun conditions, so this link never raises
    // CommEvent::HardwareOverrun or the other line-error events; only thresholds come from it.
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
        return;
    case QSerialPort::UnsupportedOperationError:
        // DTR/RTS and pinout signals on a pseudo-terminal: harmless.
        qCDebug(lcSerial).noquote() << m_portName << "does not support:" << m_port.errorString();
        return;
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
        if (!m_port.isOpen() || m_lost)
            return;
        if (error != QSerialPort::WriteError && !lineGone()) {
            // A read of no bytes: its data was flushed after the port said it was readable.
            qCDebug(lcSerial).noquote() << m_portName << "read nothing:" << m_port.errorString();
            m_port.clearError();
            // Qt stops reading after a resource error; setting the buffer size resumes it.
            m_port.setReadBufferSize(m_port.readBufferSize());
            return;
        }
        // After a hang-up Qt keeps reporting this at full speed until the port is closed.
        m_lost = true;
        m_sendEventArmed = false;
        // Qt's own text carries whatever errno was left over (a hang-up reads as end of file).
        m_errorString = error == QSerialPort::ResourceError
            ? QStringLiteral("%1: device removed or no longer available").arg(m_portName)
            : QStringLiteral("%1: connection lost (%2 failed)")
                  .arg(m_portName,
                       error == QSerialPort::ReadError ? QStringLiteral("read")
                                                       : QStringLiteral("write"));
        qCWarning(lcSerial).noquote() << m_errorString;
        qCDebug(lcSerial).noquote() << "port error" << error << m_port.errorString();
        // Closing here would delete the port's notifier inside its own handler: close next turn.
        QMetaObject::invokeMethod(this, &QtSerialLink::finishLoss, Qt::QueuedConnection);
        return;
    default:
        if (m_port.isOpen())
            qCInfo(lcSerial).noquote() << m_portName << "reported:" << m_port.errorString();
        return;
    }
}

bool QtSerialLink::lineGone() const
{
#ifdef Q_OS_UNIX
    // A hang-up (the other end closed, the adapter pulled) shows on the descriptor; the read
    // that failed with EIO or ENXIO leaves it there too, while errno may be left over.
    pollfd fd { static_cast<int>(m_port.handle()), POLLIN, 0 };
    if (::poll(&fd, 1, 0) < 0)
        return true;
    return (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return true;
#endif
}

void QtSerialLink::finishLoss()
{
    if (!m_lost)
        return;
    m_lost = false;
    if (m_port.isOpen())
        m_port.close();
    stopQuietWait();
    m_received.clear();
    reportDropped();
    ++m_writeSerial;
    // The reason first, so that anyone showing the closed port can already say why.
    emit portFailed(m_errorString);
    emit openChanged(false);
}

void QtSerialLink::reportDropped()
{
    if (m_droppedSinceFull == 0)
        return;
    qCInfo(lcSerial) << "dropped" << m_droppedSinceFull
                     << "bytes that arrived while the receive buffer was full";
    m_droppedSinceFull = 0;
}

} // namespace vantor::serial
