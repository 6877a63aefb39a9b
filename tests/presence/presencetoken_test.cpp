#include "vortan/presence/presencetoken.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QSet>

namespace vortan {
namespace {

QByteArray counting()
{
    QByteArray key(32, 0);
    for (int i = 0; i < 32; ++i)
        key[i] = static_cast<char>(i);
    return key;
}

// Fixed vectors, computed independently (Python's hmac module):
// base32(HMAC-SHA256(key, "brenvo-presence" || day as 8 bytes big-endian)[:10]).
TEST(PresenceTokenTest, MatchesFixedVectors)
{
    struct Vector {
        QByteArray key;
        std::int64_t day;
        const char* token;
    };
    const Vector vectors[] = {
        {counting(), 0, "533frgdtfkhgdu5n"},
        {counting(), 20430, "7b3lrqdnohld44qg"},
        {QByteArray(32, '\xff'), 0, "er6mnjqicuogk3ep"},
        {QByteArray(32, '\xff'), 20430, "6tf6qzzsmxs5bljt"},
    };
    for (const Vector& v : vectors)
        EXPECT_EQ(presenceToken(v.key, v.day), QLatin1String(v.token)) << v.day;
}

TEST(PresenceTokenTest, ChangesWithTheUtcDayAndTheUser)
{
    const QDateTime morning(QDate(2025, 12, 8), QTime(0, 0, 1), Qt::UTC);
    const QDateTime evening(QDate(2025, 12, 8), QTime(23, 59, 59), Qt::UTC);
    EXPECT_EQ(utcDayNumber(morning), 20430);
    EXPECT_EQ(utcDayNumber(evening), 20430);
    EXPECT_EQ(utcDayNumber(evening.addSecs(1)), 20431);
    EXPECT_EQ(utcDayNumber(QDateTime(QDate(1969, 12, 31), QTime(23, 0), Qt::UTC)), -1);
    // Local time zones do not move the day: the same instant, the same day.
    EXPECT_EQ(utcDayNumber(evening.toOffsetFromUtc(3600)), 20430);

    QSet<QString> seen;
    for (const QByteArray& key : {counting(), QByteArray(32, '\x01'), QByteArray(32, '\x02')}) {
        for (std::int64_t day = 20428; day <= 20432; ++day) {
            const QString token = presenceToken(key, day);
            EXPECT_EQ(token, presenceToken(key, day));
            EXPECT_EQ(token.size(), 16);
            seen.insert(token);
        }
    }
    EXPECT_EQ(seen.size(), 15);
    // Not a key: nothing to announce or match.
    EXPECT_TRUE(presenceToken(QByteArray(31, 'x'), 1).isEmpty());
    EXPECT_TRUE(presenceToken(QByteArray(), 1).isEmpty());
}

}  // namespace
}  // namespace vortan
