// SPDX-License-Identifier: MIT
#pragma once

// The session on a fake link with hand-fired timers, its settings held as the window's
// controls hold them.

#include "fakes.h"
#include "sessionseam.h"
#include "textstore.h"

#include <protocol/transactionengine.h>
#include <session/session.h>

namespace vantor::testing {

struct SessionOnFakes
{
    explicit SessionOnFakes(const serial::PortMap &map = {})
        : session(link, map, &store, &refresh, &timeout)
    {
    }

    // The board takes whatever is in flight: an answer to a read, an ack and the block to a write.
    void complete(const QByteArray &answer = QByteArray(168, '\0'))
    {
        switch (testing::SessionSeam::engine(session).state()) {
        case protocol::TransactionEngine::State::AwaitingAnswer:
            link.feed(answer);
            break;
        case protocol::TransactionEngine::State::AwaitingAck:
            link.feed(QByteArray(1, '\x06'));
            link.drain();
            break;
        case protocol::TransactionEngine::State::SendingBlock:
            link.drain();
            break;
        case protocol::TransactionEngine::State::Idle:
            break;
        }
    }

    FakeLink link;
    FakeTimer refresh;
    FakeTimer timeout;
    TextStore store;
    session::Session session;
};

} // namespace vantor::testing
