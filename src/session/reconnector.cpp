// SPDX-License-Identifier: MIT
#include "reconnector.h"

#include "logging.h"
#include "session.h"

#include <protocol/timer.h>
#include <serial/portinfo.h>
#include <serial/seriallink.h>

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace vantor::session {

namespace {

// The nearest folder above `path` that exists: udev removes /dev/serial/by-id with its last
// adapter, and creates it again with the next one.
QString nearestFolder(const QString &path)
{
    QString folder = QFileInfo(path).absolutePath();
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder)
            break;
        folder = parent;
    }
    return folder;
}

} // namespace

Reconnector::Reconnector(Session &session, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_ownTimer(std::make_unique<protocol::QtTimer>())
    , m_ports(std::make_shared<serial::SystemPortInfoSource>())
{
    setRetryTimer(*m_ownTimer);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &Reconnector::onFolderChanged);
    connect(&session, &Session::linkLost, this, &Reconnector::onLinkDown);
    connect(&session, &Session::linkOpenFailed, this, &Reconnector::onLinkDown);
    connect(&session, &Session::linkOpened, this, &Reconnector::onLinkUp);
    connect(&session, &Session::linkReopened, this, &Reconnector::onLinkUp);
}

Reconnector::~Reconnector() = default;

void Reconnector::setRetryTimer(protocol::Timer &timer)
{
    const bool waiting = isWaiting();
    if (m_retry) {
        m_retry->stop();
        disconnect(m_retry, nullptr, this, nullptr);
    }
    m_retry = &timer;
    connect(m_retry, &protocol::Timer::timeout, this, &Reconnector::attempt);
    if (waiting)
        m_retry->start();
}

void Reconnector::setPortInfoSource(std::shared_ptr<const serial::PortInfoSource> source)
{
    if (source)
        m_ports = std::move(source);
}

bool Reconnector::isWaiting() const
{
    return m_retry && m_retry->isActive();
}

void Reconnector::onLinkDown()
{
    m_wanted = true;
    schedule();
}

void Reconnector::onLinkUp()
{
    stop();
    m_wanted = false;
    m_reportedSerial.clear();
    m_expectedSerial = serialNumberOf(m_session.linkDevice());
}

QString Reconnector::devicePath() const
{
    return serial::systemPathOf(m_session.chosenDevice());
}

QString Reconnector::serialNumberOf(const QString &device) const
{
    const std::optional<serial::PortInfo> port = serial::findPort(m_ports->ports(), device);
    return port ? port->serialNumber : QString();
}

void Reconnector::schedule()
{
    if (m_session.isOpen())
        return;
    const QString path = devicePath();
    m_present = QFileInfo::exists(path);
    watch(path);
    qCDebug(lcSession).noquote() << "reopening" << path << "in" << m_nextDelayMs << "ms";
    m_retry->setInterval(m_nextDelayMs);
    m_retry->start();
    emit retryScheduled(m_nextDelayMs);
    m_nextDelayMs = std::min(m_nextDelayMs * 2, kLongestRetryMs);
}

void Reconnector::attempt()
{
    m_retry->stop();
    if (m_session.isOpen())
        return;
    const QString device = m_session.chosenDevice();
    const QString path = devicePath();
    // Nothing there to open: wait on, quietly.
    if (QDir::isAbsolutePath(path) && !QFileInfo::exists(path)) {
        schedule();
        return;
    }
    if (!m_expectedSerial.isEmpty()) {
        const QString found = serialNumberOf(device);
        if (!found.isEmpty() && found != m_expectedSerial) {
            if (found != m_reportedSerial) {
                m_reportedSerial = found;
                qCInfo(lcSession).noquote() << device << "is now adapter" << found << "not"
                                            << m_expectedSerial << "- left closed";
                emit adapterChanged(device, m_expectedSerial, found);
            }
            schedule();
            return;
        }
    }
    // A failure comes back through linkOpenFailed, which schedules the next attempt.
    m_session.openPort();
}

void Reconnector::stop()
{
    if (m_retry)
        m_retry->stop();
    m_nextDelayMs = kFirstRetryMs;
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
}

void Reconnector::watch(const QString &path)
{
    if (!QDir::isAbsolutePath(path))
        return;
    const QString folder = nearestFolder(path);
    if (m_watcher.directories() == QStringList { folder })
        return;
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
    m_watcher.addPath(folder);
}

void Reconnector::onFolderChanged()
{
    if (!isWaiting())
        return;
    const QString path = devicePath();
    const bool present = QFileInfo::exists(path);
    const bool appeared = present && !m_present;
    m_present = present;
    // A folder on the way may have appeared: watch the nearest one again.
    watch(path);
    if (appeared) {
        m_nextDelayMs = kFirstRetryMs;
        attempt();
    }
}

} // namespace vantor::session
