// SPDX-License-Identifier: MIT
#pragma once

#include "decodedanswer.h"

#include <frames/commands.h>
#include <protocol/transactionengine.h>

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace vantor::session {

class Request;
using RequestHandle = std::shared_ptr<Request>;

// One operation asked of the session. It finishes exactly once, with an outcome: done (with
// its answer, for reads), timed out, refused with a reason, failed, or cancelled. Requests
// that the board's protocol merges into one pending flag share one outcome. A request made of
// steps (a save, a series of writes) finishes when its steps have.
class Request : public QObject
{
    Q_OBJECT
public:
    using Outcome = protocol::Outcome;

    // One transaction. group: the group it is launched for; none: the group the session
    // shows when it is launched (the window's tab).
    Request(protocol::RequestKind kind, std::optional<int> group);
    // Steps that all run (Parallel: asked for at once) or run one after another until one
    // does not end done (Sequence: the rest end cancelled).
    enum class Steps { Parallel, Sequence };
    Request(QList<RequestHandle> steps, Steps mode);

    [[nodiscard]] protocol::RequestKind kind() const { return m_kind; }
    [[nodiscard]] std::optional<int> group() const { return m_group; }
    [[nodiscard]] const QList<RequestHandle> &steps() const { return m_steps; }
    [[nodiscard]] Steps mode() const { return m_mode; }

    // Set once the command byte went out (0 before).
    [[nodiscard]] std::uint8_t code() const { return m_code; }
    // A write whose command the board acknowledged.
    [[nodiscard]] bool acknowledged() const { return m_acknowledged; }

    [[nodiscard]] bool isFinished() const { return m_finished; }
    [[nodiscard]] Outcome outcome() const { return m_outcome; }
    [[nodiscard]] bool ok() const { return m_finished && m_outcome == Outcome::Done; }
    // Why it did not end done: the refusal, the failure, "no answer".
    [[nodiscard]] const QString &reason() const { return m_reason; }
    // A read that ended done: its answer (none when the answer could not be decoded).
    [[nodiscard]] const std::optional<DecodedAnswer> &answer() const { return m_answer; }
    // A composite: the step that decided its outcome (the first that did not end done).
    [[nodiscard]] const Request *failedStep() const;

    // Calls back once finished: at once when it already is, otherwise from finished().
    void whenFinished(QObject *context, std::function<void(const Request &)> callback);

signals:
    void finished();

private:
    friend class Session;
    void setLaunched(std::uint8_t code) { m_code = code; }
    void setAcknowledged() { m_acknowledged = true; }
    void setAnswer(const DecodedAnswer &answer) { m_answer = answer; }
    void finish(Outcome outcome, const QString &reason = {});

    protocol::RequestKind m_kind = protocol::RequestKind::WholeRead;
    std::optional<int> m_group;
    QList<RequestHandle> m_steps;
    Steps m_mode = Steps::Parallel;
    std::uint8_t m_code = 0;
    bool m_acknowledged = false;
    bool m_finished = false;
    Outcome m_outcome = Outcome::Cancelled;
    QString m_reason;
    std::optional<DecodedAnswer> m_answer;
};

} // namespace vantor::session
