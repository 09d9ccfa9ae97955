// SPDX-License-Identifier: MIT
#include "board.h"

#include "logging.h"

#include <protocol/transactionengine.h>

#include <QEventLoop>

namespace vantor::cli {

using protocol::RequestKind;
using namespace Qt::Literals::StringLiterals;

Board::Board(const QString &device, int timeoutMs)
    : m_device(device)
    , m_timeoutMs(timeoutMs)
{
    serial::PortMap map;
    map.setDevice(1, device);
    m_session = std::make_unique<session::Session>(m_link, map, m_store, &m_refreshTimer,
                                                   &m_timeoutTimer);
    // The engine has set its default on the timer; the command line's time-out replaces it.
    m_timeoutTimer.setInterval(timeoutMs);
}

Board::~Board() = default;

bool Board::open(QString &error)
{
    if (m_session->openPort())
        return true;
    error = m_link.errorString();
    return false;
}

QString Board::timeoutText(RequestKind kind, std::uint8_t code, bool blockStage) const
{
    const QString what = blockStage ? u"%1: the block of the %2 (0x%3) did not leave within %4 ms"_s
                                    : u"%1: no answer to the %2 (0x%3) within %4 ms"_s;
    return what.arg(m_device, QLatin1StringView(kindName(kind)))
        .arg(code, 2, 16, QLatin1Char('0'))
        .arg(m_timeoutMs);
}

QString Board::implausibleText(const session::DecodedAnswer &answer) const
{
    const auto kind = protocol::kindOfCode(answer.code);
    return u"%1: implausible answer to the %2 (0x%3): %4"_s
        .arg(m_device, kind ? QLatin1StringView(kindName(*kind)) : QLatin1StringView("read"))
        .arg(answer.code, 2, 16, QLatin1Char('0'))
        .arg(answer.problem);
}

StepResult Board::readGroup(int group, session::DecodedAnswer *answer)
{
    std::optional<session::DecodedAnswer> decoded;
    const QMetaObject::Connection c
        = QObject::connect(m_session.get(), &session::Session::answerDecoded, m_session.get(),
                           [&decoded](const session::DecodedAnswer &a) { decoded = a; });
    StepResult result = run(RequestKind::WholeRead, group);
    QObject::disconnect(c);
    if (result.ok() && !decoded) {
        // Completed without a decoded snapshot: the session said why (a short answer).
        result.status = StepResult::Status::TimedOut;
        result.message = u"%1: the board's answer could not be decoded"_s.arg(m_device);
    }
    if (result.ok() && !decoded->problem.isEmpty())
        result = StepResult { StepResult::Status::Implausible, implausibleText(*decoded) };
    if (result.ok() && answer)
        *answer = *decoded;
    return result;
}

StepResult Board::write(RequestKind kind, int group)
{
    return run(kind, group);
}

StepResult Board::run(RequestKind kind, int group)
{
    session::Session &s = *m_session;
    QEventLoop loop;
    std::optional<StepResult> result;
    std::uint8_t code = 0;
    const auto finish = [&](StepResult::Status status, const QString &message) {
        if (!result)
            result = StepResult { status, message };
        loop.quit();
    };
    const QList<QMetaObject::Connection> connections {
        QObject::connect(&s, &session::Session::requestLaunched, &loop,
                         [&](RequestKind k, std::uint8_t c) {
                             if (k == kind)
                                 code = c;
                         }),
        QObject::connect(&s, &session::Session::requestCompleted, &loop,
                         [&](RequestKind k) {
                             if (k == kind)
                                 finish(StepResult::Status::Done, {});
                         }),
        QObject::connect(&s, &session::Session::requestTimedOut, &loop,
                         [&](RequestKind k) {
                             // Still in its stage: acknowledged, but the block never left.
                             const bool sending = s.engine().stage()
                                 == protocol::TransactionEngine::Stage::SendingBlock;
                             finish(StepResult::Status::TimedOut, timeoutText(k, code, sending));
                         }),
        QObject::connect(&s, &session::Session::requestFailed, &loop,
                         [&](RequestKind, const QString &reason) {
                             finish(StepResult::Status::Lost, u"%1: %2"_s.arg(m_device, reason));
                         }),
        QObject::connect(&s, &session::Session::requestRefused, &loop,
                         [&](RequestKind k, const QString &reason) {
                             finish(StepResult::Status::Refused,
                                    u"the %1 was not sent: %2"_s.arg(QLatin1StringView(kindName(k)),
                                                                     reason));
                         }),
        QObject::connect(&s, &session::Session::linkLost, &loop,
                         [&](const QString &reason) {
                             finish(StepResult::Status::Lost,
                                    u"%1: line lost: %2"_s.arg(m_device, reason));
                         }),
    };

    qCDebug(lcCli) << "step:" << kindName(kind) << "group" << group;
    // Signals may come from inside the request (a refusal, a port that takes no bytes).
    s.usePortGroup(group);
    switch (kind) {
    case RequestKind::WholeRead:
        s.readGroup(group);
        break;
    case RequestKind::SystemWrite:
        s.engine().requestSystemWrite();
        break;
    case RequestKind::PortWrite:
        s.sendPortControl();
        break;
    case RequestKind::PortRefresh:
        s.refresh();
        break;
    }
    if (!result)
        loop.exec();
    for (const QMetaObject::Connection &c : connections)
        QObject::disconnect(c);
    return *result;
}

} // namespace vantor::cli
