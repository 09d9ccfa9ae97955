// SPDX-License-Identifier: MIT
// The panel started keeping the board's settings, against a simulated 16-port board in real
// time: both groups are read whole before anything else and nothing is written; saving the
// second group sends the board's own settings of it back.

#include "e2ewire.h"

#include <boardonpty.h>
#include <roundtripmask.h>
#include <sessionseam.h>

#include <protocol/transactionengine.h>
#include <serial/qtseriallink.h>
#include <session/session.h>
#include <window/controls.h>
#include <window/mainwindow.h>

#include <QPushButton>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTest>

using vantor::e2e::Frame;
using vantor::testing::toByteArray;

namespace {

QByteArray randomBytes(QRandomGenerator &rng, qsizetype size)
{
    QByteArray out(size, '\0');
    for (char &b : out)
        b = static_cast<char>(rng.bounded(256));
    return out;
}

QStringList maskedDifferences(const QByteArray &actual, const QByteArray &expected,
                              const QByteArray &mask)
{
    QStringList differences;
    for (qsizetype i = 0; i < mask.size(); ++i) {
        const auto m = static_cast<quint8>(mask[i]);
        if ((static_cast<quint8>(actual[i]) & m) != (static_cast<quint8>(expected[i]) & m))
            differences.append(QString::number(i));
    }
    return differences;
}

QString codesOf(const QList<Frame> &frames)
{
    QStringList codes;
    for (const Frame &f : frames)
        codes.append(QStringLiteral("%1").arg(f.code, 2, 16, QLatin1Char('0')));
    return codes.join(QLatin1Char(' '));
}

} // namespace

class E2EKeepBoard : public QObject
{
    Q_OBJECT
private slots:
    void sixteenPortBoard();
};

void E2EKeepBoard::sixteenPortBoard()
{
    vantor::testing::BoardOnPty b;
    QVERIFY2(b.start(false, QStringLiteral("com1")), qPrintable(b.board.errorString()));
    vantor::sim::BoardModel &model = b.board.model();
    // Settings of its own in both groups, which a panel writing its defaults would overwrite.
    QRandomGenerator rng(22);
    QByteArray system = randomBytes(rng, vantor::e2e::kSystemBlockSize);
    system[0] = 16;
    QVERIFY(model.applySystemBlock(vantor::testing::bytesOf(system)));
    for (int g = 0; g < 2; ++g) {
        QVERIFY(model.applyPortBlock(
            g, vantor::testing::bytesOf(randomBytes(rng, vantor::e2e::kPortBlockSize))));
    }
    const QByteArray groupOne = b.snapshot(1);
    const int systemWrites = model.systemWrites();

    vantor::serial::QtSerialLink link;
    vantor::serial::PortMap map;
    map.setDevice(1, b.board.devicePath());
    vantor::session::Session session(link, map);
    vantor::window::MainWindow window(session);
    vantor::protocol::TransactionEngine &engine = vantor::testing::SessionSeam::engine(session);
    window.formLoad(vantor::session::StartMode::KeepBoardSettings);
    window.show();

    // Both reads, then refreshes of group 0.
    QTRY_VERIFY_WITH_TIMEOUT(
        vantor::e2e::framesWithCode(vantor::e2e::framesFromPanel(b.board.wireLog()),
                                    vantor::e2e::kPortRefresh)
                .size()
            >= 2,
        5000);
    const QList<Frame> frames = vantor::e2e::framesFromPanel(b.board.wireLog());
    QVERIFY2(frames.size() >= 2 && frames[0].code == 0x08 && frames[1].code == 0x09,
             qPrintable(codesOf(frames)));
    for (qsizetype i = 2; i < frames.size(); ++i)
        QVERIFY2(frames[i].code == vantor::e2e::kPortRefresh, qPrintable(codesOf(frames)));
    QCOMPARE(model.systemWrites(), systemWrites);
    QCOMPARE(model.portWrites(0), 1);
    QCOMPARE(model.portWrites(1), 1);
    QCOMPARE(session.portCount(), 16);

    QTabWidget *strip = window.controls().Port_Control;
    strip->setCurrentIndex(1);
    QCOMPARE(strip->currentIndex(), 1);
    QTRY_COMPARE(engine.portGroup(), 1);
    b.board.clear();
    window.controls().TX_SYS_CTRL->click();
    QTRY_VERIFY(model.systemWrites() == systemWrites + 1 && model.portWrites(1) == 2);
    QCOMPARE(model.portWrites(0), 1);

    const QList<Frame> sent = vantor::e2e::framesFromPanel(b.board.wireLog());
    const QList<Frame> system18 = vantor::e2e::framesWithCode(sent, vantor::e2e::kSystemWrite);
    const QList<Frame> ports = vantor::e2e::framesWithCode(sent, vantor::e2e::kPortWrite | 1);
    QCOMPARE(system18.size(), 1);
    QCOMPARE(ports.size(), 1);
    QStringList differences = maskedDifferences(system18[0].block, groupOne.left(13),
                                                vantor::testing::systemRoundTripMask());
    QVERIFY2(differences.isEmpty(), qPrintable("system block bytes " + differences.join(", ")));
    differences = maskedDifferences(ports[0].block, groupOne.mid(19, 34),
                                    vantor::testing::portRoundTripMask());
    QVERIFY2(differences.isEmpty(), qPrintable("port block bytes " + differences.join(", ")));

    // And so the board holds what it held before.
    const QByteArray after = b.snapshot(1);
    QVERIFY(maskedDifferences(after.mid(19), groupOne.mid(19), vantor::testing::portRoundTripMask())
                .isEmpty());
}

QTEST_MAIN(E2EKeepBoard)
#include "test_e2e_keepboard.moc"
