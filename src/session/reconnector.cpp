// SPDX-License-Identifier: MIT
#include "reconnector.h"

#include "logging.h"
#include "session.h"

#include <serial/seriallink.h>

#include <QFileInfo>

#include <algorithm>

namespace vantor::session {

Reconnector::Reconnector(Session &session, QObject *parent)
    : QObject(parent)
    , m_session(session)
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &Reconnector::attempt);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this,
            &Reconnector::onFolderChanged);
    connect(&session, &Session::linkLost, this, &Reconnector::schedule);
    connect(&session, &Session::linkOpenFailed, this, &Reconnector::schedule);
    connect(&session, &Session::linkOpened, this, &Reconnector::stop);
    connect(&session, &Session::linkReopened, this, &Reconnector::stop);
}

void Reconnector::setEnabled(bool on)
{
    m_enabled = on;
    if (!on)
        stop();
}

void Reconnector::schedule()
{
    if (!m_enabled || m_session.isOpen())
        return;
    const QString device = m_session.portControl().device();
    const QString folder = QFileInfo(device).absolutePath();
    if (!folder.isEmpty() && !m_watcher.directories().contains(folder))
        m_watcher.addPath(folder);
    qCInfo(lcSession).noquote() << "reopening" << device << "in" << m_nextDelayMs << "ms";
    m_retry.start(m_nextDelayMs);
    emit retryScheduled(m_nextDelayMs);
    m_nextDelayMs = std::min(m_nextDelayMs * 2, kLongestRetryMs);
}

void Reconnector::attempt()
{
    if (!m_enabled || m_session.isOpen())
        return;
    // A failure comes back through linkOpenFailed, which schedules the next attempt.
    m_session.openPort();
}

void Reconnector::stop()
{
    m_retry.stop();
    m_nextDelayMs = kFirstRetryMs;
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
}

void Reconnector::onFolderChanged()
{
    if (m_retry.isActive() && QFileInfo::exists(m_session.portControl().device())) {
        m_retry.stop();
        attempt();
    }
}

} // namespace vantor::session
