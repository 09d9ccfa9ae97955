// SPDX-License-Identifier: MIT
#include "monitor.h"

#include "logging.h"

#include <algorithm>

namespace vantor::cli {

using namespace Qt::Literals::StringLiterals;
using protocol::RequestKind;
using session::Session;

Monitor::Monitor(Board &board, std::optional<int> group, int intervalMs, QObject *parent)
    : QObject(parent)
    , m_board(board)
    , m_reconnector(board.session())
    , m_reopenPolicy(board.session())
    , m_group(group)
    , m_groups { group.value_or(0) }
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
        readPortCount();
    });
    connect(&s, &Session::linkReopened, this, [this] {
        m_lineDown = false;
        m_missed = 0;
        emit message(u"%1: reopened"_s.arg(m_board.device()));
        // Another board may be on the line now.
        readPortCount();
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
    s.setRefreshInterval(m_intervalMs);
    if (m_group)
        s.usePortGroup(*m_group);
    // A failure is told by the session's signals, and the reconnection tries again; an
    // opening reads the port count.
    QString error;
    if (!m_board.open(error) && !m_lineDown)
        onOpenFailed(error);
    // Every group: the whole read comes first, and the refreshes follow the timer.
    if (m_group)
        s.refresh();
    s.setAutoRefresh(true);
}

void Monitor::readPortCount()
{
    if (m_group)
        return;
    Session &s = m_board.session();
    s.readGroup(0);
    // The whole read took group 0; the refreshes go round the groups again.
    m_next = 0;
    s.setPortGroupSource([this] { return m_groups[m_next]; });
}

void Monitor::takePortCount(const session::DecodedAnswer &answer)
{
    const int count = answer.snapshot.config[codec::Setting::SYS_PORT_CNT];
    if (!codec::inRange(codec::settingRow(codec::Setting::SYS_PORT_CNT), count))
        return;
    if (m_group) {
        if (*m_group * protocol::kPortsPerGroup < count || std::exchange(m_refused, true))
            return;
        m_board.session().setAutoRefresh(false);
        emit refused(u"group %1 is beyond the board's %2 ports (groups 0 to %3)"_s.arg(*m_group)
                         .arg(count)
                         .arg(count / protocol::kPortsPerGroup - 1));
        return;
    }
    std::vector<int> groups;
    for (int g = 0; g * protocol::kPortsPerGroup < count; ++g)
        groups.push_back(g);
    if (groups == m_groups)
        return;
    m_groups = groups;
    m_next %= m_groups.size();
    emit groupsChanged(m_groups);
}

void Monitor::nextGroup()
{
    m_next = (m_next + 1) % m_groups.size();
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
    const int group = kind == RequestKind::PortRefresh ? m_groups[m_next] : 0;
    if (kind == RequestKind::PortRefresh)
        nextGroup();
    emit timedOut();
    emit down();
    // A lost line explains its own time-outs.
    if (++m_missed == 1 && !m_lineDown) {
        emit message(m_board.timeoutText(kind, protocol::commandCode(kind, group))
                     + u"; still asking"_s);
    }
}

void Monitor::onAnswer(const session::DecodedAnswer &answer)
{
    if (!answer.problem.isEmpty()) {
        // Not used: a run of them is told once, and the command ends with a failure.
        m_failed = true;
        if (m_implausible++ == 0)
            emit message(m_board.implausibleText(answer) + u"; not used"_s);
        return;
    }
    m_implausible = 0;
    if (m_missed > 0 && !m_lineDown) {
        emit message(
            u"%1: answering again after %2 time-out(s)"_s.arg(m_board.device()).arg(m_missed));
    }
    m_missed = 0;
    takePortCount(answer);
    // The group after the one that answered: the next refresh starts after this transaction.
    const auto it = std::find(m_groups.begin(), m_groups.end(), answer.group);
    m_next = it == m_groups.end() ? 0 : static_cast<std::size_t>(it - m_groups.begin());
    nextGroup();
    emit answered(answer);
}

} // namespace vantor::cli
