#include "app/shell/appoptions.h"
#include "app/shell/fileselection.h"
#include "app/files/fileactions.h"
#include "app/shell/icons.h"

#include <gtest/gtest.h>

using vortan::KeyStoreChoice;

using namespace brenvo;

namespace {

const QUuid a = QUuid::fromString("0b8a5c1e-6f0e-4a57-9d0e-2f1c3a4b5c6d");
const QUuid b = QUuid::fromString("1c9b6d2f-7a1f-4b68-8e1f-3a2d4b5c6d7e");

TEST(FileSelectionUrl, OnlyTheLastPathComponentCounts)
{
    const struct {
        const char* url;
        QList<QUuid> ids;
    } cases[] = {
        {"brenvo://file/0B8A5C1E-6F0E-4A57-9D0E-2F1C3A4B5C6D,1c9b6d2f-7a1f-4b68-8e1f-3a2d4b5c6d7e", {a, b}},
        {"brenvo://file/,0b8a5c1e-6f0e-4a57-9d0e-2f1c3a4b5c6d,,nonsense", {a}},
        {"other://host/a/b/1c9b6d2f-7a1f-4b68-8e1f-3a2d4b5c6d7e", {b}},
        {"brenvo://file/", {}},
        {"brenvo://file/1c9b6d2f-7a1f-4b68-8e1f-3a2d4b5c6d7e/", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fileIdsFromUrl(QUrl(QString::fromUtf8(c.url))), c.ids) << c.url;
    EXPECT_EQ(fileIdsFromUrl(fileSelectionUrl({a, b})), (QList<QUuid>{a, b}));
}

TEST(FileSelectionWindow, TheOnlyWindowOrTheActiveOneShowingTheUser)
{
    SceneController first, second;
    const QByteArray alice(32, 'a'), bob(32, 'b');
    EXPECT_EQ(windowForFiles({}, alice), nullptr);
    EXPECT_EQ(windowForFiles({&first}, alice), &first);  // whatever it shows

    first.setSelectedUser(alice);
    second.setSelectedUser(alice);
    first.setPhase(SceneController::Phase::background);
    second.setPhase(SceneController::Phase::active);
    EXPECT_EQ(windowForFiles({&first, &second}, alice), &second);
    EXPECT_EQ(windowForFiles({&first, &second}, bob), nullptr);
    second.setPhase(SceneController::Phase::inactive);
    EXPECT_EQ(windowForFiles({&first, &second}, alice), nullptr);
}

TEST(AppArguments, LinksCardsAndOptions)
{
    const auto parsed = parseAppArguments({"brenvo", "--data-dir", "/d", "--key-store", "file", "brenvo://file/x",
                                           "/tmp/Alice.bcard", "file:///tmp/Bob.bcard"});
    const AppOptions* options = std::get_if<AppOptions>(&parsed);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->supportDirectory, "/d");
    EXPECT_EQ(options->keyStore, KeyStoreChoice::file);
    EXPECT_EQ(options->urls, QStringList{"brenvo://file/x"});
    EXPECT_EQ(options->cards, (QStringList{"/tmp/Alice.bcard", "/tmp/Bob.bcard"}));
    EXPECT_FALSE(options->background);
    EXPECT_TRUE(std::get<AppOptions>(parseAppArguments({"brenvo", "--background"})).background);

    const auto bad = parseAppArguments({"brenvo", "--key-store", "x"});
    ASSERT_TRUE(std::holds_alternative<AppUsage>(bad));
    EXPECT_EQ(std::get<AppUsage>(bad).status, 2);
}

TEST(Icons, EveryNameResolvesInTheFallbackTheme)
{
    chooseIconTheme();
    QStringList names = icons::themed();
    for (RowButton button : {RowButton::preview, RowButton::reveal, RowButton::pause, RowButton::download,
                             RowButton::upload, RowButton::done})
        names.append(rowButtonIconName(button));
    for (const char* name : {kDeleteIconName, kAddIconName, kRemoveIconName, kGenericFileIconName})
        names.append(QString::fromLatin1(name));
    // The card's Share menu.
    names << "mail-message-new"
          << "edit-copy"
          << "smartphone";
    for (const QString& name : names)
        EXPECT_TRUE(QIcon::hasThemeIcon(name)) << name.toStdString() << " in " << QIcon::themeName().toStdString();
}

}  // namespace
