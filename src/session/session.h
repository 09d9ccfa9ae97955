// SPDX-License-Identifier: MIT
#pragma once

#include "decodedanswer.h"

#include <codec/settingsstore.h>
#include <protocol/commands.h>
#include <serial/portcontrol.h>

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <span>

namespace vantor::protocol {
class TransactionEngine;
class Timer;
} // namespace vantor::protocol

namespace vantor::serial {
class SerialLink;
}

namespace vantor::session {

// How start-up treats the board: the designed start writes the window's defaults to it;
// KeepBoardSettings reads the whole board instead and writes nothing.
enum class StartMode { WriteDefaults, KeepBoardSettings };

// The panel's behaviour without its window: the port, the transaction engine with its two
// timers, the port count, and the panel's actions as operations. Settings are read from and
// written into a store (the window's controls, or memory); every answer is decoded into the
// store and announced once, with its bytes and its decoded snapshot, before the transaction
// ends.
class Session : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRefreshIntervalMs = 500;

    // Null timers: the session makes real ones (auto-refresh, answer time-out).
    Session(serial::SerialLink &link, serial::PortMap map, codec::SettingsStore &store,
            protocol::Timer *refreshTimer = nullptr, protocol::Timer *timeoutTimer = nullptr,
            QObject *parent = nullptr);
    ~Session() override;

    // Where the port group is taken from when a transaction ends (the window: its tab strip).
    void setPortGroupSource(std::function<int()> source);
    // A fixed port group, taken at once: for a caller without a tab strip, while idle.
    void usePortGroup(int group);
    // The group in the command codes, and the one an answer is shown and kept for.
    [[nodiscard]] int portGroup() const;

    // Start-up: opens COM1, sets the start-up choices, switches auto-refresh on and writes
    // the configuration in the store (the system block, then the port block). With
    // KeepBoardSettings a whole read takes the place of both writes, and the port count is
    // taken from its answer.
    void start(StartMode mode = StartMode::WriteDefaults);
    void loadFromDevice();
    // "Save to Device": takes the port count, enables the LED drive lists as "Port LED Direct
    // Write" says, writes both blocks and clears "Calibrate System". All or nothing: when
    // either block cannot be built, nothing is sent, nothing changes, and false is returned.
    bool saveToDevice();
    void sendPortControl();
    void refresh();
    void setAutoRefresh(bool on);
    [[nodiscard]] bool autoRefresh() const { return m_autoRefresh; }
    // "Reset GUI": auto-refresh off, the transaction in flight and the pending ones dropped,
    // and a whole read at once.
    void resetTransactions();
    // A whole read of one group that never writes anything; the group is taken at once.
    void readGroup(int group);

    [[nodiscard]] int portCount() const { return m_portCount; }
    void setPortCount(int count) { m_portCount = count; }
    // The groups the port count lets the operator select: 0 .. portCount / 8 - 1.
    [[nodiscard]] bool groupAllowed(int group) const;
    [[nodiscard]] int highestAllowedGroup() const;

    // OpenPort, the menu's port choice and "Reset Port".
    bool openPort();
    bool choosePort(int commPortNumber);
    bool resetPort();
    [[nodiscard]] serial::PortControl &portControl() { return m_portControl; }
    [[nodiscard]] serial::SerialLink &link() { return m_link; }
    [[nodiscard]] bool isOpen() const;

    [[nodiscard]] protocol::TransactionEngine &engine() { return *m_engine; }
    [[nodiscard]] codec::SettingsStore &store() { return m_store; }
    [[nodiscard]] protocol::Timer &refreshTimer() { return *m_refreshTimer; }
    [[nodiscard]] protocol::Timer &timeoutTimer() { return *m_timeoutTimer; }

    // The clock that stamps answers (UTC milliseconds); tests set their own.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

signals:
    void linkOpened(const QString &device);
    // Opened again after it was lost.
    void linkReopened(const QString &device);
    void linkOpenFailed(const QString &device, const QString &reason);
    // Lost while open (adapter pulled, line hung up); it is closed now.
    void linkLost(const QString &reason);
    void linkClosed();

    void requestLaunched(vantor::protocol::RequestKind kind, std::uint8_t code);
    void requestCompleted(vantor::protocol::RequestKind kind);
    void requestTimedOut(vantor::protocol::RequestKind kind);
    // Nothing was sent: a block could not be built (the reason names the entry).
    void requestRefused(vantor::protocol::RequestKind kind, const QString &reason);
    void requestFailed(vantor::protocol::RequestKind kind, const QString &reason);

    void answerDecoded(const vantor::session::DecodedAnswer &answer);
    void autoRefreshChanged(bool on);
    // Something worth telling the operator that no other signal carries.
    void notice(const QString &message);

private:
    void onAnswer(std::uint8_t code, std::span<const std::uint8_t> block);
    void onRefreshTick();
    void takePortCount(codec::Snapshot snapshot);
    void abandonTransaction(const QString &reason);
    void onOpenChanged(bool open);
    void onPortFailed(const QString &reason);

    serial::SerialLink &m_link;
    serial::PortControl m_portControl;
    codec::SettingsStore &m_store;
    std::unique_ptr<protocol::Timer> m_ownRefreshTimer;
    std::unique_ptr<protocol::Timer> m_ownTimeoutTimer;
    protocol::Timer *m_refreshTimer = nullptr;
    protocol::Timer *m_timeoutTimer = nullptr;
    std::unique_ptr<protocol::TransactionEngine> m_engine;
    std::function<int()> m_portGroupSource;
    std::function<qint64()> m_clock;

    int m_portCount = protocol::kPortsPerGroup;
    bool m_autoRefresh = false;
    // A save's system write is still to be built: if it is refused then, its port write goes too.
    bool m_saveAwaitsSystemWrite = false;
    // The next whole read sets the port count (start-up that keeps the board's settings).
    bool m_portCountFromRead = false;
    bool m_open = false;
    bool m_lost = false;
};

} // namespace vantor::session
