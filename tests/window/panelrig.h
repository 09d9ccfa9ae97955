// SPDX-License-Identifier: MIT
#pragma once

// A started, shown window on a fake link, for the tests that look at how it is drawn and
// reached rather than what it sends.

#include <fakes.h>

#include <window/controls.h>
#include <window/mainwindow.h>

#include <protocol/transactionengine.h>
#include <session/session.h>

#include <QPushButton>
#include <QTest>

#include <memory>

namespace vantor::testing {

struct ShownPanel
{
    ShownPanel()
    {
        map.setDevice(1, QStringLiteral("/dev/fake-com1"));
        window = std::make_unique<window::MainWindow>(link, map, &timer1, &timer2);
        window->formLoad();
        // Every tab may be selected, so that every page can be looked at.
        window->session().setPortCount(window::kElementCount);
        window->show();
    }

    [[nodiscard]] bool exposed() { return QTest::qWaitForWindowExposed(window.get()); }

    // "Load from Device", answered with the given snapshot once the start-up writes are done.
    void loadFromDevice(const QByteArray &snapshot)
    {
        for (int round = 0; round < 4 && window->session().engine().transactionBusy(); ++round) {
            link.feed(QByteArray(1, '\x06'));
            link.drain();
        }
        window->controls().Update_All->click();
        link.feed(snapshot);
    }
    window::MainControls &c() { return window->controls(); }

    serial::PortMap map;
    FakeLink link;
    FakeTimer timer1;
    FakeTimer timer2;
    std::unique_ptr<window::MainWindow> window;
};

} // namespace vantor::testing
