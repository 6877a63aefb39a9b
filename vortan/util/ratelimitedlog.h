#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <functional>

namespace vortan {

// Diagnostic lines that others can cause at will (connections refused
// before they authenticate): at most one line per key (a remote address)
// per interval. Lines held back meanwhile are counted, and the count goes
// out with the next line of that key.
class RateLimitedLog {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Now = std::function<TimePoint()>;

    static constexpr std::chrono::milliseconds kDefaultInterval{60000};

    explicit RateLimitedLog(std::chrono::milliseconds interval = kDefaultInterval, Now now = {});

    // Writes line (also past a LogHold), or counts it when a line of this key
    // went out less than an interval ago.
    void log(const QString& key, const QString& line);

    // Replaces the time source (an empty function: the steady clock) and
    // forgets the times recorded with the old one. Tests drive time with it.
    void setNow(Now now)
    {
        m_now = std::move(now);
        m_entries.clear();
    }

    // The one instance for connections that fail before they authenticate.
    static RateLimitedLog& preAuthentication();

private:
    struct Entry {
        TimePoint last;
        int held = 0;
    };
    TimePoint now() const { return m_now ? m_now() : std::chrono::steady_clock::now(); }
    void forgetOldKeys(TimePoint at);

    std::chrono::milliseconds m_interval;
    Now m_now;
    QHash<QString, Entry> m_entries;
};

}  // namespace vortan
