#pragma once

#include "vortan/clock.h"

#include <chrono>
#include <memory>

namespace vortan {

class SleepInhibitor;

// Holds the machine awake while transfers run: every want or data message
// sent marks activity; a minute without any lets the machine sleep again.
class ActivityHold {
public:
    static constexpr std::chrono::milliseconds kInterval{60000};

    ActivityHold(Clock& clock, SleepInhibitor& inhibitor);
    ~ActivityHold();

    ActivityHold(const ActivityHold&) = delete;
    ActivityHold& operator=(const ActivityHold&) = delete;

    void mark();
    // Lets go when nothing was marked for kInterval (a timer calls it too).
    void check();
    bool held() const { return m_held; }

private:
    Clock& m_clock;
    SleepInhibitor& m_inhibitor;
    Clock::TimePoint m_last;
    std::unique_ptr<Timer> m_timer;
    bool m_held = false;
};

}  // namespace vortan
