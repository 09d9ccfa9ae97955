// SPDX-License-Identifier: MIT
#include "reopener.h"

#include "logging.h"

#include <protocol/timer.h>
#include <serial/seriallink.h>

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace vantor::share {

Reopener::Reopener(serial::SerialLink &link, protocol::Timer &retry, QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_retry(retry)
{
    connect(&m_retry, &protocol::Timer::timeout, this, &Reopener::attempt);
    connect(&m_link, &serial::SerialLink::portFailed, this, &Reopener::onFailed);
    connect(&m_link, &serial::SerialLink::openChanged, this, &Reopener::onOpenChanged);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &Reopener::onFolderChanged);
}

bool Reopener::isWaiting() const
{
    return m_retry.isActive();
}

QString Reopener::watchedPath() const
{
    // A URL names no file to watch for.
    const QString name = m_link.portName();
    return QDir::isAbsolutePath(name) && !name.contains(QLatin1String("://")) ? name : QString();
}

void Reopener::onFailed(const QString &reason)
{
    // The same failure again and again is told once.
    if (reason != m_lastReason)
        qCInfo(lcShare).noquote() << "the board cannot be reached:" << reason << "- trying again";
    m_lastReason = reason;
    // A loss comes with openChanged(false) after it; an open failure comes alone.
    if (!m_link.isOpen())
        schedule();
}

void Reopener::onOpenChanged(bool open)
{
    if (!open) {
        schedule();
        return;
    }
    m_retry.stop();
    m_nextDelayMs = kFirstRetryMs;
    m_lastReason.clear();
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
}

void Reopener::schedule()
{
    if (m_link.isOpen() || m_retry.isActive())
        return;
    const QString path = watchedPath();
    if (!path.isEmpty()) {
        // udev may take the folder away with the device: watch the nearest one that exists.
        QString folder = QFileInfo(path).absolutePath();
        while (!QFileInfo(folder).isDir() && QFileInfo(folder).path() != folder)
            folder = QFileInfo(folder).path();
        if (m_watcher.directories() != QStringList { folder }) {
            if (!m_watcher.directories().isEmpty())
                m_watcher.removePaths(m_watcher.directories());
            m_watcher.addPath(folder);
        }
    }
    m_retry.setInterval(m_nextDelayMs);
    m_retry.start();
    m_nextDelayMs = std::min(m_nextDelayMs * 2, kLongestRetryMs);
}

void Reopener::attempt()
{
    m_retry.stop();
    if (m_link.isOpen())
        return;
    const QString path = watchedPath();
    if (!path.isEmpty() && !QFileInfo::exists(path)) {
        schedule();
        return;
    }
    // A failure comes back through portFailed, which schedules the next attempt.
    m_link.open();
}

void Reopener::onFolderChanged()
{
    const QString path = watchedPath();
    if (m_retry.isActive() && !path.isEmpty() && QFileInfo::exists(path)) {
        m_nextDelayMs = kFirstRetryMs;
        attempt();
    }
}

} // namespace vantor::share
