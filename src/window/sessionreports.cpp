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

bool isWrite(RequestKind kind)
{
    return kind == RequestKind::SystemWrite || kind == RequestKind::PortWrite;
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
    connect(&session, &Session::answerDecoded, this, [this](const session::DecodedAnswer &a) {
        // Shown all the same; told when its transaction ends, in place of any confirmation.
        m_answerProblem = a.problem;
        markCurrent();
    });
    connect(&session, &Session::notice, this,
            [this](const QString &message) { m_status.show(message, StatusKind::Problem); });
    connect(&session, &Session::requestRefused, this, [this](RequestKind k, const QString &reason) {
        if (isWrite(k))
            m_saveExpected = false;
        m_status.show(tr("Nothing sent for the %1: %2").arg(kindText(k), reason),
                      StatusKind::Problem);
    });
    connect(&session, &Session::requestTimedOut, this, [this](RequestKind k) {
        markStale(tr("The board has not answered."));
        m_status.setCondition(kAnswer,
                              tr("No answer from the board to the %1 within %2 s.")
                                  .arg(kindText(k))
                                  .arg(protocol::TransactionEngine::kAnswerTimeoutMs / 1000));
    });
    connect(&session, &Session::requestFailed, this, [this](RequestKind k, const QString &reason) {
        m_status.setCondition(kAnswer, tr("The %1 could not be sent: %2").arg(kindText(k), reason));
    });
    // Either kind of failure ends what was to be confirmed.
    const auto ended = [this](RequestKind k) {
        if (k == RequestKind::WholeRead)
            m_readConfirmation = ReadConfirmation::None;
        else if (k == RequestKind::PortWrite)
            m_saveExpected = false;
    };
    connect(&session, &Session::requestTimedOut, this, ended);
    connect(&session, &Session::requestFailed, this, ended);

    connect(&session, &Session::requestCompleted, this, [this](RequestKind k) {
        if (const QString problem = std::exchange(m_answerProblem, {}); !problem.isEmpty()) {
            if (k == RequestKind::WholeRead)
                m_readConfirmation = ReadConfirmation::None;
            m_status.setCondition(
                kAnswer,
                tr("The board's answer to the %1 is implausible: %2.").arg(kindText(k), problem));
            return;
        }
        m_status.clearCondition(kAnswer);
        if (k == RequestKind::WholeRead) {
            const ReadConfirmation confirm = std::exchange(m_readConfirmation, {});
            if (confirm == ReadConfirmation::Load)
                m_status.show(tr("Load from Device: the board was read at %1.").arg(now()),
                              StatusKind::Confirmation);
            else if (confirm == ReadConfirmation::Return)
                m_status.show(tr("%1 is back: the board was read again at %2.")
                                  .arg(m_session.link().portName(), now()),
                              StatusKind::Confirmation);
        } else if (k == RequestKind::SystemWrite && m_saveExpected) {
            m_saveSystemSent = true;
        } else if (k == RequestKind::PortWrite && std::exchange(m_saveExpected, false)) {
            // The board does not confirm a write: only that its blocks went out is known.
            m_status.show(m_saveSystemSent
                              ? tr("Save to Device: the settings were sent at %1.").arg(now())
                              : tr("Save to Device: the port settings were sent at %1, the "
                                   "system settings were not.")
                                    .arg(now()),
                          StatusKind::Confirmation);
        }
    });

    connect(&session, &Session::linkLost, this, [this](const QString &reason) {
        m_portFailure = reason;
        markStale(tr("The link to the board is lost."));
        m_status.setCondition(
            kLink,
            tr("Link lost at %1: %2. It is opened again by itself when it returns.")
                .arg(now(), reason));
        showPortState();
    });
    connect(&session, &Session::linkOpenFailed, this,
            [this](const QString &, const QString &reason) {
                m_portFailure = reason;
                markStale(tr("The link to the board is not open."));
                m_status.setCondition(kLink, tr("%1. Tried again by itself.").arg(reason));
                showPortState();
            });
    const auto opened = [this] {
        m_portFailure.clear();
        m_status.clearCondition(kLink);
        showPortState();
    };
    connect(&session, &Session::linkOpened, this, opened);
    connect(&session, &Session::linkReopened, this, opened);
    connect(&session, &Session::linkClosed, this, [this] {
        markStale(tr("The link to the board is closed."));
        showPortState();
    });
}

SessionReports::~SessionReports() = default;

void SessionReports::follow(session::Reconnector &reconnector)
{
    connect(&reconnector, &session::Reconnector::adapterChanged, this,
            [this](const QString &device, const QString &expected, const QString &found) {
                m_status.setCondition(
                    kLink,
                    tr("%1 is now another adapter (serial %2, not %3); it is left "
                       "closed. To use it, choose it under Serial Link Setup > Set Port.")
                        .arg(device, found, expected));
            });
}

void SessionReports::follow(session::ReopenPolicy &policy)
{
    connect(&policy, &session::ReopenPolicy::readAfterReturn, this,
            [this] { m_readConfirmation = ReadConfirmation::Return; });
}

void SessionReports::expectLoad()
{
    m_readConfirmation = ReadConfirmation::Load;
}

void SessionReports::expectSave()
{
    m_saveExpected = true;
    m_saveSystemSent = false;
}

void SessionReports::forgetRequests()
{
    m_readConfirmation = ReadConfirmation::None;
    m_saveExpected = false;
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
    const serial::PortControl &port = m_session.portControl();
    const QString device = port.device();
    const QString where = tr("COM%1 (%2)")
                              .arg(port.commPortNumber())
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
