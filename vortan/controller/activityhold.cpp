#include "vortan/controller/activityhold.h"

#include "vortan/controller/sleepinhibitor.h"

namespace vortan {

ActivityHold::ActivityHold(Clock& clock, SleepInhibitor& inhibitor)
    : m_clock(clock), m_inhibitor(inhibitor), m_last(clock.now())
{
}

ActivityHold::~ActivityHold()
{
    m_timer.reset();
    if (m_held)
        m_inhibitor.release();
}

void ActivityHold::mark()
{
    m_last = m_clock.now();
    if (!m_timer) {
        m_timer = m_clock.createTimer([this] { check(); });
        m_timer->startRepeating(kInterval);
    }
    if (!m_held) {
        m_held = true;
        m_inhibitor.acquire();
    }
}

void ActivityHold::check()
{
    if (m_held && m_clock.now() - m_last > kInterval) {
        m_held = false;
        m_inhibitor.release();
    }
}

}  // namespace vortan
