// SPDX-License-Identifier: MIT
#pragma once

// What tests may reach inside a session that its callers may not.

#include <protocol/timer.h>
#include <protocol/transactionengine.h>
#include <session/session.h>

namespace vantor::testing {

struct SessionSeam
{
    static protocol::TransactionEngine &engine(session::Session &s) { return *s.m_engine; }
    static protocol::Timer &refreshTimer(session::Session &s) { return *s.m_refreshTimer; }
    static void setPortCount(session::Session &s, int count) { s.m_portCount = count; }
};

} // namespace vantor::testing
