#include "app/settings/settingsview.h"
#include "tests/app/support/scripteddialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>

using vortan::ListenerState;
using vortan::NetworkError;
using vortan::Reachability;
using vortan::VortanError;

using namespace brenvo;

namespace {

struct SettingsViewTest : ::testing::Test {
    QTemporaryDir dir;
    AppSettings settings{dir.filePath("Brenvo.conf")};
    QList<std::pair<bool, bool>> changes;
    test::ScriptedDialogs dialogs;
    SettingsView view{settings, dialogs, [this](bool listen, bool mapPort) { changes.append({listen, mapPort}); }};
    QCheckBox* box(const QString& text)
    {
        for (QCheckBox* b : view.findChildren<QCheckBox*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
    void pick(const QString& raw)
    {
        QComboBox* picker = view.locationPicker();
        const int index = picker->findData(raw);
        picker->setCurrentIndex(index);
        emit picker->activated(index);
    }
};

TEST_F(SettingsViewTest, ListenOffGreysTheRouterSwitchAndKeepsItsValue)
{
    QCheckBox* listen = box("Listen for incoming connections");
    QCheckBox* mapPort = box("Ask router to forward connections");
    ASSERT_TRUE(listen && mapPort);
    EXPECT_TRUE(listen->isChecked());
    EXPECT_TRUE(mapPort->isChecked());
    EXPECT_EQ(view.locationPicker()->currentData().toString(), "Downloads");

    listen->click();
    EXPECT_FALSE(mapPort->isEnabled());
    EXPECT_FALSE(mapPort->isChecked());
    EXPECT_TRUE(settings.mapPort());
    listen->click();
    EXPECT_TRUE(mapPort->isChecked());
    mapPort->click();
    EXPECT_EQ(changes, (QList<std::pair<bool, bool>>{{false, true}, {true, true}, {true, false}}));

    box("Check for updates automatically")->click();
    EXPECT_FALSE(settings.checkForUpdates());
    box("Keep running when the window is closed")->click();
    EXPECT_FALSE(settings.keepRunning());
    EXPECT_EQ(changes.size(), 3);
}

TEST_F(SettingsViewTest, StartAtLoginShowsWhatTheEntryIsAndAFailureChangesNothing)
{
    QCheckBox* login = box("Start Brenvo when you log in");
    ASSERT_TRUE(login);
    EXPECT_TRUE(login->isHidden());  // nobody to write the entry
    bool entry = true;  // found on disk, though the setting says off
    std::optional<QString> failure;
    view.setLoginStart({[&] { return entry; }, [&](bool on) {
                            if (!failure)
                                entry = on;
                            return failure;
                        }});
    EXPECT_FALSE(login->isHidden());
    EXPECT_TRUE(login->isChecked());

    login->click();
    EXPECT_FALSE(entry);
    EXPECT_FALSE(settings.startAtLogin());
    failure = QStringLiteral("Permission denied");
    dialogs.answer("OK");
    login->click();
    EXPECT_FALSE(login->isChecked());
    EXPECT_FALSE(settings.startAtLogin());
    ASSERT_EQ(dialogs.asked.size(), 1);
    EXPECT_EQ(dialogs.asked[0].question.alert.informativeText, "Permission denied");
}

TEST_F(SettingsViewTest, OtherChoosesAFolderAndCancelKeepsThePreviousChoice)
{
    pick("Ask");
    EXPECT_EQ(settings.downloadLocation(), DownloadLocationSetting::ask());

    dialogs.choose({});  // cancelled
    pick("Other");
    QTRY_COMPARE_WITH_TIMEOUT(view.locationPicker()->currentData().toString(), "Ask", 2000);
    EXPECT_EQ(settings.downloadLocation(), DownloadLocationSetting::ask());

    dialogs.choose({downloadsDirectory()});
    pick("Other");
    QTRY_VERIFY_WITH_TIMEOUT(settings.downloadLocation() == DownloadLocationSetting::downloads(), 2000);

    dialogs.choose({dir.path()});
    pick("Other");
    QTRY_VERIFY_WITH_TIMEOUT(settings.downloadLocation() == DownloadLocationSetting::other(dir.path()), 2000);
    // The chosen folder is now the picker's first entry, and selected.
    EXPECT_EQ(view.locationPicker()->currentIndex(), 0);
}

TEST_F(SettingsViewTest, HowOthersReachYouTellsTheStatesAndEditsThePort)
{
    using Router = Reachability::Router;
    using Presence = Reachability::Presence;
    using Tor = Reachability::Tor;
    const auto failed = [](int code) { return ListenerState::failed(VortanError::network(NetworkError::posix(code))); };
    const auto label = [&](const char* name) { return view.findChild<QLabel*>(name)->text(); };
    const struct {
        ListenerState listener;
        Reachability reachability;
        const char* listening;
        const char* router;
        const char* presence;
        const char* tor;
    } cases[] = {
        {ListenerState::ready(), {Router::forwarded, "203.0.113.5", {}, Presence::on, Tor::ready, 100, {}},
         "Listening on port 54322", "Forwarding port 54322 to this machine; your address on the internet is 203.0.113.5",
         "Others on your network can find you", "ready"},
        {failed(EADDRINUSE), {Router::failed, {}, "no IGD found", Presence::noResponder, Tor::starting, 45, {}},
         "Port 54322 is in use by another program", "No forwarding: no IGD found",
         "No mDNS responder (avahi-daemon) is running; others on your network can't find you automatically.",
         "connecting, 45 %"},
        {failed(EACCES), {Router::searching, {}, {}, Presence::off, Tor::notInstalled, 0, {}},
         "Not listening: Permission denied", "Asking the router…", "Off", "tor is not installed"},
        {ListenerState::stopped(), {}, "Not listening", "Not asked to forward connections", "Off", "off"},
    };
    for (const auto& c : cases) {
        view.setReach({c.listener, 54322, c.reachability, {}, false});
        EXPECT_EQ(label("listenerState"), c.listening);
        EXPECT_EQ(label("routerState"), c.router);
        EXPECT_EQ(label("presenceState"), c.presence);
        EXPECT_EQ(label("torState"), c.tor);
    }
    // Turned off, the switches are told as they are, whatever the last state.
    view.setReach({ListenerState::ready(), 54322, {Router::forwarded, "203.0.113.5", {}, Presence::on, Tor::ready, 100, {}},
                   {}, false});
    box("Listen for incoming connections")->click();
    EXPECT_EQ(label("listenerState"), "Not listening");
    EXPECT_EQ(label("routerState"), "Not asked to forward connections");
    box("Listen for incoming connections")->click();

    // A new port is handed on once; nothing usable puts the port back.
    QList<std::uint16_t> ports;
    view.setPortChange([&](std::uint16_t port) { ports.append(port); });
    auto* port = view.findChild<QLineEdit*>("listeningPort");
    EXPECT_EQ(port->text(), "54322");
    for (const char* typed : {"54323", "54322", "70000", "0"}) {
        port->setText(typed);
        emit port->editingFinished();
    }
    EXPECT_EQ(ports, QList<std::uint16_t>{54323});
    EXPECT_EQ(port->text(), "54322");
    // Typed and Return: applied, and the window stays to tell how it went.
    view.show();
    port->setFocus();
    port->selectAll();
    QTest::keyClicks(port, "54324");
    QTest::keyClick(port, Qt::Key_Return);
    EXPECT_EQ(ports, (QList<std::uint16_t>{54323, 54324}));
    EXPECT_TRUE(view.isVisible());

    QCheckBox* automatic = box("Connect automatically");
    ASSERT_TRUE(automatic);
    EXPECT_TRUE(automatic->isChecked());
    automatic->click();
    EXPECT_FALSE(settings.connectAutomatically());
    EXPECT_FALSE(AppSettings(settings.filePath()).connectAutomatically());

    // The address others use, and a card out of date.
    const auto shown = [&] { return view.findChild<QLabel*>("cardAddress")->text(); };
    view.setReach({ListenerState::ready(), 54322, {}, "2a01:4f8:c17:1::2", true});
    EXPECT_EQ(shown(), "[2a01:4f8:c17:1::2]:54322 (proposed: confirm it with Share My Card…)");
    view.setReach({ListenerState::ready(), 40000, {}, "203.0.113.5", false});
    EXPECT_EQ(shown(), "203.0.113.5:40000");

    int shares = 0;
    view.setShareCard([&] { ++shares; });
    QWidget* outdated = view.findChild<QWidget*>("cardOutdated");
    EXPECT_FALSE(outdated->isVisibleTo(&view));
    settings.cardOutdated.set(true);
    ASSERT_TRUE(outdated->isVisibleTo(&view));
    outdated->findChild<QPushButton*>()->click();
    EXPECT_EQ(shares, 1);
}

}  // namespace
