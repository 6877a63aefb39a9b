// Untrusted text on the terminal, and the sizes people type.

#include "cli/reasons.h"
#include "cli/text.h"

#include <netdb.h>

#include <cerrno>

#include <gtest/gtest.h>

using namespace brenvo::cli;

namespace {

TEST(Printable, NeutralisesEscapesLineBreaksTabsAndBidiOverrides)
{
    EXPECT_EQ(printable("a\x1b[2Jb"), "a?[2Jb");
    EXPECT_EQ(printable("x\ny\tz\r"), "x?y?z?");
    EXPECT_EQ(printable(QString::fromUtf8("evil\u202Etxt.exe")), QString::fromUtf8("evil?txt.exe"));
    EXPECT_EQ(printable(QString(QChar(0x9b))), "?");  // C1 control
    EXPECT_EQ(printable(QString::fromUtf8("Zoë 写真")), QString::fromUtf8("Zoë 写真"));
}

TEST(Sizes, ParsedWithBinarySuffixesOnlyAndShownWithAUnit)
{
    EXPECT_EQ(parseSize("0"), 0);
    EXPECT_EQ(parseSize("5242881"), 5242881);
    EXPECT_EQ(parseSize("64M"), 64LL << 20);
    EXPECT_EQ(parseSize("1GiB"), 1LL << 30);
    EXPECT_EQ(parseSize("3k"), 3072);
    for (const char* bad : {"", "M", "-1", "1.5M", "12 bytes", "0x10", "99999999999999999999", "9000000000G"})
        EXPECT_FALSE(parseSize(QString::fromLatin1(bad))) << bad;
    // And shown with a unit picked for them.
    EXPECT_EQ(formatSize(1023), "1023 B");
    EXPECT_EQ(formatSize(1536), "1.5 KiB");
    EXPECT_EQ(formatSize(5LL << 20), "5.0 MiB");
    EXPECT_EQ(formatSize(3LL << 30), "3.00 GiB");
}

TEST(Reasons, SayWhatTheUserCanDo)
{
    using vortan::ConnectFailure;
    using vortan::NetworkError;
    using vortan::VortanError;
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1000000, Qt::UTC);
    const auto net = [](NetworkError e) { return std::optional<VortanError>(VortanError::network(e)); };
    const struct {
        ConnectFailure failure;
        const char* text;
    } cases[] = {
        {{ConnectFailure::Reason::unreachable, "10.0.0.7", 54322, net(NetworkError::posix(ECONNREFUSED)), now.addSecs(40)},
         "Bob is offline or unreachable at 10.0.0.7:54322 (connection refused) \u2014 trying again in 40 s"},
        {{ConnectFailure::Reason::unreachable, "fe80::1", 1, net(NetworkError::posix(EHOSTUNREACH)), {}},
         "Bob is offline or unreachable at [fe80::1]:1 (no route to host)"},
        {{ConnectFailure::Reason::unreachable, "bob.example", 2, net(NetworkError::dns(EAI_NONAME)), now.addMSecs(4001)},
         "Bob is offline or unreachable at bob.example:2 (name or service not known) \u2014 trying again in 5 s"},
        {{ConnectFailure::Reason::notAccepted, "10.0.0.7", 54322, net(NetworkError::posix(ECONNRESET)), {}},
         "Bob did not accept the connection: has Bob imported your card?"},
        {{ConnectFailure::Reason::noAddress, {}, 0, {}, {}}, "Bob's card has no address: ask Bob for a new card"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(failureText("Bob", c.failure, now), QString::fromUtf8(c.text));
    // Names come from cards: printed safely.
    EXPECT_EQ(failureText("B\x1b[2Jb", cases[4].failure, now),
              "B?[2Jb's card has no address: ask B?[2Jb for a new card");

    EXPECT_EQ(listenFailureText(54322, VortanError::network(NetworkError::posix(EADDRINUSE))),
              "Port 54322 is in use by another program: choose another port with 'brenvo-cli card --port P', "
              "or run with --no-listen");
    EXPECT_EQ(listenFailureText(80, VortanError::network(NetworkError::posix(EACCES))),
              "Cannot listen on port 80 (permission denied): choose another port with 'brenvo-cli card --port P', "
              "or run with --no-listen");
}

}  // namespace
