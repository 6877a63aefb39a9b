// The command line: what each command takes, and the usage errors (status 2).
// Help on each command is checked on the program (commands_test.cpp).

#include "cli/arguments.h"
#include "cli/clierror.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace brenvo::cli;

namespace {

Invocation parse(const QStringList& arguments)
{
    return parseArguments(QStringList{"brenvo-cli"} + arguments);
}

// The message of the usage error, or a failure when there is none.
QString usageErrorOf(const QStringList& arguments)
{
    try {
        parse(arguments);
    } catch (const CliError& e) {
        EXPECT_EQ(e.status(), kExitUsage) << e.message().toStdString();
        return e.message();
    }
    ADD_FAILURE() << "accepted: " << arguments.join(' ').toStdString();
    return QString();
}

TEST(Arguments, UsageErrorsNameWhatIsWrong)
{
    const struct {
        QStringList arguments;
        const char* mentions;  // part of the message
    } cases[] = {
        {{}, "no command"}, {{"fly"}, "fly"}, {{"users", "--colour"}, "colour"},
        {{"--key-store", "vault", "users"}, "vault"}, {{"card", "-o", ""}, "-o"},
        // Names go into tab-separated lines.
        {{"card", "--name", "Ada\tL"}, "tab"}, {{"card", "--name", "Ada\nL"}, "tab"}, {{"card", "--name", "Ada\rL"}, "tab"},
        // Mentioning nothing in particular: an option of another command, operands missing or extra.
        {{"users", "--timeout", "3"}, ""}, {{"users", "extra"}, ""}, {{"card", "--name", " ", "-o", "x"}, ""},
        {{"card", "-o", "x", "extra"}, ""}, {{"share", "a.txt"}, ""}, {{"share", "--to", "Bo"}, ""}, {{"pause"}, ""},
        {{"resume"}, ""}, {{"remove"}, ""}, {{"import"}, ""}, {{"run", "--map-port", "--no-upnp"}, ""},
        {{"run", "--map-port", "--no-listen"}, ""}, {{"run", "--connect"}, ""}, {{"demo", "--size", "lots"}, ""},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(usageErrorOf(c.arguments).contains(c.mentions)) << c.arguments.join(' ').toStdString();
    for (const char* port : {"0", "65536", "70000", "abc", "-5", ""})
        EXPECT_TRUE(usageErrorOf({"card", "--port", port, "-o", "x"}).contains("--port")) << port;
    for (const char* timeout : {"0", "-1", "soon", "nan", "inf"})
        usageErrorOf({"run", "--timeout", timeout});
}

TEST(Arguments, GlobalOptionsBeforeOrAfterTheCommand)
{
    Invocation a = parse({"--data-dir", "/d", "--key-store", "file", "users"});
    EXPECT_EQ(a.command, "users");
    EXPECT_EQ(a.global.dataDir, "/d");
    EXPECT_EQ(a.global.keyStore, vortan::KeyStoreChoice::file);

    Invocation b = parse({"files", "--data-dir=/e", "--log", "l.txt"});
    EXPECT_EQ(b.global.dataDir, "/e");
    EXPECT_EQ(b.global.logFile, "l.txt");
    EXPECT_EQ(b.global.keyStore, vortan::KeyStoreChoice::automatic);
}

TEST(Arguments, CommandOptionsAndOperands)
{
    Invocation c = parse({"card", "--name", "Ada L", "--port", "40000", "-o", "ada.bcard"});
    EXPECT_EQ(c.name, std::optional<QString>("Ada L"));
    EXPECT_EQ(c.port, std::optional<std::uint16_t>(40000));
    EXPECT_FALSE(c.address);
    EXPECT_EQ(c.output, "ada.bcard");
    // An empty address clears it; without -o the card is printed.
    EXPECT_EQ(parse({"card", "--address=", "-o", "x"}).address, std::optional<QString>(QString()));
    EXPECT_TRUE(parse({"card"}).output.isEmpty());

    Invocation s = parse({"share", "a.txt", "--to", "Bo", "--to", "3f0a", "--", "--odd-name"});
    EXPECT_EQ(s.to, (QStringList{"Bo", "3f0a"}));
    EXPECT_EQ(s.operands, (QStringList{"a.txt", "--odd-name"}));
    Invocation r = parse({"resume", "1234", "abcd", "--to", "/dl"});
    EXPECT_EQ(r.operands.size(), 2);
    EXPECT_EQ(r.resumeTo, "/dl");

    Invocation run = parse({"run", "--no-upnp", "--connect", "Bo", "--accept", "all", "--accept", "Cy",
                            "--exit-when-done", "--timeout", "2.5", "--download-to", "/dl"});
    EXPECT_TRUE(run.noUpnp);
    EXPECT_FALSE(run.noListen);
    EXPECT_EQ(run.connect, QStringList{"Bo"});
    EXPECT_EQ(run.accept, (QStringList{"all", "Cy"}));
    EXPECT_TRUE(run.exitWhenDone);
    EXPECT_EQ(run.timeoutSeconds, std::optional<double>(2.5));
    EXPECT_EQ(run.downloadTo, "/dl");
    EXPECT_EQ(parse({"demo", "--size", "2M"}).size, std::optional<std::int64_t>(2 << 20));
}

}  // namespace
