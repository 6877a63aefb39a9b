#pragma once

#include <algorithm>
#include <chrono>

namespace vortan {

// The waits between failed calls to one user: 5 s, doubling up to 5 min,
// back to 5 s after reset() (the network changed, the user appeared, a
// connection was made).
class Backoff {
public:
    static constexpr std::chrono::milliseconds kFirst{5000};
    static constexpr std::chrono::milliseconds kLast{300000};

    // The wait before the next call; the one after it is twice as long.
    std::chrono::milliseconds next()
    {
        const std::chrono::milliseconds wait = m_next;
        m_next = std::min(m_next * 2, kLast);
        return wait;
    }
    void reset() { m_next = kFirst; }

private:
    std::chrono::milliseconds m_next = kFirst;
};

}  // namespace vortan
