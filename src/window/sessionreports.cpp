// SPDX-License-Identifier: MIT
#include "sessionreports.h"

#include "logging.h"
#include "staledisplay.h"
#include "statusline.h"

#include <protocol/transactionengine.h>
#include <serial/seriallink.h>
#include <session/reconnector.h>
#include <session/reopenpolicy.h>
#include <session/session.h>

namespace vantor::window {

using protocol::RequestKind;
using session::Session;

namespace {

const QString kAnswer = QStringLiteral("answer");
const QString kLink = QStringLiteral("link");

QString kindText(RequestKind kind)
{
    return QString::fromLatin1(protocol::kindName(kind));
}

} // namespace

SessionReports::SessionReports(Session &session, StatusLine &status, MainControls &controls,
                               QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_status(status)
    , m_stale(std::make_unique<StaleDisplay>(controls))
    , m_clock([] { return QTime::currentTime(); })
{
    // The readings are current again once an answer is shown; stale while the board is not
    // answering.
    connect(&session, &Session::answerDecoded, this, &SessionReports::markCurrent);
    connect(&session, &Session::boardStateChanged, this, &SessionReports::onBoardState);
    connect(&session, &Session::notice, this,
            [this](const QString &message) { m_status.show(message, StatusKind::Problem); });
    connect(&session, &Session::requestFinished, this,
            [this](const session::RequestHandle &r) { onFinished(*r); });

    connect(&session, &Session::linkLost, this, [this](const QString &reason) {
        m_portFailure = reason;
        m_status.setCondition(
            kLink, tr("Link lost at %1: %2 (reopened by itself on its return)").arg(now(), reason));
        showPortState();
    });
    connect(&session, &Session::linkOpenFailed, this,
            [this](const QString &, const QString &reason) {
                m_portFailure = reason;
                markStale(tr("The link to the board is not open"));
                m_status.setCondition(kLink, tr("%1 (tried again by itself)").arg(reason));
                showPortState();
            });
    const auto opened = [this] {
        m_portFailure.clear();
        m_status.clearCondition(kLink);
        showPortState();
    };
    connect(&session, &Session::linkOpened, this, opened);
    connect(&session, &Session::linkReopened, this, opened);
    connect(&session, &Session::linkClosed, this, [this] { showPortState(); });
}

void SessionReports::onFinished(const session::Request &r)
{
    // Steps tell their own outcomes; a composite adds only its confirmation.
    if (!r.steps().isEmpty())
        return;
    switch (r.outcome()) {
    case session::Request::Outcome::Done:
        // Shown all the same; told in place of any confirmation.
        if (r.answer() && !r.answer()->problem.isEmpty()) {
            m_status.setCondition(kAnswer,
                                  tr("Implausible answer to the %1: %2")
                                      .arg(kindText(r.kind()), r.answer()->problem));
            break;
        }
        m_status.clearCondition(kAnswer);
        break;
    case session::Request::Outcome::Refused:
        m_status.show(tr("Nothing sent for the %1: %2").arg(kindText(r.kind()), r.reason()),
                      StatusKind::Problem);
        break;
    case session::Request::Outcome::TimedOut:
        m_status.setCondition(kAnswer,
                              tr("No answer to the %1 within %2 s")
                                  .arg(kindText(r.kind()))
                                  .arg(protocol::TransactionEngine::kAnswerTimeoutMs / 1000));
        break;
    case session::Request::Outcome::Failed:
        m_status.setCondition(kAnswer,
                              tr("Could not send the %1: %2").arg(kindText(r.kind()), r.reason()));
        break;
    case session::Request::Outcome::Cancelled:
        break;
    }
}

void SessionReports::onBoardState(session::BoardState state)
{
    using session::BoardState;
    switch (state) {
    case BoardState::Silent:
        markStale(tr("The board has not answered"));
        break;
    case BoardState::Lost:
        markStale(tr("The link to the board is lost"));
        break;
    case BoardState::Closed:
        markStale(tr("The link to the board is closed"));
        break;
    case BoardState::Opening:
    case BoardState::Open:
    case BoardState::Answering:
        break;
    }
}

SessionReports::~SessionReports() = default;

void SessionReports::follow(session::Reconnector &reconnector)
{
    connect(&reconnector, &session::Reconnector::adapterChanged, this,
            [this](const QString &device, const QString &expected, const QString &found) {
                m_status.setCondition(
                    kLink,
                    tr("%1 is another adapter now (serial %2, not %3): left closed; "
                       "Serial Link Setup > Set Port uses it")
                        .arg(device, found, expected));
            });
}

void SessionReports::follow(session::ReopenPolicy &policy)
{
    connect(&policy, &session::ReopenPolicy::readAfterReturn, this,
            [this](const session::RequestHandle &read) {
                read->whenFinished(this, [this](const session::Request &r) {
                    if (r.ok() && r.answer() && r.answer()->problem.isEmpty())
                        m_status.show(
                            tr("%1 is back: read again at %2").arg(m_session.linkDevice(), now()),
                            StatusKind::Confirmation);
                });
            });
}

void SessionReports::expectLoad(const session::RequestHandle &load)
{
    load->whenFinished(this, [this](const session::Request &r) {
        if (r.ok() && r.answer() && r.answer()->problem.isEmpty())
            m_status.show(tr("Load from Device: read at %1").arg(now()), StatusKind::Confirmation);
    });
}

void SessionReports::expectSave(const session::RequestHandle &save)
{
    save->whenFinished(this, [this](const session::Request &r) {
        // The board does not confirm a write: only that its blocks went out is known.
        if (r.steps().size() != 2 || !r.steps().at(1)->ok())
            return;
        m_status.show(
            r.steps().at(0)->ok()
                ? tr("Save to Device: sent at %1").arg(now())
                : tr("Save to Device: port settings sent at %1, system settings not").arg(now()),
            StatusKind::Confirmation);
    });
}

void SessionReports::markStale(const QString &why)
{
    if (!m_stale->isStale())
        m_status.setStaleText(tr("Readings stale since %1").arg(now()), why);
    else
        m_status.setStaleText(m_status.staleText(), why);
    m_stale->setStale(true);
}

void SessionReports::markCurrent()
{
    m_stale->setStale(false);
    m_status.setStaleText(QString());
}

QString SessionReports::now() const
{
    return m_clock().toString(QStringLiteral("HH:mm:ss"));
}

void SessionReports::showPortState()
{
    const QString device = m_session.chosenDevice();
    const QString where = tr("COM%1 (%2)")
                              .arg(m_session.commPortNumber())
                              .arg(device.isEmpty() ? tr("no device") : device);
    const bool open = m_session.isOpen();
    QString text;
    if (open)
        text = tr("%1 open, %2").arg(where, QString::fromLatin1(serial::kLineSettings));
    else if (!m_portFailure.isEmpty())
        text = tr("%1 not open: %2").arg(where, m_portFailure);
    else
        text = tr("%1 closed").arg(where);
    if (text != m_status.portState()) {
        if (open)
            qCDebug(lcWindow).noquote() << text;
        else
            qCInfo(lcWindow).noquote() << text;
    }
    m_status.setPortState(text);
}

} // namespace vantor::window
