#include "app/files/downloadresolution.h"

#include <QFileDialog>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using namespace vortan;

namespace {

FileRow download(const QString& name)
{
    FileRow row;
    row.id = QUuid::createUuid();
    row.name = name;
    row.download = true;
    row.paused = true;
    return row;
}

// Dialogs that record what was asked and answer with a prepared path.
struct Dialogs {
    std::optional<QString> answer;
    QStringList saveNames;
    int folderChoosers = 0;

    DownloadDialogs get()
    {
        return {[this](QWidget*, const QString& name, std::function<void(std::optional<QString>)> done) {
                    saveNames.append(name);
                    done(answer);
                },
                [this](QWidget*, std::function<void(std::optional<QString>)> done) {
                    ++folderChoosers;
                    done(answer);
                }};
    }
};

TEST(DownloadResolution, AskingForOneFileAndForSeveral)
{
    const QList<FileRow> one{download("photo.jpg")};
    const QList<FileRow> three{download("a"), download("b"), download("c")};
    const auto resolve = [](const QList<FileRow>& rows, const DownloadLocationSetting& setting, Dialogs& dialogs) {
        std::optional<QList<ResumeItem>> resumed;
        resolveDownloads(rows, setting, nullptr, dialogs.get(), [&](QList<ResumeItem> items) { resumed = items; });
        return resumed;
    };

    Dialogs dialogs;
    dialogs.answer = "/in/holiday.jpg";
    auto resumed = resolve(one, DownloadLocationSetting::ask(), dialogs);
    EXPECT_EQ(dialogs.saveNames, QStringList{"photo.jpg"});
    ASSERT_TRUE(resumed && resumed->size() == 1);
    EXPECT_EQ(resumed->front().location, DownloadLocation::file(QUrl::fromLocalFile("/in/holiday.jpg")));

    dialogs.answer = "/in";
    resumed = resolve(three, DownloadLocationSetting::ask(), dialogs);
    EXPECT_EQ(dialogs.folderChoosers, 1);
    ASSERT_TRUE(resumed && resumed->size() == 3);
    for (const ResumeItem& item : *resumed)
        EXPECT_EQ(item.location, DownloadLocation::directory(QUrl::fromLocalFile("/in")));

    dialogs.answer.reset();  // cancelled
    EXPECT_FALSE(resolve(one, DownloadLocationSetting::ask(), dialogs));
    EXPECT_FALSE(resolve(three, DownloadLocationSetting::ask(), dialogs));

    // Without asking.
    Dialogs none;
    resumed = resolve(three, DownloadLocationSetting::other("/media/in"), none);
    ASSERT_TRUE(resumed && resumed->size() == 3);
    EXPECT_EQ(resumed->back().location, DownloadLocation::directory(QUrl::fromLocalFile("/media/in")));
    resumed = resolve(one, DownloadLocationSetting::otherMenuItem(), none);
    ASSERT_TRUE(resumed && resumed->size() == 1);
    EXPECT_FALSE(resumed->front().location);
    EXPECT_TRUE(none.saveNames.isEmpty());
    EXPECT_EQ(none.folderChoosers, 0);
}

TEST(DownloadResolution, TheSystemDialogsSayWhatTheyDo)
{
    QWidget window;
    window.show();
    const DownloadDialogs dialogs = systemDownloadDialogs();
    int answers = 0;
    std::optional<QString> answer = "unset";
    const auto done = [&](std::optional<QString> path) {
        ++answers;
        answer = path;
    };

    dialogs.saveFile(&window, "report.pdf", done);
    auto* save = window.findChild<QFileDialog*>();
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->windowTitle(), "Download");
    EXPECT_EQ(save->labelText(QFileDialog::Accept), "Download");
    EXPECT_EQ(save->labelText(QFileDialog::FileName), "Download as:");
    EXPECT_EQ(save->nameFilters(), QStringList{"*.pdf"});
    EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(save->windowModality(), Qt::WindowModal);
    save->reject();
    EXPECT_EQ(answers, 1);
    EXPECT_FALSE(answer);
    QTRY_VERIFY(window.findChild<QFileDialog*>() == nullptr);

    dialogs.chooseFolder(&window, done);
    auto* folder = window.findChild<QFileDialog*>();
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->windowTitle(), "Download");
    EXPECT_EQ(folder->labelText(QFileDialog::LookIn), "Select the download location:");
    EXPECT_EQ(folder->fileMode(), QFileDialog::Directory);
    folder->reject();
    EXPECT_EQ(answers, 2);
}

}  // namespace
