// SPDX-License-Identifier: MIT
#pragma once

// The simulated board's model behind a fake link, on virtual time: it reads what the panel
// writes, answers reads with the model's snapshot, acknowledges writes and applies their
// blocks, and misbehaves on request the way the board on a pseudo-terminal does (silence, a
// late acknowledgement, long or garbled answers, the line dropped inside a block, the adapter
// pulled). The device is a file in a scratch folder, so that what watches it sees it go.

#include "fakes.h"
#include "virtualtime.h"

#include <sim/boardmodel.h>
#include <sim/simulatedboard.h>

#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <memory>

namespace vantor::testing {

class VirtualBoard
{
public:
    static constexpr quint8 kAck = 0x06;
    static constexpr int kPayloadStallMs = sim::SimulatedBoard::kPayloadStallMs;
    // One byte on the line at 19200 bit/s, ten bits a byte, rounded up.
    static constexpr int kByteMs = 1;

    // One command of the panel and the block that followed it, with the virtual time it came.
    struct Frame
    {
        quint8 code = 0;
        QByteArray block;
        qint64 atMs = 0;
    };

    VirtualBoard(FakeLink &link, VirtualTime &time, const QString &device)
        : m_link(link)
        , m_time(time)
        , m_device(device)
        , m_model(std::make_unique<sim::BoardModel>())
    {
        QObject::connect(&link, &FakeLink::written, &link,
                         [this](const QByteArray &bytes) { onWritten(bytes); });
        plugIn();
    }

    [[nodiscard]] const QString &device() const { return m_device; }
    [[nodiscard]] sim::BoardModel &model() { return *m_model; }
    void setModel(std::unique_ptr<sim::BoardModel> model) { m_model = std::move(model); }

    // Paced: an answer takes its time on the line (168 bytes about 88 ms) and arrives in
    // pieces; unpaced it arrives at once.
    void setPaced(bool paced) { m_paced = paced; }
    void injectFault(const sim::FaultPlan &plan) { m_fault = plan; }
    void clearFault() { m_fault = {}; }

    // The adapter is pulled: its device goes and the open port reports the loss.
    void unplug()
    {
        QFile::remove(m_device);
        m_link.failOpen = true;
        m_link.failKind = serial::OpenFailure::NoSuchDevice;
        resetLine();
        if (m_link.isOpen())
            m_link.lose(QStringLiteral("%1: device removed or no longer available").arg(m_device));
    }
    // The line is hung up (the board's end closed) while the device stays.
    void hangUp()
    {
        resetLine();
        ++hangUps;
        if (m_link.isOpen())
            m_link.lose(QStringLiteral("%1: connection lost (read failed)").arg(m_device));
    }
    void plugIn()
    {
        QFile file(m_device);
        file.open(QIODevice::WriteOnly);
        m_link.failOpen = false;
    }

    // Bytes nobody asked for, in one piece.
    void flood(int count) { m_link.feed(noise(count)); }

    [[nodiscard]] const QList<Frame> &frames() const { return m_frames; }
    [[nodiscard]] QList<quint8> codes() const
    {
        QList<quint8> all;
        for (const Frame &f : m_frames)
            all.append(f.code);
        return all;
    }
    void clear() { m_frames.clear(); }

    int answers = 0;
    int payloadsDropped = 0;
    int hangUps = 0;

private:
    enum class State { Commands, AckDelayed, AwaitingPayload };

    static bool isRead(quint8 code) { return (code & 0xF8) == 0x08 || (code & 0xF8) == 0x28; }
    static bool isWrite(quint8 code) { return code == 0x18 || (code & 0xF8) == 0x20; }

    void onWritten(const QByteArray &bytes)
    {
        // The transmit buffer drains once the bytes are on the line; the event is raised only
        // when it was asked for when they were written.
        if (m_link.sendThreshold > 0) {
            m_time.at(m_paced ? bytes.size() * kByteMs : 0, [this, epoch = m_epoch] {
                if (epoch == m_epoch && m_link.isOpen())
                    m_link.drain();
            });
        }
        for (const char c : bytes) {
            if (!m_link.isOpen() || m_deaf)
                return;
            onByte(static_cast<quint8>(c));
        }
    }

    void onByte(quint8 byte)
    {
        if (m_state != State::AwaitingPayload) {
            onCommand(byte);
            return;
        }
        m_payload.append(static_cast<char>(byte));
        m_frames.last().block.append(static_cast<char>(byte));
        ++m_stallEpoch;
        if (m_hangUpAfter > 0 && m_payload.size() >= m_hangUpAfter) {
            m_hangUpAfter = -1;
            // Inside the write: the loss reaches the panel from the line, afterwards, and the
            // rest of the block is lost with it.
            m_deaf = true;
            m_time.at(0, [this] { hangUp(); });
            return;
        }
        if (m_payload.size() == m_payloadExpected) {
            applyPayload();
            return;
        }
        watchForStall();
    }

    void onCommand(quint8 code)
    {
        if (!isRead(code) && !isWrite(code))
            return;
        m_frames.append({ code, {}, m_time.now() });
        // A new command ends whatever answer was still on its way.
        ++m_epoch;
        m_state = State::Commands;
        const sim::FaultPlan fault = takeFault(isRead(code));
        if (fault.fault == sim::Fault::Silent)
            return;
        if (isRead(code)) {
            const sim::Snapshot snapshot = m_model->snapshot(code & 0x07);
            QByteArray answer(reinterpret_cast<const char *>(snapshot.data()),
                              static_cast<qsizetype>(snapshot.size()));
            if (fault.fault == sim::Fault::LongAnswer)
                answer += noise(fault.bytes);
            else if (fault.fault == sim::Fault::Garbage)
                answer = noise(fault.bytes > 0 ? fault.bytes : int(sim::kSnapshotSize));
            else if (fault.fault == sim::Fault::ShortAnswer)
                answer.truncate(std::max(0, fault.bytes));
            send(answer);
            return;
        }
        m_hangUpAfter = fault.fault == sim::Fault::HangUpInPayload ? std::max(1, fault.bytes) : -1;
        m_payloadCode = code;
        m_payloadExpected
            = code == 0x18 ? qsizetype(sim::kSystemBlockSize) : qsizetype(sim::kPortBlockSize);
        m_payload.clear();
        if (fault.fault == sim::Fault::DelayedAck && fault.delayMs > 0) {
            m_state = State::AckDelayed;
            m_time.at(fault.delayMs, [this, epoch = m_epoch] {
                if (epoch == m_epoch && m_state == State::AckDelayed)
                    acknowledge();
            });
            return;
        }
        acknowledge();
    }

    void acknowledge()
    {
        m_state = State::AwaitingPayload;
        send(QByteArray(1, static_cast<char>(kAck)));
        watchForStall();
    }

    // A block that stops coming is given up after kPayloadStallMs, as the board does.
    void watchForStall()
    {
        m_time.at(kPayloadStallMs, [this, epoch = ++m_stallEpoch] {
            if (epoch != m_stallEpoch || m_state != State::AwaitingPayload)
                return;
            m_state = State::Commands;
            m_payload.clear();
            ++payloadsDropped;
        });
    }

    void applyPayload()
    {
        m_state = State::Commands;
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(m_payload.constData());
        const std::span block(bytes, static_cast<std::size_t>(m_payload.size()));
        if (m_payloadCode == 0x18)
            m_model->applySystemBlock(block);
        else
            m_model->applyPortBlock(m_payloadCode & 0x07, block);
        m_payload.clear();
    }

    // Paced, the bytes arrive eight at a time, as a real line hands them over.
    void send(const QByteArray &bytes)
    {
        const qsizetype piece = m_paced ? 8 : bytes.size();
        for (qsizetype at = 0; at < bytes.size(); at += piece) {
            const QByteArray part = bytes.mid(at, piece);
            const qint64 when = m_paced ? (at + part.size()) * kByteMs : 0;
            const bool last = at + piece >= bytes.size();
            m_time.at(when, [this, part, last, epoch = m_epoch] {
                if (epoch != m_epoch || !m_link.isOpen())
                    return;
                m_link.feed(part);
                if (last)
                    ++answers;
            });
        }
    }

    sim::FaultPlan takeFault(bool read)
    {
        using sim::Fault;
        bool applies = false;
        switch (m_fault.fault) {
        case Fault::None:
            break;
        case Fault::Silent:
            applies = true;
            break;
        case Fault::ShortAnswer:
        case Fault::LongAnswer:
        case Fault::Garbage:
        case Fault::AnswerTwice:
        case Fault::NoisyAnswer:
            applies = read;
            break;
        case Fault::DelayedAck:
        case Fault::HangUpInPayload:
            applies = !read;
            break;
        }
        if (!applies || m_fault.times == 0)
            return {};
        const sim::FaultPlan plan = m_fault;
        if (m_fault.times > 0 && --m_fault.times == 0)
            m_fault = {};
        return plan;
    }

    QByteArray noise(int count)
    {
        QByteArray bytes(count, '\0');
        for (int i = 0; i < count; ++i) {
            m_noise = m_noise * 1103515245u + 12345u;
            bytes[i] = static_cast<char>(m_noise >> 16);
        }
        return bytes;
    }

    void resetLine()
    {
        m_deaf = false;
        ++m_epoch;
        m_state = State::Commands;
        m_payload.clear();
    }

    FakeLink &m_link;
    VirtualTime &m_time;
    QString m_device;
    std::unique_ptr<sim::BoardModel> m_model;
    QList<Frame> m_frames;
    sim::FaultPlan m_fault;
    State m_state = State::Commands;
    QByteArray m_payload;
    qsizetype m_payloadExpected = 0;
    quint8 m_payloadCode = 0;
    int m_hangUpAfter = -1;
    // Answers and events of an earlier command or line are dropped when they fall due.
    int m_epoch = 0;
    int m_stallEpoch = 0;
    quint32 m_noise = 1;
    bool m_paced = false;
    // The line dropped inside a write: nothing more of it arrives.
    bool m_deaf = false;
};

} // namespace vantor::testing
