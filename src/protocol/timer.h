// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QTimer>

namespace vantor::protocol {

// A single-purpose millisecond timer; the engine takes its two through this so that tests
// can fire them by hand.
class Timer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void setInterval(int ms) = 0;
    [[nodiscard]] virtual int interval() const = 0;
    // Starts, or restarts the full interval when already running.
    virtual void start() = 0;
    // After stop() no timeout of the stopped period is delivered.
    virtual void stop() = 0;
    [[nodiscard]] virtual bool isActive() const = 0;

signals:
    void timeout();
};

class QtTimer final : public Timer
{
    Q_OBJECT
public:
    explicit QtTimer(QObject *parent = nullptr)
        : Timer(parent)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &Timer::timeout);
    }

    void setInterval(int ms) override { m_timer.setInterval(ms); }
    int interval() const override { return m_timer.interval(); }
    void start() override { m_timer.start(); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

} // namespace vantor::protocol
