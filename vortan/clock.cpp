#include "vortan/clock.h"

#include <QTimer>

namespace vortan {
namespace {

class QtTimer : public Timer {
public:
    explicit QtTimer(std::function<void()> handler)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [handler = std::move(handler)] { handler(); });
    }

    void startOnce(std::chrono::milliseconds delay) override
    {
        m_timer.setSingleShot(true);
        m_timer.start(delay);
    }

    void startRepeating(std::chrono::milliseconds interval) override
    {
        m_timer.setSingleShot(false);
        m_timer.start(interval);
    }

    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

}  // namespace

Clock::TimePoint SystemClock::now() const
{
    return std::chrono::steady_clock::now();
}

std::unique_ptr<Timer> SystemClock::createTimer(std::function<void()> handler)
{
    return std::make_unique<QtTimer>(std::move(handler));
}

Clock& systemClock()
{
    static SystemClock clock;
    return clock;
}

}  // namespace vortan
