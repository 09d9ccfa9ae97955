// SPDX-License-Identifier: MIT
#pragma once

// Virtual time: a clock that moves only when the test moves it, timers that run out on it,
// and things due at a time (a fake board's answers). A test that waits 30 s for a port to
// come back runs in milliseconds, and every time-out and backoff happens at its exact moment.

#include <protocol/timer.h>

#include <QCoreApplication>
#include <QList>
#include <QPointer>

#include <functional>
#include <limits>
#include <map>

namespace vantor::testing {

class VirtualTime;

// A timer on virtual time: runs out `interval` ms after start, and again every interval after
// that until stopped, as a repeating QTimer does.
class ClockedTimer final : public protocol::Timer
{
    Q_OBJECT
public:
    explicit ClockedTimer(VirtualTime &time, QObject *parent = nullptr);
    ~ClockedTimer() override;

    void setInterval(int ms) override { m_interval = ms; }
    int interval() const override { return m_interval; }
    void start() override;
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }

    [[nodiscard]] qint64 due() const { return m_due; }
    // Every run-out, for tests that check how often something woke up.
    int runOuts = 0;

private:
    friend class VirtualTime;
    void runOut()
    {
        ++runOuts;
        m_due += std::max(m_interval, 1);
        emit timeout();
    }

    VirtualTime &m_time;
    qint64 m_due = 0;
    int m_interval = 0;
    bool m_active = false;
};

class VirtualTime
{
public:
    [[nodiscard]] qint64 now() const { return m_now; }
    // Milliseconds since the epoch, for the clocks that stamp answers and log entries.
    [[nodiscard]] qint64 epochMs() const { return kEpochMs + m_now; }

    // Runs `action` when the clock reaches now + inMs (in the order asked, at the same time).
    void at(qint64 inMs, std::function<void()> action)
    {
        m_due.emplace(m_now + std::max<qint64>(inMs, 0), std::move(action));
    }

    // Moves the clock on by `ms`, running every timer and action that falls due on the way,
    // each at its own time, and what they post to the event loop after each.
    void advance(qint64 ms)
    {
        const qint64 end = m_now + ms;
        for (;;) {
            QCoreApplication::sendPostedEvents();
            ClockedTimer *timer = nextTimer();
            const qint64 timerDue = timer ? timer->due() : std::numeric_limits<qint64>::max();
            const qint64 actionDue
                = m_due.empty() ? std::numeric_limits<qint64>::max() : m_due.begin()->first;
            const qint64 next = std::min(timerDue, actionDue);
            if (next > end)
                break;
            m_now = next;
            if (actionDue <= timerDue) {
                auto action = std::move(m_due.begin()->second);
                m_due.erase(m_due.begin());
                action();
            } else {
                timer->runOut();
            }
        }
        m_now = end;
        QCoreApplication::sendPostedEvents();
    }
    // Runs what is due now.
    void settle() { advance(0); }

    // Moves the clock on until `condition` holds, at most `withinMs`; true when it held.
    bool advanceUntil(const std::function<bool()> &condition, qint64 withinMs, qint64 stepMs = 1)
    {
        const qint64 end = m_now + withinMs;
        settle();
        while (!condition()) {
            if (m_now >= end)
                return false;
            advance(std::min(stepMs, end - m_now));
        }
        return true;
    }

private:
    friend class ClockedTimer;
    static constexpr qint64 kEpochMs = 1'800'000'000'000; // 2027-01-15, any fixed day will do

    ClockedTimer *nextTimer() const
    {
        ClockedTimer *next = nullptr;
        for (ClockedTimer *t : m_timers) {
            if (t->isActive() && (!next || t->due() < next->due()))
                next = t;
        }
        return next;
    }

    qint64 m_now = 0;
    std::multimap<qint64, std::function<void()>> m_due;
    QList<ClockedTimer *> m_timers;
};

inline ClockedTimer::ClockedTimer(VirtualTime &time, QObject *parent)
    : Timer(parent)
    , m_time(time)
{
    m_time.m_timers.append(this);
}

inline ClockedTimer::~ClockedTimer()
{
    m_time.m_timers.removeOne(this);
}

inline void ClockedTimer::start()
{
    m_active = true;
    m_due = m_time.now() + std::max(m_interval, 1);
}

} // namespace vantor::testing
