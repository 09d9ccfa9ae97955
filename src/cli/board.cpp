// SPDX-License-Identifier: MIT
#include "board.h"

#include "logging.h"

#include <QEventLoop>
#include <QTimer>

#include <csignal>

namespace vantor::cli {

using protocol::RequestKind;
using namespace Qt::Literals::StringLiterals;

namespace {

int g_stopSignal = 0;

} // namespace

void askToStop(int signal)
{
    if (g_stopSignal == 0)
        g_stopSignal = signal;
}

int stopSignal()
{
    return g_stopSignal;
}

QString signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return u"SIGINT"_s;
    case SIGTERM:
        return u"SIGTERM"_s;
    default:
        return u"signal %1"_s.arg(signal);
    }
}

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

Board::~Board()
{
    // A board on the network: the server is given a moment to pass on the last block before it
    // sees the connection close (ser2net drops what it still holds then).
    const int grace
        = m_link.transport() == serial::Transport::Tty ? 0 : m_link.networkLink().closeGraceMs();
    if (grace > 0) {
        QEventLoop loop;
        QTimer::singleShot(grace, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

bool Board::open(QString &error)
{
    if (m_session->openPort() && !m_link.isOpen()) {
        // Under way in the background (a network board): the link ends it either way.
        QEventLoop loop;
        const QMetaObject::Connection opened
            = QObject::connect(&m_link, &serial::SerialLink::openChanged, &loop, &QEventLoop::quit);
        const QMetaObject::Connection failed
            = QObject::connect(&m_link, &serial::SerialLink::portFailed, &loop, &QEventLoop::quit);
        loop.exec();
        QObject::disconnect(opened);
        QObject::disconnect(failed);
    }
    if (m_link.isOpen())
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

StepResult Board::interrupted() const
{
    return { StepResult::Status::Interrupted,
             u"interrupted by %1"_s.arg(signalName(g_stopSignal)) };
}

StepResult Board::readGroup(int group, session::DecodedAnswer *answer)
{
    if (g_stopSignal != 0)
        return interrupted();
    const session::RequestHandle request = m_session->readGroup(group);
    StepResult result = outcomeOf(request);
    if (result.ok() && !request->answer()) {
        // Completed without a decoded snapshot: the session said why (a short answer).
        result.status = StepResult::Status::TimedOut;
        result.message = u"%1: the board's answer could not be decoded"_s.arg(m_device);
    }
    if (result.ok() && !request->answer()->problem.isEmpty())
        result
            = StepResult { StepResult::Status::Implausible, implausibleText(*request->answer()) };
    if (result.ok() && answer)
        *answer = *request->answer();
    return result;
}

StepResult Board::apply(const QList<session::Session::WriteStep> &steps, qsizetype &sent)
{
    // One step at a time, so that a signal between two of them stops the rest unsent.
    sent = 0;
    for (const session::Session::WriteStep &step : steps) {
        if (g_stopSignal != 0)
            return interrupted();
        const session::RequestHandle series = m_session->applySettings({ step });
        const bool lostMeanwhile = wait(*series);
        if (const session::Request *failed = series->failedStep())
            return describe(*failed, lostMeanwhile);
        ++sent;
    }
    return {};
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
