// SPDX-License-Identifier: MIT
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

#include <memory>

namespace vantor::protocol {
class Timer;
}

namespace vantor::serial {
class PortInfoSource;
}

namespace vantor::session {

class Session;

// Reopens the session's port by itself after it was lost or could not be opened: every second
// at first, backing off to every kLongestRetryMs, and at once when the device's name appears
// in its folder (the nearest folder that exists is watched), so a return after a long absence
// is still picked up quickly. Between attempts it only sleeps: no polling of the device.
//
// An adapter with another serial number on the same name is not opened: adapterChanged tells
// it once, and the operator chooses it (any open of the port accepts the adapter found then).
//
// A network board (tcp://, rfc2217://) has neither a folder to watch nor a serial number: it
// is only tried, every second at first, backing off to every kLongestNetworkRetryMs, so that a
// server that returns is back within a few seconds as an adapter is.
//
// It only reopens; what follows a reopening (a read first, resuming a watch) is each
// executable's own policy, on the session's linkOpened / linkReopened signals.
class Reconnector : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLongestRetryMs = 5000;
    static constexpr int kLongestNetworkRetryMs = 2000;

    explicit Reconnector(Session &session, QObject *parent = nullptr);
    ~Reconnector() override;

    // A reopening is waiting for its time or for the device to appear.
    [[nodiscard]] bool isWaiting() const;

    // Where adapters' serial numbers are looked up; the system's serial ports by default.
    void setPortInfoSource(std::shared_ptr<const serial::PortInfoSource> source);
    // The timer between attempts (tests fire theirs by hand); it must outlive this object.
    void setRetryTimer(protocol::Timer &timer);

    // The serial number of the adapter last open on the port; empty when none was listed.
    [[nodiscard]] QString expectedSerialNumber() const { return m_expectedSerial; }
    [[nodiscard]] QStringList watchedFolders() const { return m_watcher.directories(); }

signals:
    // The next attempt, in ms; the device is also watched for meanwhile.
    void retryScheduled(int inMs);
    // The device is back, but it is another adapter than the one that was open.
    void adapterChanged(const QString &device, const QString &expectedSerialNumber,
                        const QString &foundSerialNumber);

private:
    void onLinkDown();
    void onLinkUp();
    void schedule();
    void attempt();
    void stop();
    void watch(const QString &path);
    void onFolderChanged();
    [[nodiscard]] QString devicePath() const;
    [[nodiscard]] QString serialNumberOf(const QString &device) const;
    [[nodiscard]] bool isNetworkDevice() const;

    Session &m_session;
    std::unique_ptr<protocol::Timer> m_ownTimer;
    protocol::Timer *m_retry = nullptr;
    QFileSystemWatcher m_watcher;
    std::shared_ptr<const serial::PortInfoSource> m_ports;
    QString m_expectedSerial;
    // The other adapter already reported, so that it is told once.
    QString m_reportedSerial;
    int m_nextDelayMs = kFirstRetryMs;
    // Lost or failed to open, and not open since.
    bool m_wanted = false;
    // The device's name was there when last looked at.
    bool m_present = false;
};

} // namespace vantor::session
