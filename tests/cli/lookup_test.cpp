// Finding the user and the record a person means.

#include "cli/cards.h"
#include "cli/clierror.h"
#include "cli/lookup.h"

#include <gtest/gtest.h>

using namespace brenvo::cli;
using vortan::FileRow;
using vortan::User;

namespace {

User user(const QString& name, const char* hexKey)
{
    QByteArray key = QByteArray::fromHex(hexKey);
    key.resize(32, '\x5a');
    return User(name, std::nullopt, std::nullopt, key);
}

QString failureOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const CliError& e) {
        EXPECT_EQ(e.status(), kExitFailure);
        return e.message();
    }
    ADD_FAILURE() << "no failure";
    return QString();
}

TEST(FindUser, ByNameThenFingerprint)
{
    const QList<User> users{user("Bo", "3f0a91c2"), user("bob", "3f0b0000"), user("Cy", "beef0001"),
                            user("Dee", "3f0a1111")};
    EXPECT_EQ(findUserKey(users, "Bo"), users[0].key);
    EXPECT_EQ(findUserKey(users, "BOB"), users[1].key);  // case is ignored when nothing matches exactly
    EXPECT_TRUE(failureOf([&] { findUserKey(users, "3f0a"); }).contains("several"));
    EXPECT_EQ(findUserKey(users, "3F0A 91"), users[0].key);
    EXPECT_EQ(findUserKey(users, fingerprint(users[2].key)), users[2].key);

    // Composed and decomposed accents, and full case folding ("ß" is "ss").
    const QList<User> accented{user("Zo\u00eb", "aaaa"), user("Stra\u00dfe", "bbbb")};
    EXPECT_EQ(findUserKey(accented, "Zoe\u0308"), accented[0].key);
    EXPECT_EQ(findUserKey(accented, "ZOE\u0308"), accented[0].key);
    EXPECT_EQ(findUserKey(accented, "STRASSE"), accented[1].key);

    EXPECT_TRUE(failureOf([&] { findUserKey(users, "3f0"); }).contains("no user"));
    EXPECT_TRUE(failureOf([&] { findUserKey(users, "9999"); }).contains("no user"));

    // Two people of one name need a fingerprint.
    const QList<User> twins{user("Sam", "1111"), user("Sam", "2222")};
    const QString message = failureOf([&] { findUserKey(twins, "Sam"); });
    EXPECT_TRUE(message.contains("1111")) << message.toStdString();
    EXPECT_TRUE(message.contains("2222")) << message.toStdString();
    EXPECT_EQ(findUserKey(twins, "2222"), twins[1].key);
}

TEST(FindRecord, ByIdOrUniquePrefix)
{
    QList<FileRow> files;
    for (const char* id : {"{12345678-0000-4000-8000-000000000001}", "{12345678-0000-4000-8000-000000000002}",
                           "{abcdef00-0000-4000-8000-000000000003}"}) {
        FileRow row;
        row.id = QUuid::fromString(QLatin1String(id));
        row.name = "f";
        files.append(row);
    }
    EXPECT_EQ(findRecordId(files, "ABCDEF"), files[2].id);
    EXPECT_EQ(findRecordId(files, "{12345678-0000-4000-8000-000000000002}"), files[1].id);
    EXPECT_EQ(findRecordId(files, "12345678-0000-4000-8000-000000000001"), files[0].id);
    EXPECT_TRUE(failureOf([&] { findRecordId(files, "1234"); }).contains("2 records"));
    EXPECT_TRUE(failureOf([&] { findRecordId(files, "ffff"); }).contains("no record"));
}

}  // namespace
