// The command line: what each command takes, and the usage errors (status 2).

#include "cli/arguments.h"
#include "cli/clierror.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace brenvo::cli;

namespace {

Invocation parse(const QStringList& arguments)
{
    return parseArguments(QStringList{QStringLiteral("brenvo-cli")} + arguments);
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
    ADD_FAILURE() << "accepted: " << arguments.join(QLatin1Char(' ')).toStdString();
    return QString();
}

TEST(Arguments, GlobalOptionsBeforeOrAfterTheCommand)
{
    Invocation a = parse({QStringLiteral("--data-dir"), QStringLiteral("/d"), QStringLiteral("--key-store"),
                          QStringLiteral("file"), QStringLiteral("users")});
    EXPECT_EQ(a.command, QStringLiteral("users"));
    EXPECT_EQ(a.global.dataDir, QStringLiteral("/d"));
    EXPECT_EQ(a.global.keyStore, vortan::KeyStoreChoice::file);

    Invocation b = parse({QStringLiteral("files"), QStringLiteral("--data-dir=/e"), QStringLiteral("--log"), QStringLiteral("l.txt")});
    EXPECT_EQ(b.global.dataDir, QStringLiteral("/e"));
    EXPECT_EQ(b.global.logFile, QStringLiteral("l.txt"));
    EXPECT_EQ(b.global.keyStore, vortan::KeyStoreChoice::automatic);
}

TEST(Arguments, CardFields)
{
    Invocation c = parse({QStringLiteral("card"), QStringLiteral("--name"), QStringLiteral("Ada L"), QStringLiteral("--port"),
                          QStringLiteral("40000"), QStringLiteral("-o"), QStringLiteral("ada.bcard")});
    EXPECT_EQ(c.name, std::optional<QString>(QStringLiteral("Ada L")));
    EXPECT_EQ(c.port, std::optional<std::uint16_t>(40000));
    EXPECT_FALSE(c.address);
    EXPECT_EQ(c.output, QStringLiteral("ada.bcard"));
    // An empty address clears it.
    EXPECT_EQ(parse({QStringLiteral("card"), QStringLiteral("--address="), QStringLiteral("-o"), QStringLiteral("x")}).address,
              std::optional<QString>(QString()));

    // Without -o the card is printed.
    EXPECT_TRUE(parse({QStringLiteral("card")}).output.isEmpty());
    EXPECT_TRUE(usageErrorOf({QStringLiteral("card"), QStringLiteral("-o"), QString()}).contains(QStringLiteral("-o")));
    // Names go into tab-separated lines.
    for (const char* name : {"Ada\tL", "Ada\nL", "Ada\rL"})
        EXPECT_TRUE(usageErrorOf({QStringLiteral("card"), QStringLiteral("--name"), QString::fromLatin1(name)}).contains(QStringLiteral("tab")));
    for (const char* port : {"0", "65536", "70000", "abc", "-5", ""})
        EXPECT_TRUE(usageErrorOf({QStringLiteral("card"), QStringLiteral("--port"), QString::fromLatin1(port), QStringLiteral("-o"), QStringLiteral("x")})
                        .contains(QStringLiteral("--port")))
            << port;
    usageErrorOf({QStringLiteral("card"), QStringLiteral("--name"), QStringLiteral(" "), QStringLiteral("-o"), QStringLiteral("x")});
    usageErrorOf({QStringLiteral("card"), QStringLiteral("-o"), QStringLiteral("x"), QStringLiteral("extra")});
}

TEST(Arguments, OperandsAndRepeatedOptions)
{
    Invocation s = parse({QStringLiteral("share"), QStringLiteral("a.txt"), QStringLiteral("--to"), QStringLiteral("Bo"),
                          QStringLiteral("--to"), QStringLiteral("3f0a"), QStringLiteral("--"), QStringLiteral("--odd-name")});
    EXPECT_EQ(s.to, (QStringList{QStringLiteral("Bo"), QStringLiteral("3f0a")}));
    EXPECT_EQ(s.operands, (QStringList{QStringLiteral("a.txt"), QStringLiteral("--odd-name")}));
    usageErrorOf({QStringLiteral("share"), QStringLiteral("a.txt")});
    usageErrorOf({QStringLiteral("share"), QStringLiteral("--to"), QStringLiteral("Bo")});

    Invocation r = parse({QStringLiteral("resume"), QStringLiteral("1234"), QStringLiteral("abcd"), QStringLiteral("--to"), QStringLiteral("/dl")});
    EXPECT_EQ(r.operands.size(), 2);
    EXPECT_EQ(r.resumeTo, QStringLiteral("/dl"));
    for (const char* command : {"pause", "resume", "remove", "import"})
        usageErrorOf({QString::fromLatin1(command)});
    usageErrorOf({QStringLiteral("users"), QStringLiteral("extra")});
}

// What a command line sends to a running instance parses back to the same
// command, with its paths made absolute from here.
TEST(Arguments, CommandArgumentsRoundTrip)
{
    const QString here = QDir::currentPath();
    const struct {
        QStringList given;
        QStringList operands;
    } cases[] = {
        {{QStringLiteral("share"), QStringLiteral("--to"), QStringLiteral("Bo"), QStringLiteral("--"), QStringLiteral("-a.txt")},
         {here + QStringLiteral("/-a.txt")}},
        {{QStringLiteral("import"), QStringLiteral("/c/bo.bcard")}, {QStringLiteral("/c/bo.bcard")}},
        {{QStringLiteral("resume"), QStringLiteral("12ab"), QStringLiteral("--to"), QStringLiteral("dl")}, {QStringLiteral("12ab")}},
        {{QStringLiteral("card"), QStringLiteral("--name"), QStringLiteral("Ada"), QStringLiteral("--address="), QStringLiteral("-o"),
          QStringLiteral("-")},
         {}},
        {{QStringLiteral("files")}, {}},
    };
    for (const auto& c : cases) {
        const Invocation first = parse(c.given);
        const Invocation again = parse(QStringList{first.command} + commandArguments(first));
        EXPECT_EQ(again.operands, c.operands) << c.given.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(again.to, first.to);
        EXPECT_EQ(again.name, first.name);
        EXPECT_EQ(again.address, first.address);
        EXPECT_EQ(again.output, first.output);
        EXPECT_EQ(again.resumeTo, first.resumeTo.isEmpty() ? QString() : here + QStringLiteral("/dl"));
    }
}

TEST(Arguments, RunOptions)
{
    Invocation r = parse({QStringLiteral("run"), QStringLiteral("--no-upnp"), QStringLiteral("--connect"), QStringLiteral("Bo"),
                          QStringLiteral("--accept"), QStringLiteral("all"), QStringLiteral("--accept"), QStringLiteral("Cy"),
                          QStringLiteral("--exit-when-done"), QStringLiteral("--timeout"), QStringLiteral("2.5"),
                          QStringLiteral("--download-to"), QStringLiteral("/dl")});
    EXPECT_TRUE(r.noUpnp);
    EXPECT_FALSE(r.noListen);
    EXPECT_EQ(r.connect, QStringList{QStringLiteral("Bo")});
    EXPECT_EQ(r.accept, (QStringList{QStringLiteral("all"), QStringLiteral("Cy")}));
    EXPECT_TRUE(r.exitWhenDone);
    EXPECT_EQ(r.timeoutSeconds, std::optional<double>(2.5));
    EXPECT_EQ(r.downloadTo, QStringLiteral("/dl"));

    usageErrorOf({QStringLiteral("run"), QStringLiteral("--map-port"), QStringLiteral("--no-upnp")});
    usageErrorOf({QStringLiteral("run"), QStringLiteral("--map-port"), QStringLiteral("--no-listen")});
    for (const char* timeout : {"0", "-1", "soon", "nan", "inf"})
        usageErrorOf({QStringLiteral("run"), QStringLiteral("--timeout"), QString::fromLatin1(timeout)});
    usageErrorOf({QStringLiteral("run"), QStringLiteral("--connect")});
    usageErrorOf({QStringLiteral("demo"), QStringLiteral("--size"), QStringLiteral("lots")});
    EXPECT_EQ(parse({QStringLiteral("demo"), QStringLiteral("--size"), QStringLiteral("2M")}).size, std::optional<std::int64_t>(2 << 20));
}

TEST(Arguments, CommandsAndHelp)
{
    EXPECT_TRUE(usageErrorOf({}).contains(QStringLiteral("no command")));
    EXPECT_TRUE(usageErrorOf({QStringLiteral("fly")}).contains(QStringLiteral("fly")));
    EXPECT_TRUE(usageErrorOf({QStringLiteral("users"), QStringLiteral("--colour")}).contains(QStringLiteral("colour")));
    EXPECT_TRUE(usageErrorOf({QStringLiteral("--key-store"), QStringLiteral("vault"), QStringLiteral("users")})
                    .contains(QStringLiteral("vault")));
    // An option of another command is unknown here.
    usageErrorOf({QStringLiteral("users"), QStringLiteral("--timeout"), QStringLiteral("3")});

    EXPECT_TRUE(parse({QStringLiteral("--help")}).help);
    for (const QString& command : commandNames()) {
        // --help needs none of the command's required parts.
        const Invocation h = parse({command, QStringLiteral("--help")});
        EXPECT_TRUE(h.help) << command.toStdString();
        EXPECT_EQ(h.command, command);
        EXPECT_TRUE(helpText(command).contains(QStringLiteral("brenvo-cli [OPTIONS] ") + command)) << command.toStdString();
        EXPECT_TRUE(helpText(command).contains(QStringLiteral("--data-dir")));
        EXPECT_TRUE(helpText(QString()).contains(QStringLiteral("  ") + command)) << command.toStdString();
    }
}

}  // namespace
