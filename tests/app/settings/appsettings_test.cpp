#include "app/settings/appsettings.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using vortan::DownloadLocation;

using namespace brenvo;

namespace {

struct Settings : ::testing::Test {
    QTemporaryDir dir;
    QString path = dir.filePath("Brenvo.conf");
};

TEST_F(Settings, SwitchesAreOnUnlessStoredAsFalse)
{
    {
        QSettings raw(path, QSettings::IniFormat);
        raw.setValue("Listen", "no");  // not a Boolean
        raw.setValue("MapPort", 0);
        raw.setValue("CheckForUpdates", false);
        raw.setValue("StartAtLogin", "yes");  // not a Boolean: the default, off
    }
    AppSettings settings(path);
    EXPECT_TRUE(settings.keepRunning());
    EXPECT_FALSE(settings.startAtLogin());
    EXPECT_FALSE(settings.backgroundNoticeShown());
    EXPECT_TRUE(settings.listen());
    EXPECT_TRUE(settings.mapPort());
    EXPECT_FALSE(settings.checkForUpdates());
    EXPECT_EQ(settings.downloadLocation(), DownloadLocationSetting::downloads());

    settings.setListen(false);
    settings.setKeepRunning(false);
    settings.setStartAtLogin(true);
    settings.sync();
    EXPECT_FALSE(AppSettings(path).listen());
    EXPECT_FALSE(AppSettings(path).keepRunning());
    EXPECT_TRUE(AppSettings(path).startAtLogin());
}

TEST(DownloadLocationSettingTest, RawValues)
{
    const struct {
        QString raw;
        DownloadLocationSetting setting;
    } cases[] = {
        {"Downloads", DownloadLocationSetting::downloads()},
        {"Ask", DownloadLocationSetting::ask()},
        {"Other", DownloadLocationSetting::otherMenuItem()},
        {"/media/disk/In", DownloadLocationSetting::other("/media/disk/In")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DownloadLocationSetting::fromRawValue(c.raw), c.setting) << c.raw.toStdString();
        EXPECT_EQ(c.setting.rawValue(), c.raw);
    }
    // From a notification: a folder when there is one, else the library's downloads.
    EXPECT_EQ(DownloadLocationSetting::ask().withoutDialog(), DownloadLocation::downloads());
    EXPECT_EQ(DownloadLocationSetting::other("/in").withoutDialog(),
              DownloadLocation::directory(QUrl::fromLocalFile("/in")));
    EXPECT_EQ(DownloadLocationSetting::downloads().withoutDialog(),
              DownloadLocation::directory(QUrl::fromLocalFile(downloadsDirectory())));
}

TEST_F(Settings, WindowsComeBackAndUninstallRemovesTheFile)
{
    const QList<AppSettings::Window> windows{{QByteArray("geo1"), QByteArray(32, 'k')}, {QByteArray("geo2"), {}}};
    {
        AppSettings settings(path);
        settings.setWindows(windows);
        settings.sync();
    }
    AppSettings settings(path);
    EXPECT_EQ(settings.windows(), windows);
    settings.removeAll();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(settings.windows().isEmpty());
}

}  // namespace
