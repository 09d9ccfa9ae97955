// SPDX-License-Identifier: MIT
#include "reopenpolicy.h"

#include "session.h"

#include <utility>

namespace vantor::session {

ReopenPolicy::ReopenPolicy(Session &session, QObject *parent)
    : QObject(parent)
    , m_session(session)
{
    const auto due = [this] {
        m_readDue = true;
    };
    connect(&session, &Session::linkLost, this, due);
    connect(&session, &Session::linkOpenFailed, this, due);
    connect(&session, &Session::linkOpened, this, &ReopenPolicy::onOpened);
    connect(&session, &Session::linkReopened, this, &ReopenPolicy::onOpened);
}

void ReopenPolicy::onOpened()
{
    if (!std::exchange(m_readDue, false))
        return;
    emit readAfterReturn(m_session.loadFromDevice());
}

} // namespace vantor::session
