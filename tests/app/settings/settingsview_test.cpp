#include "app/settings/settingsview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace vortan;

namespace {

struct SettingsViewTest : ::testing::Test {
    QTemporaryDir dir;
    AppSettings settings{dir.filePath("Brenvo.conf")};
    QList<std::pair<bool, bool>> changes;
    SettingsView view{settings, [this](bool listen, bool mapPort) { changes.append({listen, mapPort}); }};
    std::optional<QString> chosenFolder;

    SettingsViewTest()
    {
        view.setFolderChooser([this](QWidget*, auto done) { done(chosenFolder); });
    }
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
    login->click();
    EXPECT_FALSE(login->isChecked());
    EXPECT_FALSE(settings.startAtLogin());
    QTRY_VERIFY_WITH_TIMEOUT(view.findChild<QMessageBox*>(), 2000);
}

TEST_F(SettingsViewTest, OtherChoosesAFolderAndCancelKeepsThePreviousChoice)
{
    pick("Ask");
    EXPECT_EQ(settings.downloadLocation(), DownloadLocationSetting::ask());

    chosenFolder.reset();
    pick("Other");
    QTRY_COMPARE_WITH_TIMEOUT(view.locationPicker()->currentData().toString(), "Ask", 2000);
    EXPECT_EQ(settings.downloadLocation(), DownloadLocationSetting::ask());

    chosenFolder = downloadsDirectory();
    pick("Other");
    EXPECT_EQ(settings.downloadLocation(), DownloadLocationSetting::downloads());

    chosenFolder = dir.path();
    pick("Other");
    EXPECT_EQ(settings.downloadLocation(), DownloadLocationSetting::other(dir.path()));
    // The chosen folder is now the picker's first entry, and selected.
    EXPECT_EQ(view.locationPicker()->currentIndex(), 0);
}

}  // namespace
