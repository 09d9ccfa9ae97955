// SPDX-License-Identifier: MIT
#include <bytes.h>

#include <sim/boardmodel.h>

#include <QTest>

using vantor::sim::BoardModel;
using vantor::sim::Snapshot;
using vantor::testing::bytesOf;

namespace {

QByteArray slice(const Snapshot &s, int from, int count)
{
    return QByteArray(reinterpret_cast<const char *>(s.data()) + from, count);
}

// A port block whose settings bytes 0..33 are 0x40..0x61, with the fault-enable and pause
// bytes given and the unused tail filled, to prove the tail lands nowhere.
QByteArray makePortBlock(quint8 faultEnable, quint8 pauseMarks, const QByteArray &management = {})
{
    QByteArray block(217, char(0x99));
    for (int i = 0; i < 34; ++i)
        block[i] = char(0x40 + i);
    for (int p = 0; p < management.size(); ++p)
        block[8 + p] = management[p];
    block[34] = char(faultEnable);
    block[35] = char(pauseMarks);
    return block;
}

} // namespace

class TestBoardModel : public QObject
{
    Q_OBJECT

private slots:
    void systemBlock_data();
    void systemBlock();
    void portBlock_data();
    void portBlock();
    void pauseMarks_data();
    void pauseMarks();
};

void TestBoardModel::systemBlock_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<QByteArray>("expectedStart"); // snapshot bytes 0..14 afterwards

    // Byte 13 of the block is not a register: the firmware byte must survive it.
    QTest::newRow("every field set, byte 13 ignored") << QByteArray::fromHex("1038aa5f93"
                                                                             "01020304"
                                                                             "0fff07ff"
                                                                             "ee")
                                                      << true
                                                      << QByteArray::fromHex("1038aa5f93"
                                                                             "01020304"
                                                                             "0fff07ff"
                                                                             "150c");
    // A refused block leaves the factory settings.
    const QByteArray factory = QByteArray::fromHex("0800202380"
                                                   "1c25c233"
                                                   "00780032"
                                                   "150c");
    QTest::newRow("13 bytes refused") << QByteArray(13, char(0x55)) << false << factory;
    QTest::newRow("15 bytes refused") << QByteArray(15, char(0x55)) << false << factory;
}

void TestBoardModel::systemBlock()
{
    QFETCH(QByteArray, block);
    QFETCH(bool, applied);
    QFETCH(QByteArray, expectedStart);

    BoardModel model;
    const Snapshot before = model.snapshot(0);
    QCOMPARE(model.applySystemBlock(bytesOf(block)), applied);
    QCOMPARE(model.systemWrites(), applied ? 1 : 0);
    // System settings are system-wide: every group reads the same bytes back.
    for (int group = 0; group < 8; ++group) {
        const Snapshot s = model.snapshot(group);
        QCOMPARE(slice(s, 0, 15).toHex(), expectedStart.toHex());
        if (group == 0)
            QCOMPARE(slice(s, 15, 153).toHex(), slice(before, 15, 153).toHex());
    }
}

void TestBoardModel::portBlock_data()
{
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("blockSize");
    QTest::addColumn<bool>("applied");

    QTest::newRow("group 0") << 0 << 217 << true;
    QTest::newRow("group 3") << 3 << 217 << true;
    QTest::newRow("group 7") << 7 << 217 << true;
    QTest::newRow("group 8 refused") << 8 << 217 << false;
    QTest::newRow("group -1 refused") << -1 << 217 << false;
    QTest::newRow("216 bytes refused") << 2 << 216 << false;
    QTest::newRow("218 bytes refused") << 2 << 218 << false;
}

void TestBoardModel::portBlock()
{
    QFETCH(int, group);
    QFETCH(int, blockSize);
    QFETCH(bool, applied);

    BoardModel model;
    const BoardModel factory;
    QByteArray block = makePortBlock(0x81, 0x00);
    block.resize(blockSize, char(0x99));

    QCOMPARE(model.applyPortBlock(group, bytesOf(block)), applied);
    for (int g = 0; g < 8; ++g) {
        const Snapshot s = model.snapshot(g);
        const Snapshot f = factory.snapshot(g);
        const bool target = applied && g == group;
        // Bytes 0..33 land at 19..52, nothing else of the image moves.
        QCOMPARE(slice(s, 19, 34).toHex(), (target ? block.left(34) : slice(f, 19, 34)).toHex());
        QCOMPARE(slice(s, 0, 19).toHex(), slice(f, 0, 19).toHex());
        QCOMPARE(slice(s, 53, 115).toHex(), slice(f, 53, 115).toHex());
        QCOMPARE(model.faultEnable(g), target ? quint8(0x81) : quint8(0));
        QCOMPARE(model.portWrites(g), target ? 1 : 0);
    }
}

void TestBoardModel::pauseMarks_data()
{
    QTest::addColumn<QByteArray>("management"); // snapshot bytes 27..34 as written
    QTest::addColumn<quint8>("marks");
    QTest::addColumn<quint8>("expected167");

    const QByteArray allEnabled = QByteArray::fromHex("2020202020202020");
    const QByteArray noneEnabled = QByteArray::fromHex("4707dfdf00000000");
    QTest::newRow("all enabled, marks pass through") << allEnabled << quint8(0xA5) << quint8(0xA5);
    QTest::newRow("all enabled, no marks") << allEnabled << quint8(0x00) << quint8(0x00);
    QTest::newRow("port 1 switched off, marks kept")
        << QByteArray::fromHex("2000202020202020") << quint8(0x0F) << quint8(0x0D);
    QTest::newRow("none enabled, marks hidden") << noneEnabled << quint8(0xFF) << quint8(0x00);
    QTest::newRow("only port 3 enabled")
        << QByteArray::fromHex("0000002100000000") << quint8(0xFF) << quint8(0x08);
    QTest::newRow("ports 0 and 7 enabled, mark on 7 only")
        << QByteArray::fromHex("2700000000000027") << quint8(0x80) << quint8(0x80);
}

void TestBoardModel::pauseMarks()
{
    QFETCH(QByteArray, management);
    QFETCH(quint8, marks);
    QFETCH(quint8, expected167);

    // Written over a block that had every port enabled and marked: nothing of it may linger.
    BoardModel model;
    const QByteArray allEnabled = QByteArray::fromHex("2020202020202020");
    QVERIFY(model.applyPortBlock(2, bytesOf(makePortBlock(0xFF, 0xFF, allEnabled))));
    QVERIFY(model.applyPortBlock(2, bytesOf(makePortBlock(0xFF, marks, management))));
    QCOMPARE(model.pauseMarks(2), marks);
    QCOMPARE(model.snapshot(2)[167], expected167);
    QCOMPARE(model.snapshot(1)[167], quint8(0));
}

QTEST_GUILESS_MAIN(TestBoardModel)
#include "test_boardmodel.moc"
