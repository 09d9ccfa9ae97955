// SPDX-License-Identifier: MIT
// The board's side of the protocol, driven byte by byte through a plain file descriptor on
// the serial end, without the panel's link in the way.

#include <boardonpty.h>

#include <QFile>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using vantor::sim::Fault;
using vantor::sim::SimulatedBoard;
using vantor::testing::BoardOnPty;

namespace {

// The panel's end, as a raw non-blocking descriptor.
class RawPort
{
public:
    explicit RawPort(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd >= 0) {
            termios tio {};
            ::tcgetattr(m_fd, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~RawPort()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    RawPort(const RawPort &) = delete;
    RawPort &operator=(const RawPort &) = delete;

    [[nodiscard]] bool isOpen() const { return m_fd >= 0; }
    bool send(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    }
    // Everything received so far; picks up what waits on the line.
    const QByteArray &received()
    {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0)
            m_received.append(buffer, n);
        return m_received;
    }
    void forget() { m_received.clear(); }

private:
    int m_fd = -1;
    QByteArray m_received;
};

} // namespace

class TestSimulatedBoard : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readCommandsAnswerTheirGroup_data();
    void readCommandsAnswerTheirGroup();
    void writesTakeExactlyTheirBlock_data();
    void writesTakeExactlyTheirBlock();
    void otherBytesAreIgnored_data();
    void otherBytesAreIgnored();
    void newCommandEndsAnswer();
    void stalledPayloadIsDropped();
    void faultyAnswers_data();
    void faultyAnswers();
    void faultWearsOffAfterTimes();
    void wireLogIsBounded();
    void stopRemovesLinkAndRefusesToClobberFiles();

private:
    std::unique_ptr<BoardOnPty> m_pty;
    SimulatedBoard *m_board = nullptr;
    std::unique_ptr<RawPort> m_port;
};

void TestSimulatedBoard::init()
{
    m_pty = std::make_unique<BoardOnPty>();
    m_board = &m_pty->board;
    QVERIFY2(m_pty->start(false), qPrintable(m_board->errorString()));
    m_port = std::make_unique<RawPort>(m_board->devicePath());
    QVERIFY(m_port->isOpen());
}

void TestSimulatedBoard::cleanup()
{
    m_port.reset();
    m_pty.reset();
}

void TestSimulatedBoard::readCommandsAnswerTheirGroup_data()
{
    QTest::addColumn<quint8>("code");
    QTest::addColumn<int>("group");

    QTest::newRow("whole read, group 0") << quint8(0x08) << 0;
    QTest::newRow("whole read, group 7") << quint8(0x0F) << 7;
    QTest::newRow("refresh, group 0") << quint8(0x28) << 0;
    QTest::newRow("refresh, group 3") << quint8(0x2B) << 3;
}

void TestSimulatedBoard::readCommandsAnswerTheirGroup()
{
    QFETCH(quint8, code);
    QFETCH(int, group);

    QSignalSpy sent(m_board, &SimulatedBoard::answerSent);
    QVERIFY(m_port->send(QByteArray(1, char(code))));
    QTRY_COMPARE(m_port->received().size(), 168);
    QCOMPARE(m_port->received().toHex(), m_pty->snapshot(group).toHex());
    QCOMPARE(sent.size(), 1);
    QCOMPARE(m_board->bytesFromPanel().toHex(), QByteArray(1, char(code)).toHex());
}

void TestSimulatedBoard::writesTakeExactlyTheirBlock_data()
{
    QTest::addColumn<quint8>("code");
    QTest::addColumn<int>("blockSize");
    QTest::addColumn<int>("snapshotOffset");
    QTest::addColumn<int>("group");

    QTest::newRow("system write") << quint8(0x18) << 14 << 0 << 4;
    QTest::newRow("port write, group 0") << quint8(0x20) << 217 << 19 << 0;
    QTest::newRow("port write, group 5") << quint8(0x25) << 217 << 19 << 5;
}

void TestSimulatedBoard::writesTakeExactlyTheirBlock()
{
    QFETCH(quint8, code);
    QFETCH(int, blockSize);
    QFETCH(int, snapshotOffset);
    QFETCH(int, group);

    QSignalSpy applied(m_board, &SimulatedBoard::blockApplied);
    QVERIFY(m_port->send(QByteArray(1, char(code))));
    QTRY_COMPARE(m_port->received().size(), 1);

    QByteArray block(blockSize, '\0');
    for (int i = 0; i < 13; ++i)
        block[i] = char(0x30 + i);
    // Sent in two pieces, as a slow line would deliver it.
    QVERIFY(m_port->send(block.left(5)));
    QTest::qWait(20);
    QCOMPARE(applied.size(), 0);
    QVERIFY(m_port->send(block.mid(5)));
    QTRY_COMPARE(applied.size(), 1);
    QCOMPARE(applied.at(0).at(0).value<quint8>(), code);
    QCOMPARE(m_pty->snapshot(group).mid(snapshotOffset, 13), block.left(13));

    // Back to commands: the next byte is a command again.
    m_port->forget();
    QVERIFY(m_port->send(QByteArray::fromHex("28")));
    QTRY_COMPARE(m_port->received().size(), 168);
}

void TestSimulatedBoard::otherBytesAreIgnored_data()
{
    QTest::addColumn<quint8>("byte");
    for (int b : { 0x00, 0x07, 0x10, 0x17, 0x19, 0x1F, 0x30, 0x80, 0xFF })
        QTest::newRow(qPrintable(QStringLiteral("0x%1").arg(b, 2, 16, QLatin1Char('0'))))
            << quint8(b);
}

void TestSimulatedBoard::otherBytesAreIgnored()
{
    QFETCH(quint8, byte);

    QSignalSpy ignored(m_board, &SimulatedBoard::byteIgnored);
    QSignalSpy commands(m_board, &SimulatedBoard::commandReceived);
    QVERIFY(m_port->send(QByteArray(1, char(byte)) + QByteArray::fromHex("28")));
    QTRY_COMPARE(m_port->received().size(), 168);
    QCOMPARE(ignored.size(), 1);
    QCOMPARE(commands.size(), 1);
}

void TestSimulatedBoard::newCommandEndsAnswer()
{
    // The panel's start-up: a whole read, at once replaced by the system write.
    m_board->setPaced(true);
    QSignalSpy cut(m_board, &SimulatedBoard::answerCut);
    QSignalSpy applied(m_board, &SimulatedBoard::blockApplied);
    QVERIFY(m_port->send(QByteArray::fromHex("08")));
    QVERIFY(m_port->send(QByteArray::fromHex("18")));
    QTRY_VERIFY(cut.size() == 1);
    QCOMPARE(cut.at(0).at(0).value<quint8>(), quint8(0x08));
    QVERIFY(cut.at(0).at(1).toInt() < 168);

    // The last byte received is the acknowledgement; the payload after it is applied.
    QTRY_COMPARE(m_port->received().right(1), QByteArray(1, SimulatedBoard::kAck));
    QVERIFY(m_port->send(QByteArray(14, '\0')));
    QTRY_COMPARE(applied.size(), 1);
    QCOMPARE(m_board->bytesFromPanel().size(), 1 + 1 + 14);
}

void TestSimulatedBoard::stalledPayloadIsDropped()
{
    m_board->setPayloadStallMs(150);
    QSignalSpy dropped(m_board, &SimulatedBoard::payloadDropped);
    QSignalSpy applied(m_board, &SimulatedBoard::blockApplied);
    QVERIFY(m_port->send(QByteArray::fromHex("21")));
    QTRY_COMPARE(m_port->received().size(), 1);
    QVERIFY(m_port->send(QByteArray(5, char(0x28))));
    QTRY_COMPARE(dropped.size(), 1);
    QCOMPARE(dropped.at(0).at(0).value<quint8>(), quint8(0x21));
    QCOMPARE(dropped.at(0).at(1).toInt(), 5);
    QCOMPARE(applied.size(), 0);
    QCOMPARE(m_board->model().portWrites(1), 0);

    // The 0x28 bytes were payload, not commands; the board takes commands again now.
    m_port->forget();
    QVERIFY(m_port->send(QByteArray::fromHex("28")));
    QTRY_COMPARE(m_port->received().size(), 168);
}

void TestSimulatedBoard::faultyAnswers_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("expectedLength");
    QTest::addColumn<bool>("startsWithSnapshot");

    QTest::newRow("short 167") << int(Fault::ShortAnswer) << 167 << QByteArray::fromHex("28") << 167
                               << true;
    QTest::newRow("long 170") << int(Fault::LongAnswer) << 2 << QByteArray::fromHex("28") << 170
                              << true;
    QTest::newRow("garbage") << int(Fault::Garbage) << 0 << QByteArray::fromHex("28") << 168
                             << false;
    QTest::newRow("garbage 40") << int(Fault::Garbage) << 40 << QByteArray::fromHex("28") << 40
                                << false;
    QTest::newRow("silent read") << int(Fault::Silent) << 0 << QByteArray::fromHex("28") << 0
                                 << true;
    QTest::newRow("silent write") << int(Fault::Silent) << 0 << QByteArray::fromHex("18") << 0
                                  << true;
    // Read faults leave acknowledgements alone.
    QTest::newRow("short, write acknowledged")
        << int(Fault::ShortAnswer) << 3 << QByteArray::fromHex("18") << 1 << false;
}

void TestSimulatedBoard::faultyAnswers()
{
    QFETCH(int, fault);
    QFETCH(int, bytes);
    QFETCH(QByteArray, command);
    QFETCH(int, expectedLength);
    QFETCH(bool, startsWithSnapshot);

    m_board->injectFault({ Fault(fault), bytes, 0, -1 });
    QSignalSpy commands(m_board, &SimulatedBoard::commandReceived);
    QVERIFY(m_port->send(command));
    QTRY_COMPARE(commands.size(), 1);
    QTRY_COMPARE(m_port->received().size(), expectedLength);
    QTest::qWait(50);
    QCOMPARE(m_port->received().size(), expectedLength);
    const QByteArray snapshot = m_pty->snapshot(0);
    const qsizetype common = qMin<qsizetype>(expectedLength, 168);
    if (expectedLength > 0 && command != QByteArray::fromHex("18"))
        QCOMPARE(m_port->received().left(common) == snapshot.left(common), startsWithSnapshot);
}

void TestSimulatedBoard::faultWearsOffAfterTimes()
{
    m_board->injectFault({ Fault::Silent, 0, 0, 2 });
    QSignalSpy commands(m_board, &SimulatedBoard::commandReceived);
    QVERIFY(m_port->send(QByteArray::fromHex("28")));
    QVERIFY(m_port->send(QByteArray::fromHex("28")));
    QTRY_COMPARE(commands.size(), 2);
    QCOMPARE(m_port->received().size(), 0);
    QCOMPARE(m_board->fault().fault, Fault::None);
    QVERIFY(m_port->send(QByteArray::fromHex("28")));
    QTRY_COMPARE(m_port->received().size(), 168);
}

void TestSimulatedBoard::wireLogIsBounded()
{
    // Many one-byte entries, as a long run of paced answers leaves them.
    constexpr int kEntries = SimulatedBoard::kWireLogLimit / SimulatedBoard::kWireEntryCost + 1000;
    QLoggingCategory::setFilterRules(QStringLiteral("vantor.sim.info=false"));
    for (int i = 0; i < kEntries; ++i) {
        m_board->flood(1);
        if (i % 256 == 255) {
            m_port->received();
            m_port->forget();
        }
    }
    QLoggingCategory::setFilterRules(QString());
    const auto &log = m_board->wireLog();
    QVERIFY2(log.size() < kEntries, "the oldest entries should have been dropped");
    qsizetype cost = 0;
    for (const auto &entry : log)
        cost += entry.bytes.size() + SimulatedBoard::kWireEntryCost;
    QVERIFY(cost <= SimulatedBoard::kWireLogLimit);
    QVERIFY(cost > SimulatedBoard::kWireLogLimit - 1024);
}

void TestSimulatedBoard::stopRemovesLinkAndRefusesToClobberFiles()
{
    const QString link = m_board->devicePath();
    m_port.reset();
    m_board->stop();
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!QFileInfo::exists(link));

    const QString plain = m_pty->dir.filePath(QStringLiteral("plain-file"));
    QFile file(plain);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    QVERIFY(!m_board->start(plain));
    QVERIFY(m_board->errorString().contains(plain));
    QVERIFY(!m_board->isRunning());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
}

QTEST_GUILESS_MAIN(TestSimulatedBoard)
#include "test_simulatedboard.moc"
