#include "app/cards/cardfiles.h"
#include "app/cards/shareview.h"
#include "app/cards/userdetailsview.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using vortan::User;

using namespace brenvo;

namespace {

using Kind = UserViewConfiguration::Kind;

QByteArray countingKey()
{
    QByteArray key;
    for (char i = 0; i < 32; ++i)
        key.append(i);
    return key;
}

template <class T>
T* named(QWidget& parent, const QString& accessibleName)
{
    for (T* child : parent.findChildren<T*>())
        if (child->accessibleName() == accessibleName)
            return child;
    return nullptr;
}

void type(QLineEdit* edit, const QString& text)
{
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Backspace);
    else
        QTest::keyClicks(edit, text);
}

TEST(UserDetailsViewTest, EditRulesAndFingerprint)
{
    const struct {
        const char* field;
        QString typed;
        User expected;
    } cases[] = {
        {"Name", "", User("Ada", "host", 80, countingKey())},
        {"Name", "Ada L", User("Ada L", "host", 80, countingKey())},
        {"Address", "", User("Ada", std::nullopt, 80, countingKey())},
        {"Port", "", User("Ada", "host", std::nullopt, countingKey())},
        {"Port", "70000", User("Ada", "host", std::nullopt, countingKey())},
        {"Port", "abc", User("Ada", "host", std::nullopt, countingKey())},
        {"Port", "-1", User("Ada", "host", std::nullopt, countingKey())},
        {"Port", "65535", User("Ada", "host", 65535, countingKey())},
    };
    for (const auto& c : cases) {
        UserDetailsView view({Kind::user, {User("Ada", "host", 80, countingKey())}, {}});
        view.show();
        EXPECT_EQ(view.findChild<QLabel*>("fingerprint")->text(),
                  "0001 0203 0405 0607 0809 0a0b 0c0d 0e0f 1011 1213 1415 1617 1819 1a1b 1c1d 1e1f");
        EXPECT_TRUE(view.findChild<QLabel*>("fingerprint")->textInteractionFlags() & Qt::TextSelectableByMouse);
        type(named<QLineEdit>(view, c.field), c.typed);
        QSignalSpy validated(&view, &UserDetailsView::validated);
        named<QPushButton>(view, "Update")->click();
        ASSERT_EQ(validated.count(), 1);
        EXPECT_EQ(validated.first().at(0).value<UserViewResult>().users, QList<User>{c.expected})
            << c.field << " " << c.typed.toStdString();
    }
    EXPECT_EQ(keyFingerprint({}), "");
    EXPECT_EQ(cardFileName("a/b"), "a:b.bcard");
}

TEST(UserDetailsViewTest, OwnCardWithoutAddressProposesThisMachinesAddresses)
{
    const QStringList suggestions{"192.168.1.20", "a&b"};
    UserDetailsView view({Kind::me, {User("Ada", std::nullopt, 80, countingKey())}, {}, suggestions});
    view.show();
    auto* proposal = view.findChild<QWidget*>("addressSuggestions");
    ASSERT_TRUE(proposal && proposal->isVisible());
    EXPECT_EQ(named<QLineEdit>(view, "Address")->placeholderText(), "None: others can't connect to you");
    auto* pick = named<QPushButton>(view, "Use address a&b");
    ASSERT_TRUE(pick);
    EXPECT_EQ(pick->text(), "a&&b");  // no mnemonic made of the host's name
    named<QPushButton>(view, "Use address 192.168.1.20")->click();
    EXPECT_FALSE(proposal->isVisible());
    type(named<QLineEdit>(view, "Address"), "");  // cleared again: proposed again
    EXPECT_TRUE(proposal->isVisible());
    named<QPushButton>(view, "Use address 192.168.1.20")->click();
    QSignalSpy validated(&view, &UserDetailsView::validated);
    named<QPushButton>(view, "Update")->click();
    ASSERT_EQ(validated.count(), 1);
    EXPECT_EQ(validated.first().at(0).value<UserViewResult>().users.first().address, "192.168.1.20");

    // Not with an address, nor for another person's card.
    UserDetailsView addressed({Kind::share, {User("Ada", "host", 80, countingKey())}, {}, suggestions});
    addressed.show();
    EXPECT_FALSE(addressed.findChild<QWidget*>("addressSuggestions")->isVisible());
    UserDetailsView other({Kind::user, {User("Bo", std::nullopt, 80, countingKey())}, {}, suggestions});
    EXPECT_EQ(other.findChild<QWidget*>("addressSuggestions"), nullptr);
}

TEST(UserDetailsViewTest, PagingButtonsAndHeaders)
{
    QList<User> three;
    for (char c : {'a', 'b', 'c'})
        three.append(User(QString(c), {}, {}, QByteArray(32, c)));
    UserDetailsView view({Kind::import, three, {}});
    view.show();
    auto* position = view.findChild<QLabel*>("position");
    auto* previous = named<QToolButton>(view, "Previous User");
    auto* next = named<QToolButton>(view, "Next User");
    EXPECT_EQ(position->text(), "1 of 3");
    EXPECT_FALSE(previous->isEnabled());
    next->click();
    EXPECT_EQ(position->text(), "2 of 3");
    EXPECT_EQ(named<QLineEdit>(view, "Name")->text(), "b");
    EXPECT_TRUE(view.findChild<QLabel*>("fingerprint")->text().startsWith("6262 6262"));
    next->click();
    EXPECT_FALSE(next->isEnabled());
    EXPECT_TRUE(previous->isEnabled());
    EXPECT_EQ(named<QPushButton>(view, "Import 3 users")->isDefault(), true);
    EXPECT_TRUE(view.findChild<QLabel*>("header")->text().startsWith("You can verify and edit"));

    const struct {
        Kind kind;
        const char* button;
        bool header;
    } kinds[] = {{Kind::user, "Update", false}, {Kind::me, "Update", false},
                 {Kind::import, "Import", true}, {Kind::share, "Share", true}};
    for (const auto& k : kinds) {
        UserDetailsView one({k.kind, {three.first()}, {}});
        EXPECT_EQ(one.findChild<QLabel*>("position"), nullptr);
        EXPECT_EQ(named<QToolButton>(one, "Next User"), nullptr);
        EXPECT_TRUE(named<QPushButton>(one, k.button)->isDefault()) << k.button;
        EXPECT_EQ(one.findChild<QLabel*>("header") != nullptr, k.header);
        QSignalSpy rejected(&one, &QDialog::rejected);
        one.show();
        QTest::keyClick(&one, Qt::Key_Escape);
        EXPECT_EQ(rejected.count(), 1);
    }
}

TEST(ShareViewTest, ShareNeedsASelection)
{
    const QList<User> users{User("Ada", {}, {}, QByteArray(32, 'a')), User("Bo", {}, {}, QByteArray(32, 'b'))};
    for (const QByteArray& preselected : {QByteArray(), QByteArray(32, 'b')}) {
        ShareView view(users, preselected, "Select the people to share with");
        view.show();
        QSignalSpy dismissed(&view, &ShareView::dismissed);
        auto* share = named<QPushButton>(view, "Share");
        auto* list = named<QListWidget>(view, "Recipients");
        EXPECT_GE(list->minimumWidth(), 250);
        EXPECT_EQ(share->isEnabled(), !preselected.isEmpty());
        list->item(0)->setSelected(true);
        EXPECT_TRUE(share->isEnabled());
        share->click();
        ASSERT_EQ(dismissed.count(), 1);
        QList<QByteArray> expected{users[0].key};
        if (!preselected.isEmpty())
            expected.append(preselected);
        EXPECT_EQ(dismissed.first().at(0).value<QList<QByteArray>>(), expected);
    }
}

}  // namespace
