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

    // Written as earlier versions wrote them, so that their files still load.
    settings.listen.set(false);
    settings.keepRunning.set(false);
    settings.startAtLogin.set(true);
    settings.proposedAddress.set("ann.example.net");
    settings.downloadLocation.set(DownloadLocationSetting::other("/media/In"));
    settings.sync();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    for (const char* line : {"\nListen=false\n", "\nKeepRunning=false\n", "\nStartAtLogin=true\n",
                             "\nProposedAddress=ann.example.net\n", "\nDownloadLocation=/media/In\n"})
        EXPECT_TRUE(text.contains(line)) << line << text.toStdString();
    EXPECT_FALSE(AppSettings(path).listen());
    EXPECT_FALSE(AppSettings(path).keepRunning());
    EXPECT_TRUE(AppSettings(path).startAtLogin());
    // An empty address removes the key.
    settings.proposedAddress.set({});
    EXPECT_FALSE(QSettings(path, QSettings::IniFormat).contains("ProposedAddress"));

    // Windows come back; uninstalling removes the file.
    const QList<AppSettings::Window> windows{{QByteArray("geo1"), QByteArray(32, 'k')}, {QByteArray("geo2"), {}}};
    settings.windows.set(windows);
    settings.sync();
    EXPECT_EQ(AppSettings(path).windows(), windows);
    settings.removeAll();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(settings.windows().isEmpty());
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

}  // namespace
