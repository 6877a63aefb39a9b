#include "vortan/records/errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace vortan {
namespace {

TEST(VortanErrorTest, LocalizedDescriptions)
{
    EXPECT_EQ(VortanError::network(NetworkError::posix(ECONNREFUSED)).localizedDescription(),
              QString::fromLocal8Bit(std::strerror(ECONNREFUSED)));
    EXPECT_EQ(VortanError::network(NetworkError::dns(-2)).localizedDescription(), "dns error: -2");
    EXPECT_EQ(VortanError::network(NetworkError::tls(-9806, "bad record")).localizedDescription(),
              "network error: bad record");
    EXPECT_EQ(VortanError::other(QStringLiteral("disk full")).localizedDescription(), "disk full");
}

}  // namespace
}  // namespace vortan
