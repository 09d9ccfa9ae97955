// SPDX-License-Identifier: MIT
// The serial link on a real pseudo-terminal, against the simulated board.

#include <boardonpty.h>

#include <serial/portcontrol.h>
#include <serial/qtseriallink.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

#include <functional>

#include <fcntl.h>
#include <unistd.h>

using vantor::serial::CommEvent;
using vantor::serial::OpenFailure;
using vantor::serial::QtSerialLink;
using vantor::sim::Fault;
using vantor::testing::BoardOnPty;

namespace {

// A bare pseudo-terminal whose other end the test writes byte by byte, when it chooses.
struct RawPty
{
    RawPty()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return;
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        path = QString::fromLocal8Bit(::ptsname(master));
    }
    ~RawPty()
    {
        if (master >= 0)
            ::close(master);
    }
    bool send(const QByteArray &bytes) const
    {
        return ::write(master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    QByteArray take() const
    {
        char buffer[256];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        return n > 0 ? QByteArray(buffer, n) : QByteArray();
    }

    int master = -1;
    QString path;
};

// Turns the event loop until done() holds and returns at once, within a millisecond of it: the
// link's quiet wait is about that long.
bool spinUntil(const std::function<bool()> &done)
{
    QTimer keepTurning;
    keepTurning.start(5);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 5000)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

int countEvents(const QSignalSpy &spy, CommEvent event)
{
    int n = 0;
    for (const QList<QVariant> &args : spy)
        n += args.at(0).value<CommEvent>() == event ? 1 : 0;
    return n;
}

} // namespace

class TestQtSerialLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void settings_data();
    void settings();
    void openFailures_data();
    void openFailures();
    void receiveThresholdRaisesOneEvent_data();
    void receiveThresholdRaisesOneEvent();
    void readLengthBoundsARead();
    void sendEventComesAfterTheWrite();
    void sendEventDroppedWhenThresholdCleared();
    void floodIsBounded();
    void hangUpIsReportedOnceAndRecovered();
    void bytesAtOddTimes_data();
    void bytesAtOddTimes();
    void portErrors_data();
    void portErrors();

private:
    std::unique_ptr<BoardOnPty> m_pty;
    std::unique_ptr<QtSerialLink> m_link;
};

void TestQtSerialLink::init()
{
    qRegisterMetaType<CommEvent>();
    m_pty = std::make_unique<BoardOnPty>();
    QVERIFY2(m_pty->start(false), qPrintable(m_pty->board.errorString()));
    m_link = std::make_unique<QtSerialLink>();
    m_link->setPortName(m_pty->board.devicePath());
    QVERIFY(m_link->setSettings(QStringLiteral("19200,N,8,1")));
}

void TestQtSerialLink::cleanup()
{
    m_link.reset();
    m_pty.reset();
}

void TestQtSerialLink::settings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");

    QTest::newRow("the board's") << "19200,N,8,1" << true << 19200 << int(QSerialPort::NoParity)
                                 << 8 << int(QSerialPort::OneStop);
    QTest::newRow("even, 7, 2") << "9600,E,7,2" << true << 9600 << int(QSerialPort::EvenParity) << 7
                                << int(QSerialPort::TwoStop);
    QTest::newRow("odd, 5, 1.5") << "1200,o,5,1.5" << true << 1200 << int(QSerialPort::OddParity)
                                 << 5 << int(QSerialPort::OneAndHalfStop);
    QTest::newRow("mark") << "19200,M,8,1" << true << 19200 << int(QSerialPort::MarkParity) << 8
                          << int(QSerialPort::OneStop);
    QTest::newRow("space, spaces")
        << " 19200 , S , 8 , 1 " << true << 19200 << int(QSerialPort::SpaceParity) << 8
        << int(QSerialPort::OneStop);
    QTest::newRow("unknown parity") << "19200,X,8,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("9 data bits") << "19200,N,9,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("4 data bits") << "19200,N,4,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("3 stop bits") << "19200,N,8,3" << false << 0 << 0 << 0 << 0;
    QTest::newRow("zero baud") << "0,N,8,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("no baud") << ",N,8,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("three fields") << "19200,N,8" << false << 0 << 0 << 0 << 0;
    QTest::newRow("five fields") << "19200,N,8,1,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("empty") << "" << false << 0 << 0 << 0 << 0;
}

// Parsed as the line's settings; a refused text leaves the link's settings as they were.
void TestQtSerialLink::settings()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);

    QCOMPARE(m_link->setSettings(text), valid);
    const auto parsed = vantor::serial::parseLineSettings(text);
    QCOMPARE(parsed.has_value(), valid);
    if (!valid) {
        QCOMPARE(m_link->settings(), QStringLiteral("19200,N,8,1"));
        return;
    }
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    QCOMPARE(parsed->baudRate, baud);
    QCOMPARE(int(parsed->parity), parity);
    QCOMPARE(int(parsed->dataBits), dataBits);
    QCOMPARE(int(parsed->stopBits), stopBits);
}

void TestQtSerialLink::openFailures_data()
{
    QTest::addColumn<QString>("device"); // in the scratch directory unless it says otherwise
    QTest::addColumn<bool>("inScratch");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("reason");

    const int notSerial = int(OpenFailure::NotSerialDevice);
    QTest::newRow("missing") << "no-such-port" << true << int(OpenFailure::NoSuchDevice)
                             << "no such device";
    // Another QSerialPort of this process holds Qt's lock on the board's terminal.
    QTest::newRow("in use") << "board" << true << int(OpenFailure::Busy)
                            << "busy, in use by another program";
    QTest::newRow("plain file") << "plain-file" << true << notSerial << "not a serial device";
    QTest::newRow("directory") << "a-directory" << true << notSerial << "not a serial device";
    QTest::newRow("/dev/null") << "/dev/null" << false << notSerial << "not a serial device";
    // A bare name is looked up in /dev, as Qt opens it.
    QTest::newRow("null, a bare name") << "null" << false << notSerial << "not a serial device";
}

void TestQtSerialLink::openFailures()
{
    QFETCH(QString, device);
    QFETCH(bool, inScratch);
    QFETCH(int, kind);
    QFETCH(QString, reason);

    QtSerialLink holder;
    holder.setPortName(m_pty->board.devicePath());
    QVERIFY(holder.open());
    QFile plain(m_pty->dir.filePath(QStringLiteral("plain-file")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QVERIFY(QDir(m_pty->dir.path()).mkdir(QStringLiteral("a-directory")));

    const QString path = inScratch ? m_pty->dir.filePath(device) : device;
    m_link->setPortName(path);
    QSignalSpy failed(m_link.get(), &QtSerialLink::portFailed);
    QSignalSpy openChanged(m_link.get(), &QtSerialLink::openChanged);

    QVERIFY(!m_link->open());
    QVERIFY(!m_link->isOpen());
    QCOMPARE(m_link->errorString(), path + QStringLiteral(": ") + reason);
    QCOMPARE(int(m_link->openFailure()), kind);
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), m_link->errorString());
    QCOMPARE(openChanged.size(), 0);
    QVERIFY(!m_link->write(QByteArray::fromHex("28")));

    // The link is not stuck: once the device is free, the same link opens.
    holder.close();
    m_link->setPortName(m_pty->board.devicePath());
    QVERIFY(m_link->open());
    QVERIFY(m_link->errorString().isEmpty());
    QCOMPARE(m_link->openFailure(), OpenFailure::None);
    QCOMPARE(openChanged.size(), 1);
    QCOMPARE(failed.size(), 1);
}

void TestQtSerialLink::receiveThresholdRaisesOneEvent_data()
{
    QTest::addColumn<int>("threshold");
    QTest::addColumn<int>("answerLength");
    QTest::addColumn<int>("expectedEvents");

    QTest::newRow("168 of 168") << 168 << 168 << 1;
    QTest::newRow("168 of 170") << 168 << 170 << 1;
    QTest::newRow("168 of 167") << 168 << 167 << 0;
    QTest::newRow("1 of 168") << 1 << 168 << 1;
    QTest::newRow("off") << 0 << 168 << 0;
}

void TestQtSerialLink::receiveThresholdRaisesOneEvent()
{
    QFETCH(int, threshold);
    QFETCH(int, answerLength);
    QFETCH(int, expectedEvents);

    if (answerLength < 168)
        m_pty->board.injectFault({ Fault::ShortAnswer, answerLength, 0, -1 });
    else if (answerLength > 168)
        m_pty->board.injectFault({ Fault::LongAnswer, answerLength - 168, 0, -1 });
    m_pty->board.setPaced(true); // the answer arrives in many small pieces
    QVERIFY(m_link->open());
    QSignalSpy events(m_link.get(), &QtSerialLink::commEvent);
    m_link->setReceiveThreshold(threshold);

    QVERIFY(m_link->write(QByteArray::fromHex("28")));
    QTRY_COMPARE(m_link->bytesWaiting(), qsizetype(answerLength));
    // The event waits for the line to fall quiet, however late the process is run.
    if (expectedEvents > 0)
        QTRY_COMPARE(countEvents(events, CommEvent::ReceiveThreshold), expectedEvents);
    QTest::qWait(20);
    QCOMPARE(countEvents(events, CommEvent::ReceiveThreshold), expectedEvents);
    QCOMPARE(m_link->read().size(), answerLength);
    QCOMPARE(m_link->bytesWaiting(), 0);
}

void TestQtSerialLink::readLengthBoundsARead()
{
    QVERIFY(m_link->open());
    m_link->setReadLength(100);
    QVERIFY(m_link->write(QByteArray::fromHex("08")));
    QTRY_COMPARE(m_link->bytesWaiting(), 168);
    QCOMPARE(m_link->read().size(), 100);
    QCOMPARE(m_link->read().size(), 68);
    QCOMPARE(m_link->read().size(), 0);
}

void TestQtSerialLink::sendEventComesAfterTheWrite()
{
    QVERIFY(m_link->open());
    QSignalSpy events(m_link.get(), &QtSerialLink::commEvent);
    m_link->setSendThreshold(1);

    QVERIFY(m_link->write(QByteArray(217, '\0')));
    QCOMPARE(events.size(), 0); // never from inside the write
    QTRY_COMPARE(countEvents(events, CommEvent::SendThreshold), 1);
    QTest::qWait(20);
    QCOMPARE(events.size(), 1);
    QCOMPARE(m_pty->board.bytesFromPanel().size(), 217);
}

void TestQtSerialLink::sendEventDroppedWhenThresholdCleared()
{
    QVERIFY(m_link->open());
    QSignalSpy events(m_link.get(), &QtSerialLink::commEvent);

    // Threshold cleared before the event is delivered: none comes.
    m_link->setSendThreshold(1);
    QVERIFY(m_link->write(QByteArray(14, '\0')));
    m_link->setSendThreshold(0);
    QTRY_COMPARE(m_pty->board.bytesFromPanel().size(), 14);
    QTest::qWait(30);
    QCOMPARE(events.size(), 0);

    // A discard after the write: the discarded block raises nothing either.
    m_link->setSendThreshold(1);
    QVERIFY(m_link->write(QByteArray(14, '\0')));
    m_link->discardOutput();
    QTest::qWait(30);
    QCOMPARE(events.size(), 0);
}

void TestQtSerialLink::floodIsBounded()
{
    QVERIFY(m_link->open());
    constexpr int kFlood = 300 * 1024;
    m_pty->board.flood(kFlood);
    QTRY_COMPARE_WITH_TIMEOUT(m_link->droppedBytes() + m_link->bytesWaiting(), qint64(kFlood),
                              10000);
    QCOMPARE(m_link->bytesWaiting(), QtSerialLink::kReceiveLimit);
    QVERIFY(m_link->isOpen());

    // Once emptied the link works as before.
    m_link->discardInput();
    m_link->setReceiveThreshold(168);
    QSignalSpy events(m_link.get(), &QtSerialLink::commEvent);
    QVERIFY(m_link->write(QByteArray::fromHex("28")));
    QTRY_COMPARE(events.size(), 1);
    QCOMPARE(m_link->read().size(), 168);
}

void TestQtSerialLink::hangUpIsReportedOnceAndRecovered()
{
    vantor::sim::SimulatedBoard &board = m_pty->board;
    QVERIFY(m_link->open());
    QSignalSpy failed(m_link.get(), &QtSerialLink::portFailed);
    QSignalSpy openChanged(m_link.get(), &QtSerialLink::openChanged);

    board.hangUp();
    QTRY_COMPARE(failed.size(), 1);
    QVERIFY(!m_link->isOpen());
    QCOMPARE(openChanged.size(), 1);
    QCOMPARE(openChanged.at(0).at(0).toBool(), false);
    QVERIFY2(failed.at(0).at(0).toString().startsWith(board.devicePath()),
             qPrintable(failed.at(0).at(0).toString()));
    QTest::qWait(100);
    QCOMPARE(failed.size(), 1); // reported once, not once per spin of the event loop

    QVERIFY(!m_link->write(QByteArray::fromHex("28")));
    QVERIFY(!m_link->open()); // the device is gone until the board comes back
    QCOMPARE(failed.size(), 2);

    // "Reset Port" once the board is back: the same device path leads to the new line.
    QVERIFY(board.restart());
    vantor::serial::PortControl control(*m_link, {});
    QVERIFY(control.resetPort());
    QVERIFY(m_link->isOpen());
    m_link->setReceiveThreshold(168);
    QSignalSpy events(m_link.get(), &QtSerialLink::commEvent);
    QVERIFY(m_link->write(QByteArray::fromHex("28")));
    QTRY_COMPARE(events.size(), 1);
    QCOMPARE(m_link->read().toHex(), m_pty->snapshot(0).toHex());
}

void TestQtSerialLink::bytesAtOddTimes_data()
{
    QTest::addColumn<int>("stale");    // bytes arriving before the command and after it
    QTest::addColumn<int>("trailing"); // bytes right after the answer's 168th
    QTest::addColumn<int>("taken");    // what the read at the receive event takes

    // The tail of an earlier answer is discarded with the input, not taken for this answer.
    QTest::newRow("an earlier answer's tail after the command") << 10 << 0 << 168;
    // The receive event waits for the line to fall quiet: a read sees the answer is too long.
    QTest::newRow("a byte after the answer") << 0 << 1 << 169;
    QTest::newRow("a good answer") << 0 << 0 << 168;
}

void TestQtSerialLink::bytesAtOddTimes()
{
    QFETCH(int, stale);
    QFETCH(int, trailing);
    QFETCH(int, taken);

    const RawPty pty;
    QVERIFY(!pty.path.isEmpty());
    QtSerialLink link;
    link.setPortName(pty.path);
    QVERIFY(link.open());
    link.setReceiveThreshold(168);
    qsizetype waitingAtEvent = -1;
    connect(&link, &QtSerialLink::commEvent, this,
            [&](CommEvent) { waitingAtEvent = link.bytesWaiting(); });

    if (stale > 0) {
        QVERIFY(pty.send(QByteArray(stale, '\x5a')));
        QVERIFY(spinUntil([&] { return link.bytesWaiting() == stale; }));
    }
    link.discardInput();
    QVERIFY(link.write(QByteArray::fromHex("28")));
    QVERIFY(pty.send(QByteArray(stale, '\x5a')));
    QByteArray command;
    QTRY_VERIFY((command += pty.take()).size() > 0);
    QCOMPARE(command.toHex(), QByteArray("28"));

    const QByteArray answer = QByteArray(168, '\x11');
    QVERIFY(pty.send(answer));
    QVERIFY(spinUntil([&] { return link.bytesWaiting() >= 168 || waitingAtEvent >= 0; }));
    QVERIFY(pty.send(QByteArray(trailing, '\x77')));
    QTRY_VERIFY(waitingAtEvent >= 0);
    QCOMPARE(waitingAtEvent, qsizetype(taken));
    const QByteArray read = link.read();
    QCOMPARE(read.size(), taken);
    QCOMPARE(read.left(168).toHex(), answer.toHex());
}

void TestQtSerialLink::portErrors_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("hungUp");
    QTest::addColumn<bool>("lost");

    // Qt reports a read of no bytes (the input was flushed after the port said it was
    // readable) as one of these: with the line up it is no data.
    QTest::newRow("read error, line up") << int(QSerialPort::ReadError) << false << false;
    QTest::newRow("resource error, line up") << int(QSerialPort::ResourceError) << false << false;
    QTest::newRow("read error, other end hung up") << int(QSerialPort::ReadError) << true << true;
    QTest::newRow("write error, line up") << int(QSerialPort::WriteError) << false << true;
}

void TestQtSerialLink::portErrors()
{
    QFETCH(int, error);
    QFETCH(bool, hungUp);
    QFETCH(bool, lost);

    QVERIFY(m_link->open());
    QSignalSpy failed(m_link.get(), &QtSerialLink::portFailed);
    auto *port = m_link->findChild<QSerialPort *>();
    QVERIFY(port);
    if (hungUp)
        m_pty->board.hangUp();
    emit port->errorOccurred(static_cast<QSerialPort::SerialPortError>(error));
    if (lost) {
        QTRY_COMPARE(failed.size(), 1);
        QVERIFY(!m_link->isOpen());
        return;
    }
    QTest::qWait(20);
    QCOMPARE(failed.size(), 0);
    QVERIFY(m_link->isOpen());
    // And it still reads.
    m_link->setReceiveThreshold(168);
    QSignalSpy events(m_link.get(), &QtSerialLink::commEvent);
    QVERIFY(m_link->write(QByteArray::fromHex("28")));
    QTRY_COMPARE(events.size(), 1);
    QCOMPARE(m_link->read().size(), 168);
}

QTEST_GUILESS_MAIN(TestQtSerialLink)
#include "test_qtseriallink.moc"
