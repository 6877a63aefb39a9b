#pragma once

#include "vortan/clock.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace vortan::test {

// A clock that moves only when told. Its timers fire from advance(), each at
// its own due time (now() then reads that time), in the order they are due.
class ManualClock : public Clock {
public:
    TimePoint now() const override { return m_now; }

    std::unique_ptr<Timer> createTimer(std::function<void()> handler) override
    {
        return std::make_unique<ManualTimer>(*this, std::move(handler));
    }

    // Moves time forward by `by`, firing every timer that falls due meanwhile.
    void advance(std::chrono::milliseconds by)
    {
        const TimePoint target = m_now + by;
        for (;;) {
            ManualTimer* next = nullptr;
            for (ManualTimer* timer : m_timers) {
                if (timer->m_due && *timer->m_due <= target && (!next || *timer->m_due < *next->m_due))
                    next = timer;
            }
            if (!next)
                break;
            m_now = *next->m_due;
            if (next->m_interval.count() > 0)
                next->m_due = m_now + next->m_interval;
            else
                next->m_due.reset();
            next->m_handler();  // may create, stop or destroy timers
        }
        m_now = target;
    }

    int activeTimers() const
    {
        return int(std::count_if(m_timers.begin(), m_timers.end(), [](ManualTimer* t) { return t->isActive(); }));
    }

private:
    class ManualTimer : public Timer {
    public:
        ManualTimer(ManualClock& clock, std::function<void()> handler) : m_clock(clock), m_handler(std::move(handler))
        {
            m_clock.m_timers.push_back(this);
        }
        ~ManualTimer() override { std::erase(m_clock.m_timers, this); }

        void startOnce(std::chrono::milliseconds delay) override
        {
            m_interval = std::chrono::milliseconds(0);
            m_due = m_clock.m_now + delay;
        }
        void startRepeating(std::chrono::milliseconds interval) override
        {
            m_interval = interval;
            m_due = m_clock.m_now + interval;
        }
        void stop() override { m_due.reset(); }
        bool isActive() const override { return m_due.has_value(); }

        ManualClock& m_clock;
        std::function<void()> m_handler;
        std::optional<TimePoint> m_due;
        std::chrono::milliseconds m_interval{0};
    };

    TimePoint m_now{std::chrono::hours(24)};
    std::vector<ManualTimer*> m_timers;
};

}  // namespace vortan::test
