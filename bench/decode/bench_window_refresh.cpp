// SPDX-License-Identifier: MIT
// Time to apply one port status refresh to the window: the answer through the engine and the
// session (decoded, kept, announced) into the status labels, LEDs and paused-fault boxes of
// eight ports, on the offscreen platform with the window shown.

#include "benchutil.h"

#include <fakes.h>

#include <session/session.h>
#include <window/mainwindow.h>

#include <QApplication>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QTextStream>

#include <vector>

using namespace vantor;

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("vantor.*.info=false"));

    serial::PortMap map;
    testing::FakeLink link;
    testing::FakeTimer timer1;
    testing::FakeTimer timer2;
    session::Session session(link, map, nullptr, &timer1, &timer2);
    window::MainWindow window(session);
    window.show();
    QCoreApplication::processEvents();

    QRandomGenerator rng(500);
    std::vector<QByteArray> blocks(32, QByteArray(protocol::kSnapshotSize, '\0'));
    for (auto &block : blocks)
        for (auto &byte : block)
            byte = static_cast<char>(rng.bounded(256));

    const auto refresh = [&](int i) {
        window.session().refresh();
        link.feed(blocks[static_cast<std::size_t>(i) % blocks.size()]);
    };
    // One refresh a run; the window repaints between runs, as it does between ticks.
    int next = 0;
    const auto timed = [&](auto &&work) {
        std::vector<double> samples;
        for (int r = 0; r < 501; ++r) {
            QCoreApplication::processEvents();
            samples.push_back(bench::medianMicroseconds(1, 1, work));
        }
        std::nth_element(samples.begin(), samples.begin() + 250, samples.end());
        return samples[250] / 1000.0;
    };
    const double apply = timed([&](int) { refresh(next++); });
    const double painted = timed([&](int) {
        refresh(next++);
        QCoreApplication::processEvents();
    });

    QTextStream out(stdout);
    out << "apply one port refresh to the window:        " << apply << " ms (median)\n";
    out << "apply one port refresh and repaint:          " << painted << " ms (median)\n";
    out << "target: under 1 ms\n";
    return 0;
}
