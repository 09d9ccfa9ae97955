// SPDX-License-Identifier: MIT
#pragma once

// The whole panel in this process: the main window with its real timers, the real serial
// link, and the simulated board on a pseudo-terminal behind COM1.

#include "e2ewire.h"
#include "sessionseam.h"

#include <boardonpty.h>

#include <protocol/timer.h>
#include <protocol/transactionengine.h>
#include <serial/qtseriallink.h>
#include <session/session.h>
#include <window/controls.h>
#include <window/mainwindow.h>
#include <window/numericentry.h>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace vantor::e2e {

// How long past one answer time-out the engine may still be busy: scheduling, not protocol.
inline constexpr int kSlackMs = 1500;
inline constexpr int kIdleWithinMs = protocol::TransactionEngine::kAnswerTimeoutMs + kSlackMs;

struct Tally
{
    int launched = 0;
    int completed = 0;
    int timedOut = 0;
    int failed = 0;
};

// The board and its scratch directory outlive the window and its link.
class Rig : public testing::BoardOnPty
{
public:
    // The board behind COM1, the window started and shown on it, and both start-up writes
    // taken by the board.
    bool start(bool paced)
    {
        if (!BoardOnPty::start(paced, QStringLiteral("com1")))
            return false;
        serial::PortMap map;
        map.setDevice(1, board.devicePath());
        ownSession = std::make_unique<session::Session>(link, map);
        window = std::make_unique<window::MainWindow>(*ownSession);
        protocol::TransactionEngine *e = &testing::SessionSeam::engine(window->session());
        QObject::connect(e, &protocol::TransactionEngine::requestLaunched, e,
                         [this] { ++tally.launched; });
        QObject::connect(e, &protocol::TransactionEngine::requestCompleted, e,
                         [this] { ++tally.completed; });
        QObject::connect(e, &protocol::TransactionEngine::requestTimedOut, e,
                         [this] { ++tally.timedOut; });
        QObject::connect(e, &protocol::TransactionEngine::requestFailed, e,
                         [this] { ++tally.failed; });

        heartbeat.setInterval(20);
        QObject::connect(&heartbeat, &QTimer::timeout, &heartbeat,
                         [this] { longestGapMs = std::max(longestGapMs, sinceBeat.restart()); });
        sinceBeat.start();
        heartbeat.start();

        window->formLoad();
        window->show();
        return QTest::qWaitFor(
            [this] {
                return board.model().systemWrites() == 1 && board.model().portWrites(0) == 1
                    && !engine().transactionBusy();
            },
            5000);
    }

    window::MainControls &c() { return window->controls(); }
    protocol::TransactionEngine &engine()
    {
        return testing::SessionSeam::engine(window->session());
    }
    session::Session &session() { return window->session(); }

    void click(const QString &objectName)
    {
        auto *button = window->findChild<QAbstractButton *>(objectName);
        QVERIFY2(button, qPrintable(objectName));
        QVERIFY2(button->isEnabled(), qPrintable(objectName + QStringLiteral(" is disabled")));
        button->click();
    }

    void setAutoRefresh(bool on)
    {
        if ((window::checkValue(c().Interval_Update) != 0) != on)
            c().Interval_Update->click();
    }

    // As the operator types: the field's text selected and replaced by keystrokes.
    static void type(window::NumericEntry *entry, const QString &text)
    {
        entry->setFocus();
        entry->selectAll();
        QTest::keyClicks(entry, text);
    }

    bool waitIdle(int withinMs = kIdleWithinMs)
    {
        return QTest::qWaitFor([this] { return !engine().transactionBusy(); }, withinMs);
    }

    // "Update Port Status Only" (auto-refresh off), waited for until it has been decoded.
    bool refreshOnce()
    {
        const int before = tally.completed;
        c().Update_Port_Status->click();
        return QTest::qWaitFor([&] { return tally.completed > before; }, kIdleWithinMs)
            && waitIdle();
    }

    // What a port status refresh shows: totals and each port's readings and texts.
    QStringList statusTexts()
    {
        window::MainControls &m = c();
        QStringList texts { m.BOX_PWR->text(), m.PORT_SVC_NUM->text() };
        for (int p = 0; p < protocol::kPortsPerGroup; ++p) {
            for (const QLabel *label :
                 { m.PORT_VOLTAGE[p], m.PORT_CURRENT[p], m.PORT_POWER[p], m.PORT_FLT_MODE_1[p],
                   m.PORT_FLT_MODE_2[p], m.PORT_CLASS_1[p], m.PORT_DISC_R[p] })
                texts.append(label->text());
        }
        return texts;
    }

    void resetHeartbeat()
    {
        longestGapMs = 0;
        sinceBeat.restart();
    }

    // Declared in the order they must be torn down in reverse: the window before its link.
    serial::QtSerialLink link;
    std::unique_ptr<session::Session> ownSession;
    std::unique_ptr<window::MainWindow> window;
    Tally tally;
    // Turns of the event loop; a gap as long as a time-out would mean the panel blocked it.
    QTimer heartbeat;
    QElapsedTimer sinceBeat;
    qint64 longestGapMs = 0;
};

} // namespace vantor::e2e
