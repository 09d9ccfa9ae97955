// SPDX-License-Identifier: MIT
// Feeds the transaction engine arbitrary sequences of requests, port events, timer ticks
// and bytes. Invariants: never busy without a running time-out (so never stuck longer than
// one time-out after the last event), never a pending request while idle, and an answer is
// only decoded when it holds a whole snapshot.

#include <fakes.h>
#include <fuzzcheck.h>

#include <protocol/transactionengine.h>

#include <QLoggingCategory>

using namespace vantor;
using vantor::testing::check;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("vantor.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    testing::FakeLink link;
    testing::FakeTimer timer1;
    testing::FakeTimer timer2;
    int tab = 0;
    bool refuseSystem = false;
    bool refusePort = false;
    unsigned checksum = 0;

    protocol::Hooks hooks;
    hooks.buildSystemBlock = [&](protocol::SystemBlock &block) -> std::optional<QString> {
        if (refuseSystem)
            return QStringLiteral("refused");
        block.fill(0x11);
        return std::nullopt;
    };
    hooks.buildPortBlock = [&](protocol::PortBlock &block) -> std::optional<QString> {
        if (refusePort)
            return QStringLiteral("refused");
        block.fill(0x22);
        return std::nullopt;
    };
    hooks.decodeAnswer = [&](std::uint8_t code, std::span<const std::uint8_t> block) {
        check(block.size() >= protocol::kSnapshotSize);
        check((code & 0xF8) == 8 || (code & 0xF8) == 40);
        for (std::uint8_t b : block)
            checksum += b;
    };
    hooks.portGroup = [&] {
        return tab;
    };
    protocol::TransactionEngine engine(link, timer2, hooks);
    // The auto-refresh timer, wired as the session wires it.
    QObject::connect(&timer1, &protocol::Timer::timeout, &engine,
                     &protocol::TransactionEngine::requestPortRefresh);
    timer1.start();

    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t op = data[i];
        const std::uint8_t arg = i + 1 < size ? data[i + 1] : 0;
        switch (op % 16) {
        case 0:
            engine.requestWholeRead();
            break;
        case 1:
            engine.requestSystemWrite();
            break;
        case 2:
            engine.requestPortWrite();
            break;
        case 3:
            engine.requestPortRefresh();
            break;
        case 4: {
            // A run of bytes: a snapshot-sized answer, one byte, or anything in between.
            const qsizetype count = arg < 8 ? 168 + arg : arg;
            link.feed(QByteArray(count, static_cast<char>(op)));
            ++i;
            break;
        }
        case 5:
            link.drain();
            break;
        case 6:
            timer1.fire();
            break;
        case 7:
            timer2.fire();
            break;
        case 8:
            link.raise(serial::CommEvent::HardwareOverrun);
            break;
        case 9:
            link.raise(static_cast<serial::CommEvent>(arg % 12 + 1000));
            ++i;
            break;
        case 10:
            tab = arg % 8;
            ++i;
            break;
        case 11:
            refuseSystem = !refuseSystem;
            break;
        case 12:
            refusePort = !refusePort;
            break;
        case 13:
            link.close();
            break;
        case 14:
            link.open();
            break;
        case 15:
            // "Reset GUI": drop whatever is in flight and start a whole read.
            timer1.stop();
            timer2.stop();
            engine.reset();
            engine.requestWholeRead();
            break;
        }
        check(!engine.transactionBusy() || timer2.isActive());
        if (!engine.transactionBusy()) {
            check(!engine.isPending(protocol::RequestKind::WholeRead));
            check(!engine.isPending(protocol::RequestKind::SystemWrite));
            check(!engine.isPending(protocol::RequestKind::PortWrite));
            check(!engine.isPending(protocol::RequestKind::PortRefresh));
        }
        check(engine.portGroup() >= 0 && engine.portGroup() < protocol::kGroupCount);
    }
    // One time-out after the last event the engine is idle, or busy with a request that
    // pending work launched and that has its own time-out running.
    timer2.fire();
    check(!engine.transactionBusy() || timer2.isActive());
    return checksum == 0xFFFFFFFF ? 1 : 0;
}
