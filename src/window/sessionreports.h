// SPDX-License-Identifier: MIT
#pragma once

#include <session/request.h>
#include <session/session.h>

#include <QObject>
#include <QString>
#include <QTime>

#include <functional>
#include <memory>

namespace vantor::session {
class Reconnector;
class ReopenPolicy;
} // namespace vantor::session

namespace vantor::window {

struct MainControls;
class StaleDisplay;
class StatusLine;

// What the session does, told in the status line: the port's state, requests the board did not
// answer or that could not be sent, the link lost and found again, confirmations of "Load from
// Device" and "Save to Device"; and the readings marked stale from the moment the link is
// down or the board is silent until the next answer is shown.
class SessionReports : public QObject
{
    Q_OBJECT
public:
    SessionReports(session::Session &session, StatusLine &status, MainControls &controls,
                   QObject *parent = nullptr);
    ~SessionReports() override;

    [[nodiscard]] StaleDisplay &staleDisplay() { return *m_stale; }

    void follow(session::Reconnector &reconnector);
    void follow(session::ReopenPolicy &policy);

    // The operator asked for a whole read, or a save: confirmed once its answer is shown, or
    // once its blocks have been sent.
    void expectLoad(const session::RequestHandle &load);
    void expectSave(const session::RequestHandle &save);

    void showPortState();
    void setClock(std::function<QTime()> clock) { m_clock = std::move(clock); }

private:
    void markStale(const QString &why);
    void markCurrent();
    [[nodiscard]] QString now() const;

    session::Session &m_session;
    StatusLine &m_status;
    std::unique_ptr<StaleDisplay> m_stale;
    std::function<QTime()> m_clock;

    void onFinished(const session::Request &request);
    void onBoardState(session::BoardState state);

    QString m_portFailure;
};

} // namespace vantor::window
