// SPDX-License-Identifier: MIT
#pragma once

// The whole panel in this process on virtual time: the main window, its session, engine and
// reconnector on clocked timers, and the board's model behind a fake link (tests/support
// virtualboard.h). Everything but the line and the clock is the real thing.

#include <virtualboard.h>
#include <virtualtime.h>

#include <protocol/transactionengine.h>
#include <session/reconnector.h>
#include <session/session.h>
#include <window/controls.h>
#include <window/mainwindow.h>
#include <window/numericentry.h>
#include <window/staledisplay.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace vantor::e2e {

struct VirtualTally
{
    int launched = 0;
    int completed = 0;
    int timedOut = 0;
    int failed = 0;
};

class VirtualRig
{
public:
    static constexpr int kTimeoutMs = protocol::TransactionEngine::kAnswerTimeoutMs;

    VirtualRig()
        : board(link, time, dir.filePath(QStringLiteral("usb-bench-if00")))
    {
        // Closed, as before start-up.
        link.close();
        serial::PortMap map;
        map.setDevice(1, board.device());
        ownSession
            = std::make_unique<session::Session>(link, map, nullptr, &refreshTimer, &timeoutTimer);
        window = std::make_unique<window::MainWindow>(*ownSession);
        window->reconnector().setRetryTimer(retryTimer);
        window->setPortInfoSource(std::make_shared<testing::FakePortInfo>());
        session().setClock([this] { return time.epochMs(); });
        session::Session *s = &session();
        QObject::connect(s, &session::Session::requestLaunched, s, [this] { ++tally.launched; });
        QObject::connect(s, &session::Session::requestCompleted, s, [this] { ++tally.completed; });
        QObject::connect(s, &session::Session::requestTimedOut, s, [this] { ++tally.timedOut; });
        QObject::connect(s, &session::Session::requestFailed, s, [this] { ++tally.failed; });
    }
    // The window goes before the timers and the link it holds.
    ~VirtualRig() { window.reset(); }

    // Start-up as designed, both writes taken by the board.
    bool start()
    {
        window->formLoad();
        window->show();
        return time.advanceUntil(
            [this] {
                return board.model().systemWrites() == 1 && board.model().portWrites(0) == 1
                    && !busy();
            },
            1000);
    }

    window::MainControls &c() { return window->controls(); }
    session::Session &session() { return window->session(); }
    // A transaction is in flight exactly while its answer time-out runs.
    [[nodiscard]] bool busy() const { return timeoutTimer.isActive(); }

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

    static void type(window::NumericEntry *entry, const QString &text)
    {
        entry->setFocus();
        entry->selectAll();
        QTest::keyClicks(entry, text);
    }

    // Idle again within one answer time-out (plus the line's time for a block).
    bool waitIdle(int withinMs = kTimeoutMs + 300)
    {
        return time.advanceUntil([this] { return !busy(); }, withinMs);
    }

    bool refreshOnce()
    {
        const int before = tally.completed;
        c().Update_Port_Status->click();
        return time.advanceUntil([&] { return tally.completed > before; }, kTimeoutMs)
            && waitIdle();
    }

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

    QByteArray image(int group = 0)
    {
        const sim::Snapshot &i = board.model().image(group);
        return QByteArray(reinterpret_cast<const char *>(i.data()), qsizetype(i.size()));
    }

    testing::VirtualTime time;
    QTemporaryDir dir;
    testing::FakeLink link;
    testing::ClockedTimer refreshTimer { time };
    testing::ClockedTimer timeoutTimer { time };
    testing::ClockedTimer retryTimer { time };
    testing::VirtualBoard board;
    std::unique_ptr<session::Session> ownSession;
    std::unique_ptr<window::MainWindow> window;
    VirtualTally tally;
};

} // namespace vantor::e2e
