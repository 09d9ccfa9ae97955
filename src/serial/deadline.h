// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QTimer>

namespace vantor::serial {

// A one-shot time limit a link puts on a stage of its own (a connection, a negotiation), so
// that tests can let the time run out by hand instead of waiting for it.
class Deadline : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts anew, replacing a limit already running.
    virtual void start(int ms) = 0;
    // No expiry of the stopped limit is delivered after this.
    virtual void stop() = 0;
    [[nodiscard]] virtual bool isActive() const = 0;
    // The limit last started, in ms.
    [[nodiscard]] virtual int limitMs() const = 0;

signals:
    void expired();
};

class QtDeadline final : public Deadline
{
    Q_OBJECT
public:
    explicit QtDeadline(QObject *parent = nullptr)
        : Deadline(parent)
    {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &Deadline::expired);
    }

    void start(int ms) override
    {
        m_limitMs = ms;
        m_timer.start(ms);
    }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }
    int limitMs() const override { return m_limitMs; }

private:
    QTimer m_timer;
    int m_limitMs = 0;
};

} // namespace vantor::serial
