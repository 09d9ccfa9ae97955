// SPDX-License-Identifier: MIT
#pragma once

// The window on a fake link with hand-fired timers, COM1..COM3 on fake devices, for the tests
// of the window and of the views beside it.

#include "fakes.h"
#include "sessionseam.h"

#include <window/controls.h>
#include <window/mainwindow.h>

#include <protocol/transactionengine.h>
#include <session/session.h>

#include <QPushButton>
#include <QTest>

#include <memory>

namespace vantor::testing {

struct FakePanel
{
    explicit FakePanel(const QString &com1 = QStringLiteral("/dev/fake-com1"))
    {
        map.setDevice(1, com1);
        map.setDevice(2, QStringLiteral("/dev/fake-com2"));
        map.setDevice(3, QStringLiteral("/dev/fake-com3"));
        ownSession = std::make_unique<session::Session>(link, map, nullptr, &timer1, &timer2);
        window = std::make_unique<window::MainWindow>(*ownSession);
    }

    // Start-up, then the board acknowledges both writes and takes both blocks.
    void startAndSettle()
    {
        window->formLoad();
        for (int write = 0; write < 2; ++write) {
            link.feed(QByteArray(1, '\x06'));
            link.drain();
        }
        link.takeWire();
    }

    window::MainControls &c() { return window->controls(); }
    session::Session &session() { return window->session(); }
    protocol::TransactionEngine &engine()
    {
        return testing::SessionSeam::engine(window->session());
    }

    serial::PortMap map;
    FakeLink link;
    FakeTimer timer1;
    FakeTimer timer2;
    std::unique_ptr<session::Session> ownSession;
    std::unique_ptr<window::MainWindow> window;
};

// Started and shown, for the tests that look at how the window is drawn and reached rather
// than what it sends.
struct ShownPanel : FakePanel
{
    ShownPanel()
    {
        window->formLoad();
        // Every tab may be selected, so that every page can be looked at.
        testing::SessionSeam::setPortCount(window->session(), window::kElementCount);
        window->show();
    }

    [[nodiscard]] bool exposed() { return QTest::qWaitForWindowExposed(window.get()); }

    // "Load from Device", answered with the given snapshot once the start-up writes are done.
    void loadFromDevice(const QByteArray &snapshot)
    {
        for (int round = 0; round < 4 && engine().transactionBusy(); ++round) {
            link.feed(QByteArray(1, '\x06'));
            link.drain();
        }
        c().Update_All->click();
        link.feed(snapshot);
    }
};

} // namespace vantor::testing
