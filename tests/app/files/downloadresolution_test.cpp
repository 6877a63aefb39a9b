#include "app/files/downloadresolution.h"

#include "app/settings/downloadlocationsetting.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using vortan::DownloadLocation;
using vortan::FileRow;
using vortan::ResumeItem;

using namespace brenvo;

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
    QStringList saveFolders;
    int folderChoosers = 0;

    DownloadDialogs get()
    {
        return {[this](QWidget*, const QString& folder, const QString& name,
                       std::function<void(std::optional<QString>)> done) {
                    saveFolders.append(folder);
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
    EXPECT_EQ(dialogs.saveFolders, QStringList{downloadsDirectory()});
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

// A peer names its files; the save dialog must not be led out of its folder.
TEST(DownloadResolution, HostileNamesStayOneNameInTheFolderShown)
{
    const struct {
        QString shown;     // the name as the list shows it (a peer's ":" as "/")
        QString proposed;  // what the save dialog offers
    } names[] = {
        {"../x.txt", "..:x.txt"},
        {"//abs/path/x", "::abs:path:x"},
        {"..", ""},
        {".", ""},
        {"a\nb\x01.txt", "a_b_.txt"},
        {"plain.txt", "plain.txt"},
    };
    for (const auto& n : names)
        EXPECT_EQ(proposedFileName(n.shown), n.proposed) << n.shown.toStdString();

    const struct {
        QString chosen;
        std::optional<QString> accepted;
    } paths[] = {
        {"/in/x.txt", "/in/x.txt"},
        {"/in/..:x.txt", "/in/..:x.txt"},
        {"/in/sub/../y.txt", "/in/y.txt"},
        {"/in/../x.txt", std::nullopt},
        {"/in/sub/x.txt", std::nullopt},
        {"/abs/path/x", std::nullopt},
        {"/in/", std::nullopt},
        {"/in/..", std::nullopt},
        {"/in", std::nullopt},
        {"x.txt", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& p : paths)
        EXPECT_EQ(oneNameIn("/in", p.chosen), p.accepted) << p.chosen.toStdString();
    EXPECT_EQ(oneNameIn("/", "/x"), "/x");
}

// The system dialogs say what they do, and the save dialog refuses a name
// leading out of its folder.
TEST(DownloadResolution, TheSystemDialogsSayWhatTheyDoAndKeepToTheirFolder)
{
    QTemporaryDir root;
    const QString folder = QDir(root.path()).filePath("in");
    ASSERT_TRUE(QDir().mkpath(folder));
    QWidget window;
    window.show();
    const std::unique_ptr<brenvo::Dialogs> shown = makeWindowDialogs();
    const DownloadDialogs dialogs = downloadDialogs(*shown);
    int answers = 0;
    std::optional<QString> answer = "unset";
    const auto done = [&](std::optional<QString> path) {
        ++answers;
        answer = path;
    };

    dialogs.saveFile(&window, folder, "..:x.txt", done);
    auto* save = window.findChild<QFileDialog*>();
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->windowTitle(), "Download");
    EXPECT_EQ(save->labelText(QFileDialog::Accept), "Download");
    EXPECT_EQ(save->labelText(QFileDialog::FileName), "Download as:");
    EXPECT_EQ(save->nameFilters(), QStringList{"*.txt"});
    EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(save->windowModality(), Qt::WindowModal);
    EXPECT_EQ(save->directory().absolutePath(), folder);
    EXPECT_EQ(save->selectedFiles(), QStringList{folder + "/..:x.txt"});

    // Typed into the name field, as a person would.
    auto* name = save->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    for (const QString& typed : {QString("../x.txt"), root.filePath("x.txt"), QString("sub/../../x.txt")}) {
        name->setText(typed);
        QMetaObject::invokeMethod(save, "accept");  // as the Download button does
        EXPECT_EQ(answers, 0) << typed.toStdString();
        EXPECT_TRUE(save->isVisible());
        auto* refusal = save->findChild<QMessageBox*>();
        ASSERT_NE(refusal, nullptr);
        EXPECT_EQ(refusal->text(), "Type one name for the file in the folder shown.");
        refusal->close();
        QTRY_VERIFY(save->findChild<QMessageBox*>() == nullptr);
    }
    EXPECT_FALSE(QFile::exists(root.filePath("x.txt")));
    name->setText("fine.txt");
    QMetaObject::invokeMethod(save, "accept");
    EXPECT_EQ(answers, 1);
    EXPECT_EQ(answer, folder + "/fine.txt");
    QTRY_VERIFY(window.findChild<QFileDialog*>() == nullptr);

    dialogs.saveFile(&window, QDir::tempPath(), "report.pdf", done);
    save = window.findChild<QFileDialog*>();
    ASSERT_NE(save, nullptr);
    save->reject();
    EXPECT_EQ(answers, 2);
    EXPECT_FALSE(answer);
    QTRY_VERIFY(window.findChild<QFileDialog*>() == nullptr);

    dialogs.chooseFolder(&window, done);
    auto* chooser = window.findChild<QFileDialog*>();
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->windowTitle(), "Download");
    EXPECT_EQ(chooser->labelText(QFileDialog::LookIn), "Select the download location:");
    EXPECT_EQ(chooser->fileMode(), QFileDialog::Directory);
    EXPECT_EQ(chooser->directory().absolutePath(), downloadsDirectory());
    chooser->reject();
    EXPECT_EQ(answers, 3);
}

}  // namespace
