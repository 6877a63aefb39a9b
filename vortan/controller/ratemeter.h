#pragma once

#include "vortan/clock.h"

#include <QHash>
#include <QUuid>

#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

namespace vortan {

// The recent transfer rate of each record, from the byte counts seen at
// publications: bytes moved over the last few seconds.
class RateMeter {
public:
    static constexpr std::chrono::milliseconds kWindow{3000};

    // Records `bytes` done for `id` at `now`; returns the rate in bytes per
    // second (0 until two samples span some time). A record not sampled
    // while it stood still may say since when: `stillAt`, a time at which
    // its bytes were still those of its last sample.
    double sample(const QUuid& id, std::int64_t bytes, Clock::TimePoint now,
                  std::optional<Clock::TimePoint> stillAt = std::nullopt);
    // Forgets a record that is not moving (paused, done, failed, removed).
    void forget(const QUuid& id) { m_samples.remove(id); }
    double rate(const QUuid& id) const;
    // Whether samples of id span some time (a rate of 0 then means: still).
    bool measured(const QUuid& id) const;

private:
    QHash<QUuid, std::deque<std::pair<Clock::TimePoint, std::int64_t>>> m_samples;
};

}  // namespace vortan
