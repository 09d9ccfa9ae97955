// SPDX-License-Identifier: MIT
// The whole panel in this process against the simulated board: what the board holds comes into
// the window and goes back out unchanged, and what the operator changes reaches the board.

#include "e2erig.h"

#include <roundtripmask.h>

#include <QCheckBox>
#include <QComboBox>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTabWidget>

using vantor::e2e::Frame;
using vantor::e2e::Rig;
using vantor::protocol::RequestKind;
using vantor::sim::SimulatedBoard;
using vantor::testing::toByteArray;

Q_DECLARE_METATYPE(RequestKind)

namespace {

const QString kLoaded = QStringLiteral("Load from Device: read at ");
const QString kSent = QStringLiteral("Save to Device: sent at ");

// Bytes of `actual` and `expected` that differ under the mask, as "offset: actual/expected".
QStringList maskedDifferences(const QByteArray &actual, const QByteArray &expected,
                              const QByteArray &mask)
{
    QStringList differences;
    for (qsizetype i = 0; i < mask.size(); ++i) {
        const auto m = static_cast<quint8>(mask[i]);
        const auto a = static_cast<quint8>(actual[i]) & m;
        const auto e = static_cast<quint8>(expected[i]) & m;
        if (a != e)
            differences.append(QStringLiteral("%1: %2/%3").arg(i).arg(a, 2, 16).arg(e, 2, 16));
    }
    return differences;
}

// A configuration the board might hold: any bytes, with a port count from the panel's list.
void loadRandomConfiguration(vantor::sim::BoardModel &model, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray system(vantor::e2e::kSystemBlockSize, '\0');
    QByteArray ports(vantor::e2e::kPortBlockSize, '\0');
    for (char &b : system)
        b = static_cast<char>(rng.bounded(256));
    for (char &b : ports)
        b = static_cast<char>(rng.bounded(256));
    system[0] = static_cast<char>(8 * (1 + rng.bounded(6)));
    QVERIFY(model.applySystemBlock(vantor::testing::bytesOf(system)));
    QVERIFY(model.applyPortBlock(0, vantor::testing::bytesOf(ports)));
}

bool completedOf(const QSignalSpy &spy, RequestKind kind)
{
    for (const QList<QVariant> &args : spy) {
        if (args.at(0).value<RequestKind>() == kind)
            return true;
    }
    return false;
}

} // namespace

class E2EWindow : public QObject
{
    Q_OBJECT

private slots:
    void loadAndSaveRoundTrip_data();
    void loadAndSaveRoundTrip();
    void settingReachesTheBoard_data();
    void settingReachesTheBoard();
    void secondPortGroupReachesItsGroup();
};

void E2EWindow::loadAndSaveRoundTrip_data()
{
    QTest::addColumn<quint32>("seed");

    QTest::newRow("factory image") << 0u;
    QTest::newRow("random configuration") << 1u;
}

// Auto-refresh stays on, as it is for the operator: refreshes go between the requests.
void E2EWindow::loadAndSaveRoundTrip()
{
    QFETCH(quint32, seed);

    Rig r;
    QVERIFY2(r.start(false), qPrintable(r.board.errorString()));
    vantor::sim::BoardModel &model = r.board.model();
    if (seed == 0)
        model.reset();
    else
        loadRandomConfiguration(model, seed);
    const QByteArray image = toByteArray(model.snapshot(0));

    QSignalSpy completed(&r.engine(), &vantor::protocol::TransactionEngine::requestCompleted);
    r.click(QStringLiteral("Update_All"));
    QTRY_VERIFY(completedOf(completed, RequestKind::WholeRead));
    QVERIFY2(r.window->outcomeText().startsWith(kLoaded), qPrintable(r.window->outcomeText()));
    QCOMPARE(r.c().SYS_PORT_CNT->currentText(), QString::number(quint8(image[0])));
    const int rLow = quint8(image[5]) | quint8(image[6]) << 8;
    QCOMPARE(r.c().PD_R_LOW->text(), QString::number(2 * rLow));

    r.board.clear();
    const int systemWrites = model.systemWrites();
    const int portWrites = model.portWrites(0);
    r.click(QStringLiteral("TX_SYS_CTRL"));
    QTRY_VERIFY(model.systemWrites() == systemWrites + 1 && model.portWrites(0) == portWrites + 1);
    QVERIFY(r.waitIdle());
    QVERIFY2(r.window->outcomeText().startsWith(kSent), qPrintable(r.window->outcomeText()));

    const QList<Frame> frames = vantor::e2e::framesFromPanel(r.board.wireLog());
    const auto system = vantor::e2e::framesWithCode(frames, vantor::e2e::kSystemWrite);
    const auto ports = vantor::e2e::framesWithCode(frames, vantor::e2e::kPortWrite);
    QCOMPARE(system.size(), 1);
    QCOMPARE(ports.size(), 1);
    QCOMPARE(system[0].block.size(), vantor::e2e::kSystemBlockSize);
    QCOMPARE(ports[0].block.size(), vantor::e2e::kPortBlockSize);

    const QByteArray systemMask = vantor::testing::systemRoundTripMask();
    const QByteArray portMask = vantor::testing::portRoundTripMask();
    QStringList differences = maskedDifferences(system[0].block, image.left(13), systemMask);
    QVERIFY2(differences.isEmpty(), qPrintable("system block " + differences.join(", ")));
    differences = maskedDifferences(ports[0].block, image.mid(19, 34), portMask);
    QVERIFY2(differences.isEmpty(), qPrintable("port block " + differences.join(", ")));
    QCOMPARE(system[0].block.at(13), '\0');
    QCOMPARE(ports[0].block.mid(36), QByteArray(vantor::e2e::kPortBlockSize - 36, '\0'));

    // And so the board holds what it held before.
    const QByteArray after = toByteArray(model.snapshot(0));
    QVERIFY(maskedDifferences(after, image, systemMask).isEmpty());
    QVERIFY(maskedDifferences(after.mid(19), image.mid(19), portMask).isEmpty());
}

void E2EWindow::settingReachesTheBoard_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QByteArray>("mask");

    const QString save = QStringLiteral("TX_SYS_CTRL");
    const QString sendPorts = QStringLiteral("TX_PRT_CTRL");
    QTest::newRow("Lower Limit of PD Discovery R")
        << "PD_R_LOW"
        << "20000" << save << 5 << QByteArray::fromHex("1027") << QByteArray::fromHex("ffff");
    QTest::newRow("Upper Limit of PD Discovery R")
        << "PD_R_HIGH"
        << "30000" << save << 7 << QByteArray::fromHex("983a") << QByteArray::fromHex("ffff");
    QTest::newRow("Startup Overload Delay")
        << "STARTUP_OL_DLY"
        << "77" << save << 12 << QByteArray::fromHex("4d") << QByteArray::fromHex("ff");
    QTest::newRow("Master Enable off")
        << "COMMON_CTRL_1"
        << "0" << save << 4 << QByteArray::fromHex("00") << QByteArray::fromHex("80");
    QTest::newRow("Port Enable of port 4 off, Send Port Control")
        << "PORT_SYS_MGMNT_2_3"
        << "0" << sendPorts << 19 + 8 + 3 << QByteArray::fromHex("00") << QByteArray::fromHex("20");
    QTest::newRow("Port Enable of port 8 off, Save to Device")
        << "PORT_SYS_MGMNT_2_7"
        << "0" << save << 19 + 8 + 7 << QByteArray::fromHex("00") << QByteArray::fromHex("20");
}

void E2EWindow::settingReachesTheBoard()
{
    QFETCH(QString, control);
    QFETCH(QString, value);
    QFETCH(QString, button);
    QFETCH(int, offset);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, mask);

    Rig r;
    QVERIFY2(r.start(false), qPrintable(r.board.errorString()));
    const vantor::sim::BoardModel &model = r.board.model();
    const auto heldBits = [&] {
        QByteArray held = toByteArray(model.image(0)).mid(offset, mask.size());
        for (qsizetype i = 0; i < mask.size(); ++i)
            held[i] = static_cast<char>(held[i] & mask[i]);
        return held.toHex();
    };
    QVERIFY2(heldBits() != expected.toHex(), "the board holds the new value already");

    if (auto *entry = r.window->findChild<vantor::window::NumericEntry *>(control)) {
        Rig::type(entry, value);
        QCOMPARE(entry->text(), value);
    } else {
        auto *box = r.window->findChild<QCheckBox *>(control);
        QVERIFY2(box, qPrintable(control));
        QVERIFY(box->isEnabled());
        if (vantor::window::checkValue(box) != value.toInt())
            box->click();
        QCOMPARE(vantor::window::checkValue(box), value.toInt());
    }

    const int systemWrites = model.systemWrites();
    const int portWrites = model.portWrites(0);
    r.click(button);
    QTRY_COMPARE(model.portWrites(0), portWrites + 1);
    QCOMPARE(model.systemWrites(), systemWrites + (button == QStringLiteral("TX_SYS_CTRL")));
    QCOMPARE(heldBits(), expected.toHex());
    // Only "Save to Device" is confirmed, once both blocks have gone out.
    if (button == QStringLiteral("TX_SYS_CTRL"))
        QTRY_VERIFY2(r.window->outcomeText().startsWith(kSent),
                     qPrintable(r.window->outcomeText()));
    else
        QCOMPARE(r.window->outcomeText(), QString());
}

// With 16 ports in the system the second tab can be chosen; once a transaction has ended
// the refreshes and the port write address group 1, and only group 1 changes on the board.
void E2EWindow::secondPortGroupReachesItsGroup()
{
    Rig r;
    QVERIFY2(r.start(false), qPrintable(r.board.errorString()));
    const vantor::sim::BoardModel &model = r.board.model();
    QTabWidget *strip = r.c().Port_Control;

    strip->setCurrentIndex(1);
    QCOMPARE(strip->currentIndex(), 0);
    QCOMPARE(r.window->outcomeText(),
             QStringLiteral("Ports 9-16 are beyond the 8 ports in the system."));

    r.c().SYS_PORT_CNT->setCurrentIndex(r.c().SYS_PORT_CNT->findText(QStringLiteral("16")));
    r.click(QStringLiteral("TX_SYS_CTRL"));
    QTRY_VERIFY(model.systemWrites() == 2 && model.portWrites(0) == 2);
    QCOMPARE(quint8(model.image(0)[0]), quint8(16));

    QSignalSpy commands(&r.board, &SimulatedBoard::commandReceived);
    strip->setCurrentIndex(1);
    QCOMPARE(strip->currentIndex(), 1);
    QTRY_COMPARE(r.engine().portGroup(), 1);
    QTRY_VERIFY(commands.contains(QList<QVariant> { QVariant::fromValue(quint8(0x29)) }));

    auto *enable = r.c().PORT_SYS_MGMNT_2[8 + 2];
    QVERIFY(enable->isEnabled());
    if (vantor::window::checkValue(enable) != 1)
        enable->click();
    r.click(QStringLiteral("TX_PRT_CTRL"));
    QTRY_COMPARE(model.portWrites(1), 1);
    QVERIFY(commands.contains(QList<QVariant> { QVariant::fromValue(quint8(0x21)) }));
    QCOMPARE(model.image(1)[19 + 8 + 2] & 0x20, 0x20);
    QCOMPARE(model.portWrites(0), 2);
}

QTEST_MAIN(E2EWindow)
#include "test_e2e_window.moc"
