// SPDX-License-Identifier: MIT
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

namespace vantor::protocol {
class Timer;
}

namespace vantor::serial {
class SerialLink;
}

namespace vantor::share {

// Opens the board's link again after it was lost or could not be opened, as the panel does:
// after kFirstRetryMs, backing off to kLongestRetryMs, and at once when a device path appears
// in its folder (network links have no folder and wait for their time). It only opens: the
// share itself writes nothing on a reopened board, it reads it first.
class Reopener : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLongestRetryMs = 5000;

    // retry: the timer between attempts; it must outlive this object.
    Reopener(serial::SerialLink &link, protocol::Timer &retry, QObject *parent = nullptr);

    [[nodiscard]] bool isWaiting() const;
    [[nodiscard]] int nextDelayMs() const { return m_nextDelayMs; }

private:
    void onFailed(const QString &reason);
    void onOpenChanged(bool open);
    void schedule();
    void attempt();
    void onFolderChanged();
    [[nodiscard]] QString watchedPath() const;

    serial::SerialLink &m_link;
    protocol::Timer &m_retry;
    QFileSystemWatcher m_watcher;
    int m_nextDelayMs = kFirstRetryMs;
    QString m_lastReason;
};

} // namespace vantor::share
