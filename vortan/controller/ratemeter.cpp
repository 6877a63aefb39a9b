#include "vortan/controller/ratemeter.h"

namespace vortan {

double RateMeter::sample(const QUuid& id, std::int64_t bytes, Clock::TimePoint now,
                         std::optional<Clock::TimePoint> stillAt)
{
    auto& samples = m_samples[id];
    if (!samples.empty() && bytes < samples.back().second)
        samples.clear();  // the blocks were reset: start measuring again
    if (stillAt && !samples.empty() && samples.back().first < *stillAt && *stillAt < now)
        samples.emplace_back(*stillAt, samples.back().second);
    if (samples.empty() || samples.back().first != now)
        samples.emplace_back(now, bytes);
    else
        samples.back().second = bytes;
    while (samples.size() > 2 && now - samples.front().first > kWindow)
        samples.pop_front();
    return rate(id);
}

bool RateMeter::measured(const QUuid& id) const
{
    const auto it = m_samples.constFind(id);
    return it != m_samples.cend() && it->size() >= 2 && it->back().first > it->front().first;
}

double RateMeter::rate(const QUuid& id) const
{
    const auto it = m_samples.constFind(id);
    if (it == m_samples.cend() || it->size() < 2)
        return 0;
    const auto& [firstTime, firstBytes] = it->front();
    const auto& [lastTime, lastBytes] = it->back();
    const double seconds = std::chrono::duration<double>(lastTime - firstTime).count();
    if (seconds <= 0)
        return 0;
    return double(lastBytes - firstBytes) / seconds;
}

}  // namespace vortan
