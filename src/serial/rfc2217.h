// SPDX-License-Identifier: MIT
#pragma once

// The client side of telnet with the COM-PORT-OPTION (RFC 854, 856, 858, 2217), as a state
// machine over bytes: no socket, no timer, no event loop. The link feeds it what the server
// sent and sends what it returns; tests feed it recorded negotiations.
//
// What it does:
//  - offers BINARY both ways and COM-PORT-OPTION, accepts SUPPRESS-GO-AHEAD both ways and
//    refuses every other option; it answers a request only when it changes an option's state,
//    and never answers an answer, so no exchange can loop (RFC 854's rule, RFC 1143's states);
//  - once the server agrees to COM-PORT-OPTION, sets the line (baud, data size, parity, stop
//    size) and SET-CONTROL 1 (no flow control: XON/XOFF would eat 0x11 and 0x13 in the data) and
//    checks each of the server's replies against what was asked;
//  - is ready only once BINARY is agreed both ways (else the server would stuff CR-NUL and
//    corrupt 0x0D) and every reply has come back right;
//  - doubles 0xFF in data going out and undoubles it in data and sub-negotiations coming in;
//  - passes the server's line and modem state notifications on as notes, nothing more.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

namespace vantor::serial {

namespace telnet {
inline constexpr std::uint8_t kSe = 240;
inline constexpr std::uint8_t kNop = 241;
inline constexpr std::uint8_t kDataMark = 242;
inline constexpr std::uint8_t kGoAhead = 249;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kIac = 255;

inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kEcho = 1;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPortOption = 44;
} // namespace telnet

// COM-PORT-OPTION commands, client to server; the server answers each with the code + 100.
namespace comport {
inline constexpr std::uint8_t kSignature = 0;
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kSetControl = 5;
inline constexpr std::uint8_t kNotifyLineState = 6;
inline constexpr std::uint8_t kNotifyModemState = 7;
inline constexpr std::uint8_t kFlowControlSuspend = 8;
inline constexpr std::uint8_t kFlowControlResume = 9;
inline constexpr std::uint8_t kSetLineStateMask = 10;
inline constexpr std::uint8_t kSetModemStateMask = 11;
inline constexpr std::uint8_t kPurgeData = 12;
inline constexpr std::uint8_t kServerOffset = 100;

// SET-PARITY values.
inline constexpr std::uint8_t kParityNone = 1;
inline constexpr std::uint8_t kParityOdd = 2;
inline constexpr std::uint8_t kParityEven = 3;
inline constexpr std::uint8_t kParityMark = 4;
inline constexpr std::uint8_t kParitySpace = 5;
// SET-STOPSIZE values.
inline constexpr std::uint8_t kStopOne = 1;
inline constexpr std::uint8_t kStopTwo = 2;
inline constexpr std::uint8_t kStopOneAndHalf = 3;
// SET-CONTROL 1: no flow control (outbound and inbound).
inline constexpr std::uint8_t kControlNoFlow = 1;
// PURGE-DATA 1: the access server's receive buffer (what came from the device, not yet sent).
inline constexpr std::uint8_t kPurgeReceiveBuffer = 1;
} // namespace comport

// The line the client asks the server's device for.
struct ComPortLine
{
    quint32 baudRate = 19200;
    std::uint8_t dataSize = 8;
    std::uint8_t parity = comport::kParityNone;
    std::uint8_t stopSize = comport::kStopOne;

    friend bool operator==(const ComPortLine &, const ComPortLine &) = default;
};

// The line as RFC 2217 numbers it, from a "19200,N,8,1" text; nullopt when not understood.
[[nodiscard]] std::optional<ComPortLine> comPortLineOf(const QString &settings);

class Rfc2217Client
{
public:
    enum class State { Negotiating, Ready, Failed };

    // What one call produced.
    struct Output
    {
        QByteArray data;    // the device's bytes, 0xFF undoubled
        QByteArray reply;   // to send to the server now (already escaped)
        QStringList notes;  // for the log: notifications, refusals, ignored commands
    };

    explicit Rfc2217Client(ComPortLine line = {});

    // The client's opening offers: WILL BINARY, DO BINARY, WILL COM-PORT-OPTION.
    [[nodiscard]] QByteArray start();
    // Bytes from the server, in any pieces; state() tells what the negotiation has reached.
    [[nodiscard]] Output receive(QByteArrayView bytes);

    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] bool isReady() const { return m_state == State::Ready; }
    // Why the negotiation failed, in words ("the server refuses BINARY"); empty otherwise.
    [[nodiscard]] QString failure() const { return m_failure; }
    // What is still awaited while negotiating, in words (for a time-out's message).
    [[nodiscard]] QString awaited() const;

    // Data to send, 0xFF doubled.
    [[nodiscard]] static QByteArray escape(QByteArrayView data);
    // IAC SB COM-PORT-OPTION command value... IAC SE, 0xFF in the value doubled.
    [[nodiscard]] static QByteArray subnegotiation(std::uint8_t command, QByteArrayView value);
    // PURGE-DATA 1: the server drops what came from the device and is not yet sent.
    [[nodiscard]] static QByteArray purgeReceiveBuffer();

private:
    // RFC 1143's states for one side of one option.
    enum class Q : std::uint8_t { No, Yes, WantYes, WantNo };

    void onVerb(std::uint8_t verb, std::uint8_t option, Output &out);
    void onSubnegotiation(Output &out);
    void onComPortReply(std::uint8_t command, QByteArrayView value, Output &out);
    void sendLineSettings(Output &out);
    void checkReady();
    void fail(const QString &why);

    [[nodiscard]] static bool weAccept(std::uint8_t option);
    [[nodiscard]] static bool theyMay(std::uint8_t option);

    enum class Parse : std::uint8_t { Data, Iac, Verb, Sb, SbIac };

    ComPortLine m_line;
    State m_state = State::Negotiating;
    QString m_failure;
    Parse m_parse = Parse::Data;
    std::uint8_t m_verb = 0;
    QByteArray m_sb;
    bool m_sbOverflow = false;
    std::array<Q, 256> m_us {};
    std::array<Q, 256> m_him {};
    bool m_settingsSent = false;
    // Replies still awaited, by command (1..5).
    std::array<bool, 6> m_awaiting {};
};

} // namespace vantor::serial
