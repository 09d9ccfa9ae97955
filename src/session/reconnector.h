// SPDX-License-Identifier: MIT
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

namespace vantor::session {

class Session;

// Reopens the session's port by itself after it was lost or could not be opened: every second
// at first, backing off to every kLongestRetryMs, and at once when the device's name appears
// in its folder, so a return after a long absence is still picked up quickly. It only reopens;
// what follows a reopening (a read first, resuming a watch) is each executable's own policy,
// on the session's linkOpened / linkReopened signals.
class Reconnector : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLongestRetryMs = 5000;

    explicit Reconnector(Session &session, QObject *parent = nullptr);

    // Off: nothing is retried (a retry already waiting is dropped).
    void setEnabled(bool on);
    [[nodiscard]] bool isEnabled() const { return m_enabled; }
    // A reopening is waiting for its time or for the device to appear.
    [[nodiscard]] bool isWaiting() const { return m_retry.isActive(); }

signals:
    // The next attempt, in ms; the device is also watched for meanwhile.
    void retryScheduled(int inMs);

private:
    void schedule();
    void attempt();
    void stop();
    void onFolderChanged();

    Session &m_session;
    QTimer m_retry;
    QFileSystemWatcher m_watcher;
    int m_nextDelayMs = kFirstRetryMs;
    bool m_enabled = true;
};

} // namespace vantor::session
