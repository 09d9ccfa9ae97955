// SPDX-License-Identifier: MIT
#pragma once

#include "request.h"

#include <QObject>

namespace vantor::session {

class Session;

// The panel's rule for a port that comes back: after it was lost or could not be opened, the
// first open reads the whole board (the selected group) before anything else, so that what is
// shown agrees with the board again. Nothing is written; auto-refresh, whose ticks ask for
// nothing while the port is closed, goes on behind that read.
class ReopenPolicy : public QObject
{
    Q_OBJECT
public:
    explicit ReopenPolicy(Session &session, QObject *parent = nullptr);

    // A read is due at the next open.
    [[nodiscard]] bool readDue() const { return m_readDue; }

signals:
    // The whole read that follows a return has been asked for.
    void readAfterReturn(const vantor::session::RequestHandle &read);

private:
    void onOpened();

    Session &m_session;
    bool m_readDue = false;
};

} // namespace vantor::session
