// SPDX-License-Identifier: MIT
#include "monitor.h"

#include "logging.h"

namespace vantor::cli {

using namespace Qt::Literals::StringLiterals;
using protocol::RequestKind;
using session::Session;

Monitor::Monitor(Board &board, int group, int intervalMs, QObject *parent)
    : QObject(parent)
    , m_board(board)
    , m_reconnector(board.session())
    , m_group(group)
    , m_intervalMs(intervalMs)
{
    Session &s = board.session();
    connect(&s, &Session::answerDecoded, this, &Monitor::onAnswer);
    connect(&s, &Session::requestTimedOut, this, &Monitor::onTimedOut);
    connect(&s, &Session::requestFailed, this, [this] {
        // The port took no bytes: it is closed or going; its loss is told on its own.
        m_failed = true;
        emit down();
    });
    connect(&s, &Session::linkLost, this, [this](const QString &reason) {
        m_failed = true;
        m_lineDown = true;
        emit lineLost();
        emit down();
        emit message(u"%1: line lost: %2; reopening"_s.arg(m_board.device(), reason));
    });
    connect(&s, &Session::linkOpenFailed, this,
            [this](const QString &, const QString &reason) { onOpenFailed(reason); });
    connect(&s, &Session::linkOpened, this, [this] {
        m_missed = 0;
        if (std::exchange(m_lineDown, false))
            emit message(u"%1: opened"_s.arg(m_board.device()));
    });
    connect(&s, &Session::linkReopened, this, [this] {
        m_lineDown = false;
        m_missed = 0;
        emit message(u"%1: reopened"_s.arg(m_board.device()));
    });
    connect(&m_reconnector, &session::Reconnector::adapterChanged, this,
            [this](const QString &device, const QString &expected, const QString &found) {
                emit message(u"%1: another adapter is on this name now (serial number %2, not "
                             u"%3); it is not opened: start again to use it"_s.arg(
                                 device, found.isEmpty() ? u"unknown"_s : found, expected));
            });
    connect(&s, &Session::notice, this,
            [](const QString &text) { qCInfo(lcCli).noquote() << text; });
}

void Monitor::start()
{
    Session &s = m_board.session();
    s.usePortGroup(m_group);
    m_board.refreshTimer().setInterval(m_intervalMs);
    // A failure is told by the session's signals, and the reconnection tries again.
    QString error;
    if (!m_board.open(error) && !m_lineDown)
        onOpenFailed(error);
    s.refresh();
    s.setAutoRefresh(true);
}

void Monitor::onOpenFailed(const QString &reason)
{
    m_failed = true;
    emit down();
    // Each attempt fails alike while the device is away: told once.
    if (!std::exchange(m_lineDown, true))
        emit message(reason + u"; waiting for it"_s);
}

void Monitor::onTimedOut(RequestKind kind)
{
    m_failed = true;
    emit timedOut();
    emit down();
    // A lost line explains its own time-outs.
    if (++m_missed == 1 && !m_lineDown) {
        emit message(m_board.timeoutText(kind, protocol::commandCode(kind, m_group))
                     + u"; still asking"_s);
    }
}

void Monitor::onAnswer(const session::DecodedAnswer &answer)
{
    if (m_missed > 0 && !m_lineDown) {
        emit message(
            u"%1: answering again after %2 time-out(s)"_s.arg(m_board.device()).arg(m_missed));
    }
    m_missed = 0;
    emit answered(answer);
}

} // namespace vantor::cli
