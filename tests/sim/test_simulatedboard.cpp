// The board's side of the protocol, driven byte by byte through a plain file descriptor on
// the serial end, without the panel's link in the way.

#include <sim/simulatedboard.h>

#include <QFile>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using vantor::sim::Direction;
using vantor::sim::Fault;
using vantor::sim::FaultPlan;
using vantor::sim::SimulatedBoard;

namespace {

QByteArray snapshotBytes(const SimulatedBoard &board, int group)
{
    const auto s = board.model().snapshot(group);
    return QByteArray(reinterpret_cast<const char *>(s.data()), static_cast<qsizetype>(s.size()));
}

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
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0) {
                m_received.append(buffer, n);
                continue;
            }
            // A hung-up line reads as end of file (or EIO), never as "try again".
            if (n == 0 || errno != EAGAIN)
                m_lineDropped = true;
            break;
        }
        return m_received;
    }
    bool lineDropped()
    {
        received();
        return m_lineDropped;
    }
    void forget() { m_received.clear(); }

private:
    int m_fd = -1;
    QByteArray m_received;
    bool m_lineDropped = false;
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
    void delayedAcknowledgement();
    void pacedAnswerTakesTheWireTime();
    void floodWhileIdle();
    void wireLogIsBounded();
    void hangUpAndRestartRepointsLink();
    void stopRemovesLinkAndRefusesToClobberFiles();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SimulatedBoard> m_board;
    std::unique_ptr<RawPort> m_port;
};

void TestSimulatedBoard::init()
{
    QVERIFY(m_dir.isValid());
    m_board = std::make_unique<SimulatedBoard>();
    m_board->setPaced(false);
    QVERIFY2(m_board->start(m_dir.filePath(QStringLiteral("board"))),
             qPrintable(m_board->errorString()));
    m_port = std::make_unique<RawPort>(m_board->devicePath());
    QVERIFY(m_port->isOpen());
}

void TestSimulatedBoard::cleanup()
{
    m_port.reset();
    m_board.reset();
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

    QSignalSpy sent(m_board.get(), &SimulatedBoard::answerSent);
    QVERIFY(m_port->send(QByteArray(1, char(code))));
    QTRY_COMPARE(m_port->received().size(), 168);
    QCOMPARE(m_port->received().toHex(), snapshotBytes(*m_board, group).toHex());
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

    QSignalSpy applied(m_board.get(), &SimulatedBoard::blockApplied);
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
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(m_board->model().snapshot(group).data())
                            + snapshotOffset,
                        13),
             block.left(13));

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

    QSignalSpy ignored(m_board.get(), &SimulatedBoard::byteIgnored);
    QSignalSpy commands(m_board.get(), &SimulatedBoard::commandReceived);
    QVERIFY(m_port->send(QByteArray(1, char(byte)) + QByteArray::fromHex("28")));
    QTRY_COMPARE(m_port->received().size(), 168);
    QCOMPARE(ignored.size(), 1);
    QCOMPARE(commands.size(), 1);
}

void TestSimulatedBoard::newCommandEndsAnswer()
{
    // The panel's start-up: a whole read, at once replaced by the system write.
    m_board->setPaced(true);
    QSignalSpy cut(m_board.get(), &SimulatedBoard::answerCut);
    QSignalSpy applied(m_board.get(), &SimulatedBoard::blockApplied);
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
    QSignalSpy dropped(m_board.get(), &SimulatedBoard::payloadDropped);
    QSignalSpy applied(m_board.get(), &SimulatedBoard::blockApplied);
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
    QTest::newRow("short 1") << int(Fault::ShortAnswer) << 1 << QByteArray::fromHex("08") << 1
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
    QSignalSpy commands(m_board.get(), &SimulatedBoard::commandReceived);
    QVERIFY(m_port->send(command));
    QTRY_COMPARE(commands.size(), 1);
    QTRY_COMPARE(m_port->received().size(), expectedLength);
    QTest::qWait(50);
    QCOMPARE(m_port->received().size(), expectedLength);
    const QByteArray snapshot = snapshotBytes(*m_board, 0);
    const qsizetype common = qMin<qsizetype>(expectedLength, 168);
    if (expectedLength > 0 && command != QByteArray::fromHex("18"))
        QCOMPARE(m_port->received().left(common) == snapshot.left(common), startsWithSnapshot);
}

void TestSimulatedBoard::faultWearsOffAfterTimes()
{
    m_board->injectFault({ Fault::Silent, 0, 0, 2 });
    QSignalSpy commands(m_board.get(), &SimulatedBoard::commandReceived);
    QVERIFY(m_port->send(QByteArray::fromHex("28")));
    QVERIFY(m_port->send(QByteArray::fromHex("28")));
    QTRY_COMPARE(commands.size(), 2);
    QCOMPARE(m_port->received().size(), 0);
    QCOMPARE(m_board->fault().fault, Fault::None);
    QVERIFY(m_port->send(QByteArray::fromHex("28")));
    QTRY_COMPARE(m_port->received().size(), 168);
}

void TestSimulatedBoard::delayedAcknowledgement()
{
    m_board->injectFault({ Fault::DelayedAck, 0, 300, 1 });
    QVERIFY(m_port->send(QByteArray::fromHex("18")));
    QTRY_COMPARE(m_port->received().size(), 1);

    // From the board's own log: the acknowledgement left no earlier than asked.
    const auto &log = m_board->wireLog();
    QCOMPARE(log.size(), 2);
    QCOMPARE(log.at(0).direction, Direction::FromPanel);
    QCOMPARE(log.at(1).direction, Direction::ToPanel);
    QVERIFY2(log.at(1).timeUs - log.at(0).timeUs >= 300'000, "acknowledgement came early");

    // Reads are not delayed by it.
    m_port->forget();
    QVERIFY(m_port->send(QByteArray(14, '\0')));
    QVERIFY(m_port->send(QByteArray::fromHex("28")));
    QTRY_COMPARE(m_port->received().size(), 168);
}

void TestSimulatedBoard::pacedAnswerTakesTheWireTime()
{
    m_board->setPaced(true);
    QVERIFY(m_port->send(QByteArray::fromHex("28")));
    QTRY_COMPARE(m_port->received().size(), 168);
    const auto &log = m_board->wireLog();
    QVERIFY2(log.size() > 2, "a paced answer leaves in several pieces");
    // 1 + 168 bytes of 10 bits at 19200 bit/s: 88.0 ms; the first byte went out at once.
    const qint64 spanUs = log.constLast().timeUs - log.constFirst().timeUs;
    QVERIFY2(spanUs >= 87'000, qPrintable(QStringLiteral("answer took only %1 us").arg(spanUs)));
}

void TestSimulatedBoard::floodWhileIdle()
{
    m_board->flood(20000);
    QTRY_COMPARE(m_port->received().size(), 20000);
    QCOMPARE(m_board->bytesToPanel().size(), 20000);
    m_port->forget();
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

void TestSimulatedBoard::hangUpAndRestartRepointsLink()
{
    const QString link = m_board->devicePath();
    QSignalSpy hungUp(m_board.get(), &SimulatedBoard::lineHungUp);
    m_board->hangUp();
    QCOMPARE(hungUp.size(), 1);
    QVERIFY(!m_board->isRunning());
    QTRY_VERIFY(m_port->lineDropped());
    QVERIFY(!QFileInfo(link).isSymLink());
    m_port.reset();

    QVERIFY(m_board->restart());
    QCOMPARE(m_board->devicePath(), link);
    QCOMPARE(QFileInfo(link).symLinkTarget(), m_board->serialPath());
    RawPort again(link);
    QVERIFY(again.isOpen());
    QVERIFY(again.send(QByteArray::fromHex("08")));
    QTRY_COMPARE(again.received().size(), 168);
}

void TestSimulatedBoard::stopRemovesLinkAndRefusesToClobberFiles()
{
    const QString link = m_board->devicePath();
    m_port.reset();
    m_board->stop();
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!QFileInfo::exists(link));

    const QString plain = m_dir.filePath(QStringLiteral("plain-file"));
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
