#include "app/shell/personactions.h"
#include "app/shell/sidebardelegate.h"
#include "app/shell/sidebarmodel.h"
#include "app/shell/sidebaroffer.h"
#include "app/shell/sidebarview.h"
#include "app/shell/reasontext.h"
#include "tests/app/support/peers.h"
#include "tests/app/support/rows.h"
#include "tests/app/support/scripteddialogs.h"
#include "tests/support/testsupport.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>

#include <array>
#include <cerrno>
#include <memory>

#include <gtest/gtest.h>

using vortan::ConnectFailure;
using vortan::FileRow;
using vortan::NetworkError;
using vortan::User;
using vortan::VortanError;

using namespace brenvo;

namespace {

User person(const char* name, char key, User::State state = User::State::notConnected)
{
    User user(QString::fromUtf8(name), std::nullopt, std::nullopt, QByteArray(32, key));
    user.state = state;
    return user;
}

const User me = person("Me", 'm');

QStringList names(const QAbstractItemModel& model)
{
    QStringList result;
    for (int row = 0; row < model.rowCount(); ++row)
        result.append(model.index(row, 0).data().toString());
    return result;
}

struct Sidebar : ::testing::Test {
    SidebarView view;
    QSignalSpy selected{&view, &SidebarView::selectedKeyChanged};
    QAbstractItemModelTester tester{view.model(), QAbstractItemModelTester::FailureReportingMode::Fatal};

    void SetUp() override
    {
        view.resize(260, 400);
        view.show();
        view.activateWindow();
        view.setFocus();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&view));  // for the keys of the actions
    }
    QRect rectOf(const QByteArray& key) { return view.visualRect(view.sidebarModel()->indexOf(key)); }
    // Opens the row's context menu from the keyboard (Shift+F10, or the Menu
    // key when menuKey), triggers the entry trigger and returns the entries;
    // shown holds the menu's actions.
    QList<QAction*> shown;
    QStringList menuAt(const QByteArray& key, const QString& trigger = {}, bool menuKey = false)
    {
        view.selectKey(key);
        if (menuKey)
            QTest::keyClick(&view, Qt::Key_Menu);
        else
            QTest::keyClick(&view, Qt::Key_F10, Qt::ShiftModifier);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return {};
        shown = menu->actions();
        QStringList entries;
        QAction* chosen = nullptr;
        for (QAction* action : shown) {
            if (!action->isSeparator())
                entries.append(action->text());
            if (action->text() == trigger)
                chosen = action;
        }
        menu->close();
        if (chosen)
            chosen->trigger();
        return entries;
    }
};

TEST_F(Sidebar, ChangesKeepTheSelectionAndTouchOnlyTheirRows)
{
    const User ann = person("Ann", 'a'), bob = person("Bob", 'b'), cy = person("Cy", 'c');
    view.setUsers(me, {ann, bob, cy});
    view.selectKey(bob.key);
    ASSERT_EQ(selected.size(), 1);
    QSignalSpy reset(view.model(), &QAbstractItemModel::modelReset);
    QSignalSpy changed(view.model(), &QAbstractItemModel::dataChanged);

    User connectedBob = bob;
    connectedBob.state = User::State::connected;
    const User dee = person("Dee", 'd');
    view.setUsers(me, {connectedBob, cy, dee});  // Ann gone, Bob changed, Dee new
    EXPECT_EQ(names(*view.model()), (QStringList{"Me", "Bob", "Cy", "Dee"}));
    EXPECT_EQ(view.selectedKey(), bob.key);
    EXPECT_EQ(view.currentIndex().row(), 1);
    EXPECT_EQ(selected.size(), 1);  // nothing to report
    EXPECT_EQ(reset.size(), 0);
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 1);

    view.setUsers(me, {cy, dee});  // the selected user goes
    EXPECT_TRUE(view.selectedKey().isEmpty());
    ASSERT_EQ(selected.size(), 2);
    EXPECT_TRUE(selected[1][0].toByteArray().isEmpty());

    view.setUsers(me, {dee, cy});  // reordered: reset, still right
    EXPECT_EQ(names(*view.model()), (QStringList{"Me", "Dee", "Cy"}));
    view.setUsers(std::nullopt, {});
    EXPECT_EQ(view.model()->rowCount(), 0);
}

// Each state reads and shows exactly as it is; new files follow the state.
TEST_F(Sidebar, EveryStateIsShownAsItIs)
{
    const struct {
        User::State state;
        bool onNetwork;
        int newFiles;
        const char* description;
        bool mark;
    } cases[] = {
        {User::State::notConnected, false, 0, "Not connected", false},
        {User::State::notConnected, true, 0, "On your network", true},
        {User::State::connecting, true, 0, "Connecting…", false},
        {User::State::connected, false, 0, "Connected", true},
        {User::State::connecting, false, 1, "Connecting…, 1 new file", false},
        {User::State::connected, true, 3, "Connected, 3 new files", true},
        // The last failure, while not connected, and with its countdown.
        {User::State::notConnected, false, 1, "Not connected, 1 new file. Ann's card has no address: ask Ann for a new "
                                              "card — trying again in 40 s", false},
        {User::State::connected, false, 0, "Connected", true},
        // A connection that went: said so, until the next call's outcome.
        {User::State::notConnected, false, 0, "Not connected. The connection to Ann was lost", false},
    };
    for (const auto& c : cases) {
        // Bidirectional controls in a name are never shown.
        User ann = person("A\u202enn\u2066", 'a', c.state);
        ann.onLocalNetwork = c.onNetwork;
        const bool lost = QByteArray(c.description).contains("lost");
        if (lost)
            ann.error = VortanError::network(NetworkError::posix(ETIMEDOUT));
        if (QByteArray(c.description).contains("card") || c.state == User::State::connected)
            ann.failure = ConnectFailure{ConnectFailure::Reason::noAddress, {}, 0, std::nullopt,
                                         QDateTime::currentDateTimeUtc().addMSecs(39'500)};
        QList<FileRow> rows;
        for (int i = 0; i < c.newFiles; ++i)
            rows.append(test::fileRow(true, FileRow::Status::paused, 100, 0, 0, ann.key));
        view.setUsers(me, {ann});
        view.setFileRows(rows);
        const QModelIndex index = view.sidebarModel()->indexOf(ann.key);
        EXPECT_EQ(index.data(Qt::AccessibleDescriptionRole).toString(), QString::fromUtf8(c.description));
        EXPECT_EQ(index.data(Qt::AccessibleTextRole).toString(), "Ann");
        EXPECT_EQ(index.data(SidebarModel::StateTextRole).toString(),
                  ann.failure && c.state == User::State::notConnected ? QString("No address on the card")
                  : lost                                              ? QString("Connection lost")
                                                                      : SidebarModel::stateText(ann));
        EXPECT_EQ(index.data(SidebarModel::AvailableRole).toBool(), c.mark) << c.description;
        EXPECT_EQ(index.data(SidebarModel::NewFilesRole).toInt(), c.newFiles);
    }
    User connectedMe = me;
    connectedMe.state = User::State::connected;
    view.setUsers(connectedMe, {});
    const QModelIndex mine = view.model()->index(0, 0);
    EXPECT_EQ(mine.data(Qt::AccessibleDescriptionRole).toString(), "Me");
    EXPECT_FALSE(mine.data(SidebarModel::AvailableRole).toBool());
}

TEST(ReasonText, SaysWhatToDoAndWhenItTriesAgain)
{
    using Reason = ConnectFailure::Reason;
    const QLocale german(QLocale::German);
    const QDate day(2026, 12, 7);
    const QDateTime now = QDateTime(day, QTime(20, 55), Qt::LocalTime).toUTC();
    const auto in = [&](qint64 ms) { return std::optional<QDateTime>(now.addMSecs(ms)); };
    const auto posix = [](int code) { return std::optional<VortanError>(VortanError::network(NetworkError::posix(code))); };
    const std::optional<QDateTime> never;
    const struct {
        const char* name;
        ConnectFailure failure;
        const char* text;
        const char* detail;
        std::optional<QDateTime> changesAt;
    } cases[] = {
        {"Bob", {Reason::unreachable, "10.0.0.7", 54322, posix(ECONNREFUSED), never},
         "Bob is offline or unreachable at 10.0.0.7:54322", "Connection refused", never},
        {"Bob", {Reason::unreachable, "fd00::7", 1, std::nullopt, never},
         "Bob is offline or unreachable at [fd00::7]:1", "", never},
        {"Bob", {Reason::notAccepted, "10.0.0.7", 54322, posix(ECONNRESET), in(40'000)},
         "Bob did not accept the connection: has Bob imported your card? — trying again in 40 s",
         "Connection reset by peer", in(1'000)},
        // Rounded up; the text changes when the count drops.
        {"Bob", {Reason::noAddress, {}, 0, std::nullopt, in(40'200)},
         "Bob's card has no address: ask Bob for a new card — trying again in 41 s", "", in(200)},
        {"Bob", {Reason::noAddress, {}, 0, std::nullopt, in(600'000)},
         "Bob's card has no address: ask Bob for a new card — trying again at 21:05", "", in(540'000)},
        {"Bob", {Reason::unreachable, "h", 2, std::nullopt, in(-1)},
         "Bob is offline or unreachable at h:2 — trying again now", "", never},
        // A name is the card's words, never a placeholder or markup.
        {"<b>%2</b>", {Reason::notAccepted, "h", 2, std::nullopt, never},
         "<b>%2</b> did not accept the connection: has <b>%2</b> imported your card?", "", never},
    };
    for (const auto& c : cases) {
        const ReasonText reason = connectFailureText(QString::fromUtf8(c.name), c.failure, now, german);
        EXPECT_EQ(reason.text, QString::fromUtf8(c.text));
        EXPECT_EQ(reason.detail, QString::fromUtf8(c.detail)) << c.text;
        EXPECT_EQ(reason.changesAt, c.changesAt) << c.text;
    }
    EXPECT_EQ(listenerFailureText(54322, *posix(EADDRINUSE)),
              "Port 54322 is in use by another program: choose another port in Settings");
    EXPECT_EQ(listenerFailureText(80, *posix(EACCES)), "Brenvo cannot accept connections on port 80: Permission denied");
}

TEST(SidebarNewFiles, OnlyOffersNobodyActedOn)
{
    const QByteArray ann(32, 'a'), bob(32, 'b');
    auto row = [](const QByteArray& user, auto change) {
        FileRow r = test::fileRow(true, FileRow::Status::paused, 100, 0, 0, user);
        change(r);
        return r;
    };
    const QList<FileRow> rows = {
        row(ann, [](FileRow&) {}),
        row(ann, [](FileRow&) {}),
        row(bob, [](FileRow&) {}),
        row(ann, [](FileRow& r) { r.blockCount = 1; }),             // started
        row(ann, [](FileRow& r) { r.paused = false; }),             // resumed
        row(ann, [](FileRow& r) { r.download = false; }),           // ours
        row(ann, [](FileRow& r) { r.error = VortanError::other(QStringLiteral("gone")); }),
        row(ann, [](FileRow& r) { r.unavailable = true; }),
        row(ann, [](FileRow& r) { r.numberOfBlocks = 0; }),          // empty: done
    };
    const QHash<QByteArray, int> counts = SidebarModel::newFiles(rows);
    EXPECT_EQ(counts.value(ann), 2);
    EXPECT_EQ(counts.value(bob), 1);
}

// A name is never markup: the tooltip of a row or its pencil shows it as typed.
TEST_F(Sidebar, HostileNamesStayText)
{
    const User zoe = person(R"(<img src="/dev/zero">Zoe)", 'z');
    view.setUsers(me, {zoe});
    const QModelIndex index = view.sidebarModel()->indexOf(zoe.key);
    const QRect rect = view.visualRect(index);
    const auto pencil = SidebarDelegate::buttons(index, rect).first().second;
    for (const auto& [position, shown] : {std::pair{QPoint(rect.left() + 30, rect.center().y()),
                                                    zoe.name + " — Not connected"},
                                          std::pair{pencil.center(), "Edit " + zoe.name}}) {
        const QString tip = SidebarDelegate::toolTip(index, rect, position);
        EXPECT_FALSE(tip.contains("<img")) << tip.toStdString();
        QTextDocument document;
        document.setHtml(tip);
        EXPECT_EQ(document.toPlainText(), shown);
        // What hovering shows is that text.
        QHelpEvent hover(QEvent::ToolTip, position, view.viewport()->mapToGlobal(position));
        QApplication::sendEvent(view.viewport(), &hover);
        EXPECT_EQ(QToolTip::text(), tip);
    }
}

TEST_F(Sidebar, ButtonsTheContextMenuAndDrops)
{
    const User ann = person("Ann", 'a'), bob = person("Bob", 'b', User::State::connecting);
    view.setUsers(me, {ann, bob});
    QSignalSpy editMe(&view, &SidebarView::editMeRequested), shareMe(&view, &SidebarView::shareMeRequested),
        editUser(&view, &SidebarView::editUserRequested), remove(&view, &SidebarView::removeUserRequested),
        toggle(&view, &SidebarView::connectionToggleRequested),
        shareFiles(&view, &SidebarView::shareFilesRequested);

    // The pencil of Bob's row: edits Bob and leaves the selection alone.
    const QModelIndex bobRow = view.sidebarModel()->indexOf(bob.key);
    const auto bobButtons = SidebarDelegate::buttons(bobRow, view.visualRect(bobRow));
    ASSERT_EQ(bobButtons.size(), 1);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, bobButtons[0].second.center());
    ASSERT_EQ(editUser.size(), 1);
    EXPECT_EQ(editUser[0][0].toByteArray(), bob.key);
    EXPECT_TRUE(view.selectedKey().isEmpty());
    const QModelIndex mine = view.model()->index(0, 0);
    for (const auto& [button, area] : SidebarDelegate::buttons(mine, view.visualRect(mine)))
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, area.center());
    EXPECT_EQ(editMe.size(), 1);
    EXPECT_EQ(shareMe.size(), 1);

    menuAt(ann.key, "Share Files…", true);
    ASSERT_EQ(shareFiles.size(), 1);
    EXPECT_EQ(shareFiles[0][0].toByteArray(), ann.key);
    menuAt(bob.key, "Disconnect");
    ASSERT_EQ(toggle.size(), 1);
    EXPECT_EQ(toggle[0][0].toByteArray(), bob.key);

    QTest::keyClick(&view, Qt::Key_Delete);
    ASSERT_EQ(remove.size(), 1);
    EXPECT_EQ(remove[0][0].toByteArray(), bob.key);
    view.selectKey(me.key);
    QTest::keyClick(&view, Qt::Key_Delete);  // the own card cannot go
    EXPECT_EQ(remove.size(), 1);

    // Cards import wherever they land; other files go to the person they are
    // dropped on, and nowhere else.
    QSignalSpy cards(&view, &SidebarView::cardsDropped), files(&view, &SidebarView::filesDroppedOnUser);
    const QList<QUrl> urls = {QUrl::fromLocalFile("/x/Bob.BCARD"), QUrl::fromLocalFile("/x/notes.txt"),
                              QUrl("https://example.org/a.txt")};
    auto drop = [&](QPoint at) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(view.viewport(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent event(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(view.viewport(), &event);
    };
    drop(rectOf(ann.key).center());
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(files[0][0].toByteArray(), ann.key);
    EXPECT_EQ(files[0][1].value<QList<QUrl>>(), QList<QUrl>{QUrl::fromLocalFile("/x/notes.txt")});
    ASSERT_EQ(cards.size(), 1);
    EXPECT_EQ(cards[0][0].toStringList(), QStringList{"/x/Bob.BCARD"});

    drop(view.visualRect(view.model()->index(0, 0)).center());  // on me
    drop(QPoint(10, view.viewport()->height() - 5));          // below the rows
    EXPECT_EQ(files.size(), 1);
    EXPECT_EQ(cards.size(), 3);
}

// The person commands are made once: the selection and the user's state
// switch them on and word them, and every menu shows those same actions.
TEST_F(Sidebar, PersonActionsFollowTheSelectionAndTheState)
{
    const User ann = person("Ann", 'a'), bob = person("Bob", 'b', User::State::connecting);
    view.setUsers(me, {ann, bob});
    const PersonActions& a = *view.personActions();
    const QList<QAction*> actions = view.findChildren<QAction*>();
    const struct {
        QByteArray select;
        User::State annState;  // applied before selecting
        const char* connection;
        std::array<bool, 5> enabled;  // connection, share files, edit, share my card, delete
    } cases[] = {
        {{}, User::State::notConnected, "Connect", {false, false, false, false, false}},
        {me.key, User::State::notConnected, "Connect", {false, false, true, true, false}},
        {ann.key, User::State::notConnected, "Connect", {true, true, true, false, true}},
        {ann.key, User::State::connected, "Disconnect", {true, true, true, false, true}},  // Ann connects
        {bob.key, User::State::connected, "Disconnect", {true, true, true, false, true}},
        {ann.key, User::State::notConnected, "Connect", {true, true, true, false, true}},
    };
    for (const auto& c : cases) {
        User changed = ann;
        changed.state = c.annState;
        view.setUsers(me, {changed, bob});
        view.selectKey(c.select);
        const std::array<bool, 5> enabled = {a.connection->isEnabled(), a.shareFiles->isEnabled(), a.edit->isEnabled(),
                                             a.shareMyCard->isEnabled(), a.remove->isEnabled()};
        EXPECT_EQ(enabled, c.enabled) << c.connection << " " << c.select.left(1).constData();
        EXPECT_EQ(a.connection->text(), c.connection);
        if (c.select.isEmpty())
            continue;
        // Twice, to see that opening makes nothing new.
        const QStringList texts = menuAt(c.select);
        const QList<QAction*> first = shown;
        EXPECT_EQ(menuAt(c.select), texts);
        EXPECT_EQ(shown, first);
        for (QAction* entry : shown)
            EXPECT_TRUE(entry->isSeparator() || actions.contains(entry)) << entry->text().toStdString();
        EXPECT_EQ(texts, (c.select == me.key
                              ? QStringList{"Edit…", "Share My Card…"}
                              : QStringList{c.connection, "Share Files…", "Share Folder…", "Edit…", "Delete"}));
    }
    EXPECT_EQ(view.findChildren<QAction*>(), actions);
    view.setUsers(me, {bob});  // the selected user goes: nothing to act on
    EXPECT_FALSE(a.remove->isEnabled());
    EXPECT_FALSE(a.edit->isEnabled());
}

// Dropped on a person: the files and folders are offered to that person
// only, read off the main thread.
TEST(SidebarOffer, SharesWithThePersonDroppedOn)
{
    test::Peer peer("Me");
    const User ann = person("Ann", 'a'), bob = person("Bob", 'b');
    peer.controller->addUsers({ann, bob});
    const QUrl file = peer.makeFile("notes.txt", 100);
    ASSERT_TRUE(QDir(peer.files.path()).mkpath("Holiday"));
    peer.makeFile("Holiday/a.jpg", 10);
    QWidget window;
    test::ScriptedDialogs dialogs;  // nothing fails: nothing to ask
    offerFilesToUser(&window, *peer.controller, dialogs, {file, QUrl::fromLocalFile(peer.files.filePath("Holiday"))},
                     ann.key);
    peer.controller->publishNow();
    EXPECT_TRUE(peer.controller->fileRows().isEmpty());
    ASSERT_TRUE(vortan::test::waitFor([&] {
        peer.controller->publishNow();
        return !peer.controller->fileRows().isEmpty();
    }));
    const QList<FileRow>& rows = peer.controller->fileRows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].name, "notes.txt");
    EXPECT_EQ(rows[1].name, "Holiday/a.jpg");
    for (const FileRow& row : rows) {
        EXPECT_EQ(row.user, ann.key);
        EXPECT_FALSE(row.download);
    }
}

}  // namespace
