#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace vortan {

// Time and timers for the controller's rules (the 0.1 s publication, the
// 60 s activity check). The program uses SystemClock; tests drive a manual
// clock and never sleep.
class Timer {
public:
    virtual ~Timer() = default;
    // Fires once after delay (replacing any schedule).
    virtual void startOnce(std::chrono::milliseconds delay) = 0;
    // Fires first after interval, then every interval.
    virtual void startRepeating(std::chrono::milliseconds interval) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
    // A stopped timer whose handler runs on the main thread's event loop.
    virtual std::unique_ptr<Timer> createTimer(std::function<void()> handler) = 0;
};

// steady_clock and QTimer (precise timers).
class SystemClock : public Clock {
public:
    TimePoint now() const override;
    std::unique_ptr<Timer> createTimer(std::function<void()> handler) override;
};

// The process's one SystemClock, for objects not given another clock.
Clock& systemClock();

}  // namespace vortan
