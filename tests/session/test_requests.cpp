// SPDX-License-Identifier: MIT
// The session's operations as requests on a fake link with hand-fired timers: each finishes
// exactly once, with the outcome of how the board or the panel ended it.

#include <sessionrig.h>

#include <QSignalSpy>
#include <QTest>

using namespace vantor;
using protocol::RequestKind;
using session::BoardState;
using session::Request;
using session::RequestHandle;
using Outcome = session::Request::Outcome;


namespace {

enum class Op {
    Load,
    ReadGroup1,
    Refresh,
    RefreshGroup1,
    PortControl,
    PortControlGroup1,
    System,
    Save,
    Series
};
enum class Ending { Answers, Silent, AckedThenSilent, PortClosed, Overrun, ResetGui, LinkLost };

struct Rig : testing::SessionOnFakes
{
    RequestHandle run(Op op)
    {
        switch (op) {
        case Op::Load:
            return session.loadFromDevice();
        case Op::ReadGroup1:
            return session.readGroup(1);
        case Op::Refresh:
            return session.refresh();
        case Op::RefreshGroup1:
            return session.refreshGroup(1);
        case Op::PortControl:
            return session.sendPortControl();
        case Op::PortControlGroup1:
            return session.sendPortControl(1);
        case Op::System:
            return session.writeSystemSettings(0);
        case Op::Save:
            return session.saveToDevice();
        case Op::Series:
            return session.applySettings(
                { { RequestKind::SystemWrite, 0 }, { RequestKind::PortWrite, 1 } });
        }
        return {};
    }

    // One move of the board (or the panel) against whatever is in flight.
    void end(Ending ending)
    {
        using State = protocol::TransactionEngine::State;
        const State state = testing::SessionSeam::engine(session).state();
        switch (ending) {
        case Ending::Answers:
            complete();
            break;
        case Ending::AckedThenSilent:
            if (state == State::AwaitingAck) {
                link.feed(QByteArray(1, '\x06'));
                break;
            }
            timeout.fire();
            break;
        case Ending::Silent:
        case Ending::PortClosed:
            timeout.fire();
            break;
        case Ending::Overrun:
            link.raise(serial::CommEvent::HardwareOverrun);
            break;
        case Ending::ResetGui:
            session.resetTransactions();
            break;
        case Ending::LinkLost:
            link.lose(QStringLiteral("gone"));
            break;
        }
    }
};

bool isRead(Op op)
{
    return op == Op::Load || op == Op::ReadGroup1 || op == Op::Refresh || op == Op::RefreshGroup1;
}

} // namespace

Q_DECLARE_METATYPE(Op)
Q_DECLARE_METATYPE(Ending)

class TestRequests : public QObject
{
    Q_OBJECT

private slots:
    void eachRequestFinishesOnce_data()
    {
        QTest::addColumn<Op>("op");
        QTest::addColumn<Ending>("ending");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<int>("code");

        const struct
        {
            const char *name;
            Op op;
            int code; // the command byte of its (last) transaction
        } ops[] = {
            { "load", Op::Load, 0x08 },
            { "read group 1", Op::ReadGroup1, 0x09 },
            { "refresh", Op::Refresh, 0x28 },
            { "refresh group 1", Op::RefreshGroup1, 0x29 },
            { "port control", Op::PortControl, 0x20 },
            { "port control group 1", Op::PortControlGroup1, 0x21 },
            { "system write", Op::System, 0x18 },
            { "save", Op::Save, 0x20 },
            { "series", Op::Series, 0x21 },
        };
        for (const auto &o : ops) {
            const bool read = isRead(o.op);
            const bool refresh = o.op == Op::Refresh || o.op == Op::RefreshGroup1;
            const bool composite = o.op == Op::Save || o.op == Op::Series;
            // A composite that fails is decided by its first step, the system write.
            const int firstCode = composite ? 0x18 : o.code;
            const auto row = [&](const char *how, Ending e, Outcome outcome, int code) {
                QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(o.name, how)))
                    << o.op << e << outcome << code;
            };
            row("answered", Ending::Answers, Outcome::Done, o.code);
            row("silent", Ending::Silent, Outcome::TimedOut, firstCode);
            if (!read)
                row("acknowledged, block stuck", Ending::AckedThenSilent, Outcome::TimedOut,
                    firstCode);
            row("port closed", Ending::PortClosed, Outcome::Failed, firstCode);
            row("overrun", Ending::Overrun, Outcome::Failed, firstCode);
            row("reset GUI", Ending::ResetGui, Outcome::Cancelled, firstCode);
            row("line lost", Ending::LinkLost, refresh ? Outcome::Cancelled : Outcome::Failed,
                firstCode);
        }
    }

    void eachRequestFinishesOnce()
    {
        QFETCH(Op, op);
        QFETCH(Ending, ending);
        QFETCH(Outcome, outcome);
        QFETCH(int, code);
        Rig r;
        r.session.usePortGroup(0);
        if (ending == Ending::PortClosed)
            r.link.close();
        QList<const Request *> finished;
        connect(&r.session, &session::Session::requestFinished, this,
                [&finished](const RequestHandle &q) { finished << q.get(); });
        const RequestHandle request = r.run(op);
        for (int move = 0; move < 8 && !request->isFinished(); ++move)
            r.end(ending);

        QVERIFY(request->isFinished());
        QCOMPARE(finished.count(request.get()), 1);
        QCOMPARE(request->outcome(), outcome);
        const Request &decisive = request->failedStep() ? *request->failedStep()
            : request->steps().isEmpty()                ? *request
                                                        : *request->steps().constLast();
        QCOMPARE(int(decisive.code()), code);
        QCOMPARE(decisive.acknowledged(),
                 ending == Ending::AckedThenSilent || (ending == Ending::Answers && !isRead(op)));
        if (isRead(op) && outcome == Outcome::Done) {
            QVERIFY(request->answer());
            QCOMPARE(int(request->answer()->code), code);
        }
        for (const RequestHandle &step : request->steps())
            QVERIFY2(step->isFinished(), "every step of a finished request has finished");
        // Nothing is left stuck behind it: the next request goes out at once and is answered.
        if (ending != Ending::PortClosed && ending != Ending::LinkLost) {
            for (int move = 0; move < 4; ++move)
                r.complete();
            r.link.takeWire();
            const RequestHandle next = r.session.refresh();
            QCOMPARE(r.link.takeWire(), QByteArray(1, '\x28'));
            r.complete();
            QVERIFY(next->ok());
        }
    }

    // Merged into one pending flag, they share one transaction and its answer; reads for a
    // group of their own are never merged, and go after what was pending.
    void mergingAndTurns()
    {
        Rig r;
        r.session.usePortGroup(0);
        const RequestHandle inFlight = r.session.refresh();
        const RequestHandle load1 = r.session.loadFromDevice();
        const RequestHandle group1 = r.session.readGroup(1);
        const RequestHandle load2 = r.session.loadFromDevice();
        const RequestHandle group1Again = r.session.readGroup(1);
        for (int move = 0; move < 6; ++move)
            r.complete();
        QCOMPARE(r.link.takeWire().toHex(), QByteArray("28080909"));
        for (const RequestHandle &q : { inFlight, load1, group1, load2, group1Again })
            QVERIFY(q->ok());
        QCOMPARE(load1->answer()->receivedUtcMs, load2->answer()->receivedUtcMs);
        QCOMPARE(group1->answer()->group, 1);
        QCOMPARE(group1Again->answer()->group, 1);
        QVERIFY(group1->answer()->code == group1Again->answer()->code);
    }

    // The written start-up replaces its whole read at once: that read ends cancelled; the
    // board's state follows what it does.
    void startUpAndBoardState()
    {
        Rig r;
        r.link.close();
        QList<Outcome> ended;
        QList<BoardState> states;
        connect(&r.session, &session::Session::requestFinished, this,
                [&ended](const RequestHandle &q) { ended << q->outcome(); });
        connect(&r.session, &session::Session::boardStateChanged, this,
                [&states](BoardState s) { states << s; });
        r.session.start();
        QCOMPARE(ended, QList { Outcome::Cancelled });
        r.complete();
        r.complete();
        r.session.refresh();
        r.timeout.fire();
        r.session.refresh();
        r.complete();
        r.link.lose(QStringLiteral("gone"));
        QCOMPARE(states,
                 (QList { BoardState::Opening, BoardState::Open, BoardState::Answering,
                          BoardState::Silent, BoardState::Answering, BoardState::Lost }));
    }
};

QTEST_GUILESS_MAIN(TestRequests)
#include "test_requests.moc"
