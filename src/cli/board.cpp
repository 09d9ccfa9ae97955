// SPDX-License-Identifier: MIT
#include "board.h"

#include "logging.h"

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
    m_session = std::make_unique<session::Session>(m_link, map, &m_store, &m_refreshTimer,
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

StepResult Board::readGroup(int group, session::DecodedAnswer *answer)
{
    const session::RequestHandle request = m_session->readGroup(group);
    StepResult result = outcomeOf(request);
    if (result.ok() && !request->answer()) {
        // Completed without a decoded snapshot: the session said why (a short answer).
        result.status = StepResult::Status::TimedOut;
        result.message = u"%1: the board's answer could not be decoded"_s.arg(m_device);
    }
    if (result.ok() && answer)
        *answer = *request->answer();
    return result;
}

StepResult Board::apply(const QList<session::Session::WriteStep> &steps, qsizetype &sent)
{
    const session::RequestHandle series = m_session->applySettings(steps);
    const bool lostMeanwhile = wait(*series);
    const QList<session::RequestHandle> &done = series->steps();
    sent = std::count_if(done.begin(), done.end(),
                         [](const session::RequestHandle &s) { return s->ok(); });
    const session::Request *failed = series->failedStep();
    return failed ? describe(*failed, lostMeanwhile) : StepResult {};
}

StepResult Board::outcomeOf(const session::RequestHandle &request)
{
    const bool lostMeanwhile = wait(*request);
    return describe(*request, lostMeanwhile);
}

bool Board::wait(const session::Request &r)
{
    qCDebug(lcCli) << "step:" << kindName(r.kind()) << "group" << r.group().value_or(-1);
    if (r.isFinished())
        return false;
    const bool lostBefore = m_session->boardState() == session::BoardState::Lost;
    QEventLoop loop;
    QObject::connect(&r, &session::Request::finished, &loop, &QEventLoop::quit);
    loop.exec();
    return !lostBefore && m_session->boardState() == session::BoardState::Lost;
}

StepResult Board::describe(const session::Request &r, bool lostMeanwhile) const
{
    switch (r.outcome()) {
    case session::Request::Outcome::Done:
        return {};
    case session::Request::Outcome::TimedOut:
        return { StepResult::Status::TimedOut, timeoutText(r.kind(), r.code(), r.acknowledged()) };
    case session::Request::Outcome::Refused:
        return { StepResult::Status::Refused,
                 u"the %1 was not sent: %2"_s.arg(QLatin1StringView(kindName(r.kind())),
                                                  r.reason()) };
    case session::Request::Outcome::Failed:
    case session::Request::Outcome::Cancelled:
        break;
    }
    // A line lost while waiting is told as such; a port already closed says why it took nothing.
    return { StepResult::Status::Lost,
             lostMeanwhile ? u"%1: line lost: %2"_s.arg(m_device, r.reason())
                           : u"%1: %2"_s.arg(m_device, r.reason()) };
}

} // namespace vantor::cli
