#include "vortan/util/ratelimitedlog.h"

#include "vortan/log.h"

namespace vortan {

namespace {
// Keys are forgotten (their counts written) once there are this many.
constexpr qsizetype kMaxKeys = 1024;
}

RateLimitedLog::RateLimitedLog(std::chrono::milliseconds interval, Now now) : m_interval(interval), m_now(std::move(now))
{
}

RateLimitedLog& RateLimitedLog::preAuthentication()
{
    static RateLimitedLog log;
    return log;
}

void RateLimitedLog::log(const QString& key, const QString& line)
{
    const TimePoint at = now();
    const auto found = m_entries.find(key);
    if (found != m_entries.end() && at - found->last < m_interval) {
        ++found->held;
        return;
    }
    const int held = found != m_entries.end() ? found->held : 0;
    logLineUnheld(lcListener(), QtWarningMsg, held > 0 ? QStringLiteral("%1 (%2 more from %3 not logged)").arg(line).arg(held).arg(key) : line);
    if (m_entries.size() >= kMaxKeys && found == m_entries.end())
        forgetOldKeys(at);
    m_entries.insert(key, Entry{at, 0});
}

void RateLimitedLog::forgetOldKeys(TimePoint at)
{
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (at - it->last < m_interval) {
            ++it;
            continue;
        }
        if (it->held > 0)
            logLineUnheld(lcListener(), QtWarningMsg, QStringLiteral("%1 more lines from %2 not logged").arg(it->held).arg(it.key()));
        it = m_entries.erase(it);
    }
}

}  // namespace vortan
