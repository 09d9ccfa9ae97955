// SPDX-License-Identifier: MIT
#include "rfc2217.h"

#include "qtseriallink.h"

#include <initializer_list>

namespace vantor::serial {

namespace {

using namespace telnet;

// A sub-negotiation longer than this is no COM-PORT-OPTION reply: it is dropped unread.
constexpr qsizetype kSbLimit = 256;

QByteArray bytesOf(std::initializer_list<std::uint8_t> list)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(list.size()));
    for (const std::uint8_t b : list)
        out.append(static_cast<char>(b));
    return out;
}

QByteArray verb(std::uint8_t verbByte, std::uint8_t option)
{
    return bytesOf({ kIac, verbByte, option });
}

QString optionName(std::uint8_t option)
{
    switch (option) {
    case kBinary:
        return QStringLiteral("BINARY");
    case kEcho:
        return QStringLiteral("ECHO");
    case kSuppressGoAhead:
        return QStringLiteral("SUPPRESS-GO-AHEAD");
    case kComPortOption:
        return QStringLiteral("COM-PORT-OPTION");
    default:
        return QStringLiteral("option %1").arg(option);
    }
}

QString commandName(std::uint8_t command)
{
    switch (command) {
    case comport::kSetBaudRate:
        return QStringLiteral("SET-BAUDRATE");
    case comport::kSetDataSize:
        return QStringLiteral("SET-DATASIZE");
    case comport::kSetParity:
        return QStringLiteral("SET-PARITY");
    case comport::kSetStopSize:
        return QStringLiteral("SET-STOPSIZE");
    case comport::kSetControl:
        return QStringLiteral("SET-CONTROL");
    default:
        return QStringLiteral("command %1").arg(command);
    }
}

quint32 bigEndian32(QByteArrayView value)
{
    quint32 n = 0;
    for (const char c : value)
        n = (n << 8) | static_cast<std::uint8_t>(c);
    return n;
}

} // namespace

std::optional<ComPortLine> comPortLineOf(const QString &settings)
{
    const std::optional<LineSettings> parsed = parseLineSettings(settings);
    if (!parsed)
        return std::nullopt;
    ComPortLine line;
    line.baudRate = static_cast<quint32>(parsed->baudRate);
    line.dataSize = static_cast<std::uint8_t>(parsed->dataBits);
    switch (parsed->parity) {
    case QSerialPort::OddParity:
        line.parity = comport::kParityOdd;
        break;
    case QSerialPort::EvenParity:
        line.parity = comport::kParityEven;
        break;
    case QSerialPort::MarkParity:
        line.parity = comport::kParityMark;
        break;
    case QSerialPort::SpaceParity:
        line.parity = comport::kParitySpace;
        break;
    default:
        line.parity = comport::kParityNone;
        break;
    }
    switch (parsed->stopBits) {
    case QSerialPort::TwoStop:
        line.stopSize = comport::kStopTwo;
        break;
    case QSerialPort::OneAndHalfStop:
        line.stopSize = comport::kStopOneAndHalf;
        break;
    default:
        line.stopSize = comport::kStopOne;
        break;
    }
    return line;
}

Rfc2217Client::Rfc2217Client(ComPortLine line)
    : m_line(line)
{
    m_us.fill(Q::No);
    m_him.fill(Q::No);
}

QByteArray Rfc2217Client::start()
{
    m_us[kBinary] = Q::WantYes;
    m_him[kBinary] = Q::WantYes;
    m_us[kComPortOption] = Q::WantYes;
    return verb(kWill, kBinary) + verb(kDo, kBinary) + verb(kWill, kComPortOption);
}

bool Rfc2217Client::weAccept(std::uint8_t option)
{
    return option == kBinary || option == kSuppressGoAhead || option == kComPortOption;
}

bool Rfc2217Client::theyMay(std::uint8_t option)
{
    return option == kBinary || option == kSuppressGoAhead;
}

QByteArray Rfc2217Client::escape(QByteArrayView data)
{
    QByteArray out;
    out.reserve(data.size() + data.count(char(kIac)));
    for (const char c : data) {
        out.append(c);
        if (static_cast<std::uint8_t>(c) == kIac)
            out.append(c);
    }
    return out;
}

QByteArray Rfc2217Client::subnegotiation(std::uint8_t command, QByteArrayView value)
{
    QByteArray out = bytesOf({ kIac, kSb, kComPortOption, command });
    out += escape(value);
    out.append(static_cast<char>(kIac));
    out.append(static_cast<char>(kSe));
    return out;
}

QByteArray Rfc2217Client::purgeReceiveBuffer()
{
    return subnegotiation(comport::kPurgeData, QByteArray(1, char(comport::kPurgeReceiveBuffer)));
}

Rfc2217Client::Output Rfc2217Client::receive(QByteArrayView bytes)
{
    Output out;
    for (const char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        switch (m_parse) {
        case Parse::Data:
            if (b == kIac)
                m_parse = Parse::Iac;
            else
                out.data.append(c);
            break;
        case Parse::Iac:
            if (b == kIac) {
                out.data.append(c);
                m_parse = Parse::Data;
            } else if (b >= kWill) {
                m_verb = b;
                m_parse = Parse::Verb;
            } else if (b == kSb) {
                m_sb.clear();
                m_sbOverflow = false;
                m_parse = Parse::Sb;
            } else {
                // NOP, data mark, break, go-ahead and the rest carry nothing for a binary line.
                if (b != kNop && b != kGoAhead && b != kDataMark)
                    out.notes.append(QStringLiteral("ignored telnet command %1").arg(b));
                m_parse = Parse::Data;
            }
            break;
        case Parse::Verb:
            m_parse = Parse::Data;
            onVerb(m_verb, b, out);
            break;
        case Parse::Sb:
            if (b == kIac) {
                m_parse = Parse::SbIac;
            } else if (m_sb.size() < kSbLimit) {
                m_sb.append(c);
            } else {
                m_sbOverflow = true;
            }
            break;
        case Parse::SbIac:
            if (b == kIac) {
                if (m_sb.size() < kSbLimit)
                    m_sb.append(c);
                else
                    m_sbOverflow = true;
                m_parse = Parse::Sb;
            } else if (b == kSe) {
                m_parse = Parse::Data;
                onSubnegotiation(out);
            } else {
                // IAC and something else inside a sub-negotiation: a broken one. RFC 855 leaves
                // it open; the sub-negotiation ends here and the byte is read as a command.
                out.notes.append(QStringLiteral("a sub-negotiation ended without IAC SE"));
                m_sb.clear();
                m_parse = Parse::Iac;
                // Read the byte again in the Iac state.
                const char again = c;
                const Output more = receive(QByteArrayView(&again, 1));
                out.data += more.data;
                out.reply += more.reply;
                out.notes += more.notes;
            }
            break;
        }
    }
    return out;
}

void Rfc2217Client::onVerb(std::uint8_t verbByte, std::uint8_t option, Output &out)
{
    const bool isUs = verbByte == kDo || verbByte == kDont;
    const bool positive = verbByte == kWill || verbByte == kDo;
    Q &q = isUs ? m_us[option] : m_him[option];
    const bool acceptable = isUs ? weAccept(option) : theyMay(option);
    const std::uint8_t yes = isUs ? kWill : kDo;
    const std::uint8_t no = isUs ? kWont : kDont;
    const QString side = isUs ? QStringLiteral("client") : QStringLiteral("server");

    if (positive) {
        switch (q) {
        case Q::No:
            if (acceptable) {
                q = Q::Yes;
                out.reply += verb(yes, option);
            } else {
                out.reply += verb(no, option);
                out.notes.append(QStringLiteral("refused %1 on the %2 side")
                                     .arg(optionName(option), side));
            }
            break;
        case Q::Yes:
            break; // already so: no answer, or the two would loop
        case Q::WantYes:
            q = Q::Yes;
            break;
        case Q::WantNo:
            q = Q::No; // RFC 1143: an answer to our refusal that agrees anyway; stay off
            break;
        }
    } else {
        switch (q) {
        case Q::No:
            break;
        case Q::Yes:
            q = Q::No;
            out.reply += verb(no, option);
            break;
        case Q::WantYes:
        case Q::WantNo:
            q = Q::No;
            break;
        }
        if ((option == kBinary || (isUs && option == kComPortOption)) && m_state != State::Failed) {
            fail(m_state == State::Ready
                     ? QStringLiteral("the server switched %1 off").arg(optionName(option))
                     : QStringLiteral("the server refuses %1").arg(optionName(option)));
            return;
        }
    }

    if (isUs && option == kComPortOption && m_us[kComPortOption] == Q::Yes && !m_settingsSent)
        sendLineSettings(out);
    checkReady();
}

void Rfc2217Client::sendLineSettings(Output &out)
{
    m_settingsSent = true;
    const quint32 baud = m_line.baudRate;
    const QByteArray baudBytes
        = bytesOf({ static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
                    static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud) });
    out.reply += subnegotiation(comport::kSetBaudRate, baudBytes);
    out.reply += subnegotiation(comport::kSetDataSize, QByteArray(1, char(m_line.dataSize)));
    out.reply += subnegotiation(comport::kSetParity, QByteArray(1, char(m_line.parity)));
    out.reply += subnegotiation(comport::kSetStopSize, QByteArray(1, char(m_line.stopSize)));
    out.reply += subnegotiation(comport::kSetControl,
                                QByteArray(1, char(comport::kControlNoFlow)));
    for (int command = comport::kSetBaudRate; command <= comport::kSetControl; ++command)
        m_awaiting[static_cast<std::size_t>(command)] = true;
}

void Rfc2217Client::onSubnegotiation(Output &out)
{
    if (m_sbOverflow) {
        out.notes.append(QStringLiteral("dropped a sub-negotiation longer than %1 bytes")
                             .arg(kSbLimit));
        return;
    }
    if (m_sb.isEmpty())
        return;
    const auto option = static_cast<std::uint8_t>(m_sb.front());
    if (option != kComPortOption || m_sb.size() < 2) {
        out.notes.append(QStringLiteral("ignored a sub-negotiation of %1").arg(optionName(option)));
        return;
    }
    const auto command = static_cast<std::uint8_t>(m_sb.at(1));
    const QByteArrayView value = QByteArrayView(m_sb).sliced(2);
    if (command < comport::kServerOffset) {
        out.notes.append(QStringLiteral("ignored the server's COM-PORT-OPTION request %1")
                             .arg(command));
        return;
    }
    onComPortReply(static_cast<std::uint8_t>(command - comport::kServerOffset), value, out);
}

void Rfc2217Client::onComPortReply(std::uint8_t command, QByteArrayView value, Output &out)
{
    const QString hex = QString::fromLatin1(value.toByteArray().toHex(' '));
    switch (command) {
    case comport::kNotifyLineState:
        out.notes.append(QStringLiteral("line state %1").arg(hex));
        return;
    case comport::kNotifyModemState:
        out.notes.append(QStringLiteral("modem state %1").arg(hex));
        return;
    case comport::kFlowControlSuspend:
        out.notes.append(QStringLiteral("the server asks to suspend sending (ignored)"));
        return;
    case comport::kFlowControlResume:
        out.notes.append(QStringLiteral("the server allows sending again"));
        return;
    case comport::kSignature:
        out.notes.append(QStringLiteral("server signature \"%1\"")
                             .arg(QString::fromLatin1(value.toByteArray())));
        return;
    case comport::kPurgeData:
    case comport::kSetLineStateMask:
    case comport::kSetModemStateMask:
        return;
    default:
        break;
    }
    if (command < comport::kSetBaudRate || command > comport::kSetControl) {
        out.notes.append(QStringLiteral("ignored COM-PORT-OPTION reply %1")
                             .arg(command + comport::kServerOffset));
        return;
    }
    auto &awaiting = m_awaiting[command];
    if (!awaiting) {
        // A later change on the server's side (another client, its admin): told, not fatal.
        out.notes.append(QStringLiteral("the server reports %1 %2").arg(commandName(command), hex));
        return;
    }
    awaiting = false;

    QString wrong;
    if (command == comport::kSetBaudRate) {
        const quint32 baud = value.size() == 4 ? bigEndian32(value) : 0;
        if (baud != m_line.baudRate)
            wrong = QStringLiteral("the server set %1 bit/s instead of %2")
                        .arg(value.size() == 4 ? QString::number(baud) : QStringLiteral("?"))
                        .arg(m_line.baudRate);
    } else {
        const std::uint8_t wanted = command == comport::kSetDataSize ? m_line.dataSize
            : command == comport::kSetParity                          ? m_line.parity
            : command == comport::kSetStopSize                        ? m_line.stopSize
                                                                      : comport::kControlNoFlow;
        if (value.size() != 1 || static_cast<std::uint8_t>(value.front()) != wanted)
            wrong = QStringLiteral("the server answered %1 with %2 instead of %3")
                        .arg(commandName(command), hex.isEmpty() ? QStringLiteral("nothing") : hex)
                        .arg(wanted);
    }
    if (!wrong.isEmpty()) {
        if (m_state != State::Failed)
            fail(wrong);
        return;
    }
    checkReady();
}

void Rfc2217Client::checkReady()
{
    if (m_state != State::Negotiating)
        return;
    if (m_us[kBinary] != Q::Yes || m_him[kBinary] != Q::Yes || m_us[kComPortOption] != Q::Yes
        || !m_settingsSent)
        return;
    for (int command = comport::kSetBaudRate; command <= comport::kSetControl; ++command) {
        if (m_awaiting[static_cast<std::size_t>(command)])
            return;
    }
    m_state = State::Ready;
}

void Rfc2217Client::fail(const QString &why)
{
    m_state = State::Failed;
    m_failure = why;
}

QString Rfc2217Client::awaited() const
{
    QStringList missing;
    if (m_us[kBinary] != Q::Yes || m_him[kBinary] != Q::Yes)
        missing.append(QStringLiteral("BINARY"));
    if (m_us[kComPortOption] != Q::Yes)
        missing.append(QStringLiteral("COM-PORT-OPTION"));
    for (int command = comport::kSetBaudRate; command <= comport::kSetControl; ++command) {
        if (m_awaiting[static_cast<std::size_t>(command)])
            missing.append(commandName(static_cast<std::uint8_t>(command)));
    }
    return missing.join(QStringLiteral(", "));
}

} // namespace vantor::serial
