// SPDX-License-Identifier: MIT
// The RFC 2217 client as a state machine over bytes, against negotiations recorded from
// ser2net 4.3.11 (telnet(rfc2217) accepter in front of a pseudo-terminal) and against servers
// that misbehave: IAC doubling both ways, sub-negotiations with 0xFF inside a value, refusals,
// unknown options refused once without a loop, a server that never answers.

#include <serial/rfc2217.h>

#include <QTest>

using vantor::serial::ComPortLine;
using vantor::serial::Rfc2217Client;
using State = Rfc2217Client::State;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Recorded: what ser2net sends as a client connects.
const char *const kSer2netOpening = "ff fb 03 ff fd 03 ff fb 01 ff fe 01 ff fd 00 ff fb 00 ff fd 2c";
// Recorded: its notification of the modem lines and its repeated DO SUPPRESS-GO-AHEAD.
const char *const kSer2netModemState = "ff fa 2c 6b 00 ff f0 ff fd 03";
// Recorded: its replies to 19200 bit/s, 8 data bits, no parity, 1 stop bit, no flow control.
const char *const kSer2netReplies = "ff fa 2c 65 00 00 4b 00 ff f0 ff fa 2c 66 08 ff f0"
                                    " ff fa 2c 67 01 ff f0 ff fa 2c 68 01 ff f0 ff fa 2c 69 01 ff f0";
// Recorded: its reply to PURGE-DATA 1.
const char *const kSer2netPurgeReply = "ff fa 2c 70 01 ff f0";

// The client's offers, and its answers to ser2net's opening: DO SGA, WILL SGA, DONT ECHO, then
// the line settings once COM-PORT-OPTION is agreed.
const char *const kClientStart = "ff fb 00 ff fd 00 ff fb 2c";
const char *const kClientLine = "ff fa 2c 01 00 00 4b 00 ff f0 ff fa 2c 02 08 ff f0"
                                " ff fa 2c 03 01 ff f0 ff fa 2c 04 01 ff f0 ff fa 2c 05 01 ff f0";

QByteArray clientAnswersToOpening()
{
    return hex("ff fd 03 ff fb 03 ff fe 01") + hex(kClientLine);
}

QByteArray ready()
{
    return hex(kSer2netOpening) + hex(kSer2netModemState) + hex(kSer2netReplies);
}

} // namespace

class TestRfc2217 : public QObject
{
    Q_OBJECT

private slots:
    void startOffers();
    void negotiation_data();
    void negotiation();
    void escapeDoublesIac_data();
    void escapeDoublesIac();
    void purgeIsReceiveBufferOnly();
    void lineFromSettings_data();
    void lineFromSettings();
    void serverThatNeverAnswers();
    void notificationsAreOnlyNoted();
};

void TestRfc2217::startOffers()
{
    Rfc2217Client client;
    QCOMPARE(client.start(), hex(kClientStart));
    QCOMPARE(client.state(), State::Negotiating);
}

void TestRfc2217::negotiation_data()
{
    QTest::addColumn<quint32>("baud");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("byteByByte");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("failure");

    const int negotiating = int(State::Negotiating);
    const int isReady = int(State::Ready);
    const int failed = int(State::Failed);

    QTest::newRow("ser2net's opening: SGA taken, ECHO refused, the line set")
        << 19200u << hex(kSer2netOpening) << false << QByteArray() << clientAnswersToOpening()
        << negotiating << QString();
    QTest::newRow("ser2net's whole negotiation: ready")
        << 19200u << ready() << false << QByteArray() << clientAnswersToOpening() << isReady
        << QString();
    QTest::newRow("the same, one byte at a time")
        << 19200u << ready() << true << QByteArray() << clientAnswersToOpening() << isReady
        << QString();
    QTest::newRow("data after the negotiation: IAC IAC is one 0xFF, CR NUL stays")
        << 19200u << ready() + hex("08 ff ff 0d 00 0d 0a 11 13 ff ff ff ff") << false
        << hex("08 ff 0d 00 0d 0a 11 13 ff ff") << clientAnswersToOpening() << isReady
        << QString();
    QTest::newRow("IAC IAC split between two reads")
        << 19200u << ready() + hex("08 ff ff 01") << true << hex("08 ff 01")
        << clientAnswersToOpening() << isReady << QString();
    QTest::newRow("a reply with 0xFF inside its value (65535 bit/s)")
        << 65535u
        << hex(kSer2netOpening) + hex("ff fa 2c 65 00 00 ff ff ff ff ff f0")
               + hex("ff fa 2c 66 08 ff f0 ff fa 2c 67 01 ff f0 ff fa 2c 68 01 ff f0"
                     " ff fa 2c 69 01 ff f0")
        << false << QByteArray()
        << hex("ff fd 03 ff fb 03 ff fe 01")
               + hex("ff fa 2c 01 00 00 ff ff ff ff ff f0 ff fa 2c 02 08 ff f0"
                     " ff fa 2c 03 01 ff f0 ff fa 2c 04 01 ff f0 ff fa 2c 05 01 ff f0")
        << isReady << QString();
    QTest::newRow("PURGE-DATA's reply is no data")
        << 19200u << ready() + hex(kSer2netPurgeReply) + hex("08") << false << hex("08")
        << clientAnswersToOpening() << isReady << QString();
    QTest::newRow("NOP, go-ahead and data mark carry nothing")
        << 19200u << ready() + hex("01 ff f1 02 ff f9 03 ff f2 04") << false << hex("01 02 03 04")
        << clientAnswersToOpening() << isReady << QString();

    QTest::newRow("unknown options refused once; their answers not answered again")
        << 19200u << hex("ff fb 18 ff fd 1f ff fc 18 ff fe 1f ff fb 18") << false << QByteArray()
        << hex("ff fe 18 ff fc 1f ff fe 18") << negotiating << QString();
    QTest::newRow("agreed options asked again: no answer")
        << 19200u << hex("ff fd 00 ff fb 00 ff fd 00 ff fb 00 ff fd 03 ff fd 03") << false
        << QByteArray() << hex("ff fb 03") << negotiating << QString();
    QTest::newRow("the server refuses BINARY from the client")
        << 19200u << hex("ff fe 00") << false << QByteArray() << QByteArray() << failed
        << QStringLiteral("the server refuses BINARY");
    QTest::newRow("the server will not send BINARY")
        << 19200u << hex("ff fc 00") << false << QByteArray() << QByteArray() << failed
        << QStringLiteral("the server refuses BINARY");
    QTest::newRow("the server refuses COM-PORT-OPTION")
        << 19200u << hex("ff fd 00 ff fb 00 ff fe 2c") << false << QByteArray() << QByteArray()
        << failed << QStringLiteral("the server refuses COM-PORT-OPTION");
    QTest::newRow("the server sets another baud rate")
        << 19200u << hex(kSer2netOpening) + hex("ff fa 2c 65 00 00 25 80 ff f0") << false
        << QByteArray() << clientAnswersToOpening() << failed
        << QStringLiteral("the server set 9600 bit/s instead of 19200");
    QTest::newRow("the server keeps flow control")
        << 19200u
        << hex(kSer2netOpening) + hex(kSer2netReplies).replace(hex("2c 69 01"), hex("2c 69 02"))
        << false << QByteArray() << clientAnswersToOpening() << failed
        << QStringLiteral("the server answered SET-CONTROL with 02 instead of 1");
    QTest::newRow("BINARY switched off after the negotiation")
        << 19200u << ready() + hex("ff fc 00") << false << QByteArray()
        << clientAnswersToOpening() + hex("ff fe 00") << failed
        << QStringLiteral("the server switched BINARY off");
    QTest::newRow("ser2net's refusal: its opening, then text")
        << 19200u << hex(kSer2netOpening) + QByteArray("Port's device already in use\r\n") << false
        << QByteArray("Port's device already in use\r\n") << clientAnswersToOpening()
        << negotiating << QString();
    QTest::newRow("an overlong sub-negotiation is dropped, the stream goes on")
        << 19200u << ready() + hex("ff fa 2c 64") + QByteArray(300, 'x') + hex("ff f0 07") << false
        << hex("07") << clientAnswersToOpening() << isReady << QString();
}

void TestRfc2217::negotiation()
{
    QFETCH(quint32, baud);
    QFETCH(QByteArray, input);
    QFETCH(bool, byteByByte);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, reply);
    QFETCH(int, state);
    QFETCH(QString, failure);

    ComPortLine line;
    line.baudRate = baud;
    Rfc2217Client client(line);
    (void)client.start();
    QByteArray gotData;
    QByteArray gotReply;
    if (byteByByte) {
        for (qsizetype i = 0; i < input.size(); ++i) {
            const Rfc2217Client::Output out = client.receive(input.mid(i, 1));
            gotData += out.data;
            gotReply += out.reply;
        }
    } else {
        const Rfc2217Client::Output out = client.receive(input);
        gotData = out.data;
        gotReply = out.reply;
    }
    QCOMPARE(gotData.toHex(' '), data.toHex(' '));
    QCOMPARE(gotReply.toHex(' '), reply.toHex(' '));
    QCOMPARE(int(client.state()), state);
    QCOMPARE(client.failure(), failure);
}

void TestRfc2217::escapeDoublesIac_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("none") << hex("08 28 0d 0a") << hex("08 28 0d 0a");
    QTest::newRow("one") << hex("18 ff 00") << hex("18 ff ff 00");
    QTest::newRow("all") << hex("ff ff") << hex("ff ff ff ff");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestRfc2217::escapeDoublesIac()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, sent);
    QCOMPARE(Rfc2217Client::escape(data).toHex(' '), sent.toHex(' '));
    // What goes out comes back as it was.
    Rfc2217Client client;
    QCOMPARE(client.receive(sent).data.toHex(' '), data.toHex(' '));
}

void TestRfc2217::purgeIsReceiveBufferOnly()
{
    QCOMPARE(Rfc2217Client::purgeReceiveBuffer().toHex(' '), hex("ff fa 2c 0c 01 ff f0").toHex(' '));
}

void TestRfc2217::lineFromSettings_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<quint32>("baud");
    QTest::addColumn<int>("dataSize");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopSize");
    QTest::newRow("the board's") << "19200,N,8,1" << true << 19200u << 8 << 1 << 1;
    QTest::newRow("even, 7, 2") << "9600,E,7,2" << true << 9600u << 7 << 3 << 2;
    QTest::newRow("odd, 1.5") << "1200,O,5,1.5" << true << 1200u << 5 << 2 << 3;
    QTest::newRow("not understood") << "fast" << false << 0u << 0 << 0 << 0;
}

void TestRfc2217::lineFromSettings()
{
    QFETCH(QString, settings);
    QFETCH(bool, valid);
    const auto line = vantor::serial::comPortLineOf(settings);
    QCOMPARE(line.has_value(), valid);
    if (!valid)
        return;
    QFETCH(quint32, baud);
    QFETCH(int, dataSize);
    QFETCH(int, parity);
    QFETCH(int, stopSize);
    QCOMPARE(line->baudRate, baud);
    QCOMPARE(int(line->dataSize), dataSize);
    QCOMPARE(int(line->parity), parity);
    QCOMPARE(int(line->stopSize), stopSize);
}

// Nothing comes back: the client waits (the link's 3 s limit ends it) and says what for.
void TestRfc2217::serverThatNeverAnswers()
{
    Rfc2217Client client;
    (void)client.start();
    const Rfc2217Client::Output out = client.receive({});
    QVERIFY(out.reply.isEmpty());
    QCOMPARE(client.state(), State::Negotiating);
    QCOMPARE(client.awaited(), QStringLiteral("BINARY, COM-PORT-OPTION"));

    // Options agreed, the line settings sent, their replies missing.
    (void)client.receive(hex("ff fd 00 ff fb 00 ff fd 2c"));
    QCOMPARE(client.awaited(), QStringLiteral("SET-BAUDRATE, SET-DATASIZE, SET-PARITY, "
                                              "SET-STOPSIZE, SET-CONTROL"));
    (void)client.receive(hex("ff fa 2c 65 00 00 4b 00 ff f0"));
    QCOMPARE(client.awaited(),
             QStringLiteral("SET-DATASIZE, SET-PARITY, SET-STOPSIZE, SET-CONTROL"));
}

void TestRfc2217::notificationsAreOnlyNoted()
{
    Rfc2217Client client;
    (void)client.start();
    (void)client.receive(ready());
    const Rfc2217Client::Output out
        = client.receive(hex("ff fa 2c 6a 60 ff f0 ff fa 2c 6b ff ff ff f0 ff fa 2c 6c ff f0"
                             " ff fa 2c 6d ff f0 ff fa 2c 65 00 00 25 80 ff f0 2a"));
    QCOMPARE(out.data, hex("2a"));
    QVERIFY(out.reply.isEmpty());
    QCOMPARE(client.state(), State::Ready);
    QCOMPARE(out.notes,
             (QStringList { "line state 60", "modem state ff",
                            "the server asks to suspend sending (ignored)",
                            "the server allows sending again",
                            "the server reports SET-BAUDRATE 00 00 25 80" }));
}

QTEST_GUILESS_MAIN(TestRfc2217)

#include "test_rfc2217.moc"
