// SPDX-License-Identifier: MIT
#include "request.h"

namespace vantor::session {

Request::Request(protocol::RequestKind kind, std::optional<int> group)
    : m_kind(kind)
    , m_group(group)
{
}

Request::Request(QList<RequestHandle> steps, Steps mode)
    : m_steps(std::move(steps))
    , m_mode(mode)
{
    if (!m_steps.isEmpty())
        m_kind = m_steps.constLast()->kind();
}

const Request *Request::failedStep() const
{
    for (const RequestHandle &step : m_steps) {
        if (step->isFinished() && step->outcome() != Outcome::Done)
            return step.get();
    }
    return nullptr;
}

void Request::whenFinished(QObject *context, std::function<void(const Request &)> callback)
{
    if (m_finished) {
        callback(*this);
        return;
    }
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(this, &Request::finished, context, [this, connection, callback] {
        disconnect(*connection);
        callback(*this);
    });
}

void Request::finish(Outcome outcome, const QString &reason)
{
    if (m_finished)
        return;
    m_finished = true;
    m_outcome = outcome;
    m_reason = reason;
    emit finished();
}

} // namespace vantor::session
