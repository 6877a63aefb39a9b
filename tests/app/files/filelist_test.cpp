#include "app/files/fileactions.h"
#include "app/files/filelistmodel.h"
#include "app/files/filelistview.h"
#include "app/files/fileoffer.h"
#include "app/files/filerowdelegate.h"
#include "app/files/thumbnailscache.h"
#include "app/settings/appsettings.h"
#include "tests/app/support/peers.h"
#include "tests/app/support/rows.h"
#include "tests/support/testsupport.h"
#include "vortan/folderfiles.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QScopeGuard>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <memory>

using vortan::Controller;
using vortan::File2;
using vortan::FileRow;
using vortan::User;
using vortan::VortanError;

using namespace brenvo;
using brenvo::test::Peer;

namespace {

// Titles and child counts of the model's sections, top to bottom.
QList<std::pair<QString, int>> sections(const FileListModel& model)
{
    QList<std::pair<QString, int>> result;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex section = model.index(row, 0);
        result.append({section.data().toString(), model.rowCount(section)});
    }
    return result;
}

QList<QUuid> ids(const Controller& controller)
{
    QList<QUuid> result;
    for (const FileRow& row : controller.fileRows())
        result.append(row.id);
    return result;
}

// One controller offering files to a person it cannot reach.
struct Offers : ::testing::Test {
    Peer me{"Me"};
    QByteArray bea = QByteArray(32, 'b');

    void SetUp() override { me.controller->addUsers({User("Bea", std::nullopt, std::nullopt, bea)}); }
    void offer(int count, const QString& prefix = "f")
    {
        QList<File2> files;
        for (int i = 0; i < count; ++i)
            files.append(File2::at(me.makeFile(QStringLiteral("%1%2.txt").arg(prefix).arg(i), 10 + i)));
        me.controller->shareFiles(files, {bea});
        me.controller->publishNow();
    }
};

TEST_F(Offers, RowsKeepTheirIdentityAndOnlyChangedRowsAreSignalled)
{
    offer(5);
    FileListModel model(*me.controller);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setUser(bea);
    ASSERT_EQ(sections(model), (QList<std::pair<QString, int>>{{"Uploads", 5}}));
    const QList<QUuid> offered = ids(*me.controller);
    const QModelIndex uploads = model.index(0, 0);
    QItemSelectionModel selection(&model);
    selection.select(model.index(2, 0, uploads), QItemSelectionModel::Select);
    const QPersistentModelIndex kept = model.index(2, 0, uploads);

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy added(&model, &FileListModel::filesAdded);

    me.controller->pause({offered[3], offered[4]});
    me.controller->publishNow();
    ASSERT_EQ(changed.size(), 1);  // two neighbours in one signal
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 3);
    EXPECT_EQ(changed[0][1].toModelIndex().row(), 4);
    EXPECT_TRUE(inserted.isEmpty());
    EXPECT_TRUE(removed.isEmpty());

    // One publication removing the first file and adding one: both as such.
    changed.clear();
    me.controller->removeFiles({offered[0]}, bea);
    offer(1, "new");
    ASSERT_EQ(removed.size(), 1);
    EXPECT_EQ(removed[0][1].toInt(), 0);
    ASSERT_EQ(inserted.size(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 4);
    // The new one is pointed at and tinted for a moment; the others are not.
    ASSERT_EQ(added.size(), 1);
    EXPECT_EQ(added[0][0].toModelIndex(), model.index(4, 0, uploads));
    EXPECT_TRUE(model.index(4, 0, uploads).data(FileListModel::RecentRole).toBool());
    EXPECT_FALSE(model.index(3, 0, uploads).data(FileListModel::RecentRole).toBool());
    EXPECT_TRUE(changed.isEmpty());
    EXPECT_TRUE(reset.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!model.index(4, 0, uploads).data(FileListModel::RecentRole).toBool(),
                             FileListModel::kRecentMs + 5000);
    changed.clear();
    EXPECT_EQ(kept.row(), 1);
    EXPECT_EQ(model.idAt(kept), offered[2]);
    ASSERT_EQ(selection.selectedRows().size(), 1);
    EXPECT_EQ(model.idAt(selection.selectedRows().front()), offered[2]);

    // Another person's files are not listed, nor signalled.
    const QByteArray cleo(32, 'c');
    me.controller->addUsers({User("Cleo", std::nullopt, std::nullopt, cleo)});
    me.controller->shareFiles({File2::at(me.makeFile("c.txt", 1))}, {cleo});
    me.controller->publishNow();
    EXPECT_EQ(inserted.size(), 1);
    EXPECT_EQ(model.fileCount(), 5);

    model.setUser(cleo);
    EXPECT_EQ(model.fileCount(), 1);
    model.setUser(QByteArray(32, 'n'));
    EXPECT_EQ(model.rowCount(), 0);
}

// The rows below Uploads: a file by its name, a folder as "Name[its files]".
QString shownRows(const FileListModel& model)
{
    QStringList rows;
    const QModelIndex uploads = model.index(0, 0);
    for (int row = 0; row < model.rowCount(uploads); ++row) {
        const QModelIndex at = model.index(row, 0, uploads);
        QString text = at.data().toString();
        if (model.isFolder(at)) {
            QStringList files;
            for (int child = 0; child < model.rowCount(at); ++child)
                files.append(model.index(child, 0, at).data().toString());
            text += QStringLiteral("[") + files.join(QStringLiteral(", ")) + QStringLiteral("]");
        }
        rows.append(text);
    }
    return rows.join(QStringLiteral(", "));
}

TEST_F(Offers, FilesOfAFolderAreOneRowThatSumsThem)
{
    FileListModel model(*me.controller);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setUser(bea);
    const QUrl any = me.makeFile("any", 1000);
    const struct {
        QStringList shared;
        QStringList removed;
        QString rows;
    } steps[] = {
        {{"a.txt", "Holiday/1.jpg", "Holiday/sub/2.jpg", "b.txt", "Other/x"}, {},
         "a.txt, Holiday[1.jpg, sub/2.jpg], b.txt, Other[x]"},
        {{"Holiday/3.jpg", "c.txt"}, {}, "a.txt, Holiday[1.jpg, sub/2.jpg, 3.jpg], b.txt, Other[x], c.txt"},
        {{}, {"Other/x", "Holiday/1.jpg", "a.txt"}, "Holiday[sub/2.jpg, 3.jpg], b.txt, c.txt"},
        {{"Other/y", "Other/w", "/root.txt"}, {"Holiday/sub/2.jpg", "Holiday/3.jpg"},
         "b.txt, c.txt, Other[y, w], /root.txt"},
    };
    for (const auto& step : steps) {
        QList<File2> files;
        for (const QString& name : step.shared)
            files.append(File2(name, any, 1000));
        QList<QUuid> gone;
        for (const FileRow& row : me.controller->fileRows()) {
            if (step.removed.contains(row.name))
                gone.append(row.id);
        }
        me.controller->removeFiles(gone, bea);
        me.controller->shareFiles(files, {bea});
        me.controller->publishNow();
        EXPECT_EQ(shownRows(model), step.rows);
        FileListModel fresh(*me.controller);  // the same when listed at once
        fresh.setUser(bea);
        EXPECT_EQ(shownRows(fresh), step.rows);
    }
    // The folder row: the sum of its files; Delete on it takes them all.
    const QModelIndex other = model.index(2, 0, model.index(0, 0));
    EXPECT_EQ(other.data(FileListModel::DetailRole).toString(), "2 files, 2.0 kB \u2014 Waiting for Bea");
    EXPECT_TRUE(other.data(Qt::AccessibleTextRole).toString().startsWith("Folder Other, 2 files, 2.0 kB"));
    me.controller->shareFiles({File2("Other/z", any, 500)}, {bea});
    me.controller->publishNow();
    EXPECT_EQ(model.fileAt(other)->length, 2500);
    EXPECT_EQ(model.idsAt(other).size(), 3);
    me.controller->removeFiles(model.idsAt(other), bea);
    me.controller->publishNow();
    EXPECT_EQ(shownRows(model), "b.txt, c.txt, /root.txt");
}

TEST(FileActionFlagsTest, MixedSelectionsAndFailures)
{
    using Status = FileRow::Status;
    const auto row = [](bool download, Status status, bool transferred) {
        FileRow r = test::fileRow(download, status, 4, transferred ? 4 : 1);
        if (status == Status::failed)
            r.error = VortanError::other("Directory not empty");
        return r;
    };
    const FileRow pausedDownload = row(true, Status::paused, false);
    const FileRow runningDownload = row(true, Status::transferring, false);
    const FileRow finishedDownload = row(true, Status::done, true);
    // Every block is in, but the final move failed: not in place.
    const FileRow unmovedDownload = row(true, Status::failed, true);
    const FileRow pausedUpload = row(false, Status::paused, false);
    const FileRow sentUpload = row(false, Status::done, true);
    const FileRow failedUpload = row(false, Status::failed, false);
    const struct {
        QList<const FileRow*> targets;
        FileActionFlags flags;  // download, upload, pause, preview and reveal, retry
    } cases[] = {
        {{&pausedDownload}, {true, false, false, false, false}},
        {{&runningDownload, &pausedDownload}, {true, false, true, false, false}},
        {{&finishedDownload, &pausedDownload}, {true, false, false, true, false}},
        {{&pausedUpload}, {false, true, false, true, false}},
        {{&sentUpload, &runningDownload}, {false, false, true, true, false}},
        {{&unmovedDownload}, {false, false, false, false, true}},
        {{&failedUpload}, {false, false, false, true, true}},
        {{&pausedDownload, &pausedUpload, &runningDownload, &sentUpload, &unmovedDownload},
         {true, true, true, true, true}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fileActionFlags(c.targets), c.flags);
    EXPECT_EQ(rowButtons(unmovedDownload), QList<RowButton>{RowButton::retry});
    EXPECT_EQ(rowButtons(failedUpload), (QList<RowButton>{RowButton::preview, RowButton::reveal, RowButton::retry}));
    EXPECT_EQ(rowButtons(finishedDownload), (QList<RowButton>{RowButton::preview, RowButton::reveal, RowButton::done}));
}

TEST(FileListTexts, SizesRatesAndStatesInWords)
{
    using Status = FileRow::Status;
    const auto row = [](Status status, std::int64_t done, double rate, std::optional<std::int64_t> left) {
        FileRow r;
        r.name = "Field recordings.bin";
        r.download = true;
        r.status = status;
        r.paused = status == Status::paused;
        r.length = 2'100'000'000;
        r.numberOfBlocks = 16022;
        r.blockCount = done > 0 ? done / 131072 + 1 : 0;
        r.bytesDone = done;
        r.bytesPerSecond = rate;
        r.secondsLeft = left;
        return r;
    };
    const auto sent = [](FileRow r) {
        r.download = false;
        r.location = QUrl::fromLocalFile("/home/ann/Field recordings.bin");
        return r;
    };
    FileRow withdrawn = row(Status::queued, 34'500'000, 0, std::nullopt);
    withdrawn.unavailable = true;
    const struct {
        FileRow row;
        QString detail;
        QString spoken;  // the start of the accessible text
    } cases[] = {
        {row(Status::transferring, 34'500'000, 48'000'000, 42), "34.5 MB of 2.1 GB \u2014 48 MB/s, 42 s left",
         "Field recordings.bin, 34.5 MB of 2.1 GB, 48 MB/s, 42 s left. Pause (Ctrl+P)"},
        {row(Status::transferring, 34'500'000, 0, std::nullopt), "34.5 MB of 2.1 GB \u2014 Transferring",
         "Field recordings.bin, 34.5 MB of 2.1 GB, Transferring. Pause"},
        {row(Status::paused, 34'500'000, 0, std::nullopt), "34.5 MB of 2.1 GB \u2014 Paused",
         "Field recordings.bin, 34.5 MB of 2.1 GB, Paused. Download (Ctrl+D)"},
        {row(Status::queued, 0, 0, std::nullopt), "2.1 GB \u2014 Waiting for Bob",
         "Field recordings.bin, 2.1 GB, Waiting for Bob. Pause"},
        // Offered to us, nobody acted on it; withdrawn by its sender.
        {row(Status::paused, 0, 0, std::nullopt), "2.1 GB \u2014 Not downloaded",
         "Field recordings.bin, 2.1 GB, Not downloaded. Download (Ctrl+D)"},
        {withdrawn, "34.5 MB of 2.1 GB \u2014 Withdrawn by Bob",
         "Field recordings.bin, 34.5 MB of 2.1 GB, Withdrawn by Bob. Remove (Del)"},
        // The sending side.
        {sent(row(Status::transferring, 34'500'000, 48'000'000, 42)), "34.5 MB of 2.1 GB \u2014 48 MB/s, 42 s left",
         "Field recordings.bin, 34.5 MB of 2.1 GB, 48 MB/s, 42 s left. Preview (Space), Show in File Manager (Ctrl+R), "
         "Pause (Ctrl+P)"},
        {sent(row(Status::queued, 34'500'000, 0, std::nullopt)), "34.5 MB of 2.1 GB \u2014 Waiting for Bob",
         "Field recordings.bin, 34.5 MB of 2.1 GB, Waiting for Bob."},
    };
    EXPECT_EQ(rowButtons(withdrawn), QList<RowButton>{RowButton::remove});
    EXPECT_EQ(fileActionFlags({&withdrawn}), FileActionFlags{});
    for (const auto& c : cases) {
        EXPECT_EQ(FileListModel::detailText(c.row, "Bob"), c.detail);
        EXPECT_TRUE(FileListModel::accessibleText(c.row, "Bob").startsWith(c.spoken))
            << FileListModel::accessibleText(c.row, "Bob").toStdString();
    }
    const struct {
        std::int64_t seconds;
        QString text;
    } durations[] = {{0, "0 s left"}, {59, "59 s left"}, {89, "1 min left"}, {3569, "59 min left"},
                     {3570, "1 h 0 min left"}, {7500, "2 h 5 min left"}};
    for (const auto& d : durations)
        EXPECT_EQ(FileListModel::timeLeftText(d.seconds), d.text);
}

struct View : Offers {
    QTemporaryDir settingsDir;
    AppSettings settings{settingsDir.filePath("Brenvo.conf")};
    ThumbnailsCache thumbnails;
    QList<QByteArray> preselected;
    FileListServices services()
    {
        FileListServices s;
        s.chooseRecipients = [this](QWidget*, const QByteArray& user, std::function<void(QList<QByteArray>)> done) {
            preselected.append(user);
            done({bea});
        };
        return s;
    }
};

TEST_F(View, RightClickOutsideTheSelectionActsOnThatFileOnly)
{
    offer(4);
    FileListView view(*me.controller, settings, thumbnails, services());
    view.resize(500, 600);
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    view.setUser(bea);
    const QList<QUuid> offered = ids(*me.controller);
    view.selectFiles({offered[0], offered[1], offered[2]});
    EXPECT_EQ(view.selectedFiles(), (QSet<QUuid>{offered[0], offered[1], offered[2]}));

    auto* list = view.findChild<QTreeView*>();
    const QModelIndex fourth = list->model()->index(3, 0, list->model()->index(0, 0));
    const QPoint at = list->visualRect(fourth).center();
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &click);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    const auto entries = [](QMenu* menu) {
        QStringList shown;
        for (QAction* action : menu->actions()) {
            if (action->isVisible() && action->isEnabled())
                shown.append(action->text());
        }
        return shown;
    };
    EXPECT_EQ(entries(menu), (QStringList{"Pause", "Preview", "Show in File Manager", "Delete"}));
    const QList<QAction*> shown = menu->actions();
    (*std::find_if(shown.begin(), shown.end(), [](QAction* action) { return action->text() == "Pause"; }))->trigger();
    menu->close();
    QCoreApplication::processEvents();  // the menu forgets its targets once closed
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(me.row(offered[i])->paused, i == 3) << i;
    EXPECT_EQ(view.selectedFiles().size(), 3);
    QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);

    // The keys act on the selection.
    const QList<QAction*> keys = list->actions();
    const auto pause = std::find_if(keys.begin(), keys.end(), [](QAction* action) {
        return action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_P);
    });
    ASSERT_NE(pause, keys.end());
    (*pause)->trigger();
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(me.row(offered[i])->paused) << i;

    // Shift+F10 and the Menu key open the menu of the current row, for the
    // whole selection.
    for (const auto& [key, modifiers] :
         {std::pair(Qt::Key_F10, Qt::ShiftModifier), std::pair(Qt::Key_Menu, Qt::NoModifier)}) {
        view.activateWindow();  // the closed menu does not give it back offscreen
        QTRY_VERIFY(QApplication::activeWindow() == &view);
        list->setFocus();
        QTest::keyClick(list, key, modifiers);
        menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr) << key;
        EXPECT_EQ(entries(menu), (QStringList{"Upload", "Preview", "Show in File Manager", "Delete"}));
        menu->close();
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
    }

    // The − button withdraws the selection.
    QSignalSpy selection(&view, &FileListView::selectedFilesChanged);
    view.removeSelected();
    me.controller->publishNow();
    EXPECT_EQ(ids(*me.controller), QList<QUuid>{offered[3]});
    ASSERT_FALSE(selection.isEmpty());
    EXPECT_TRUE(view.selectedFiles().isEmpty());
}

TEST_F(View, DroppedFilesAndFoldersAreOfferedInOneBatchReadOffTheMainThread)
{
    FileListView view(*me.controller, settings, thumbnails, services());
    view.setUser(bea);
    auto* pages = view.findChild<QStackedWidget*>();
    EXPECT_EQ(qobject_cast<QLabel*>(pages->currentWidget())->text(),
              "No shared files. Click the + button below to share files.");

    ASSERT_TRUE(QDir(me.files.path()).mkpath("Holiday/sub"));
    const QUrl folder = QUrl::fromLocalFile(me.files.filePath("Holiday"));
    me.makeFile("Holiday/sub/b.txt", 4);
    me.makeFile("Holiday/a.txt", 3);
    QMimeData data;
    data.setUrls({me.makeFile("x.txt", 3), folder, QUrl::fromLocalFile(me.files.filePath("gone.txt"))});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject&>(view).event(&drop);  // as the window system delivers it
    EXPECT_TRUE(preselected.isEmpty());        // the folder is being read
    ASSERT_TRUE(vortan::test::waitFor([&] { return !preselected.isEmpty(); }));
    EXPECT_EQ(preselected, QList<QByteArray>{bea});  // one batch
    me.controller->publishNow();
    QStringList names;
    for (const FileRow& row : me.controller->fileRows())
        names.append(row.name);
    EXPECT_EQ(names, (QStringList{"x.txt", "Holiday/a.txt", "Holiday/sub/b.txt"}));
    EXPECT_EQ(pages->currentWidget(), view.findChild<QTreeView*>());

    const QUrl gone = QUrl::fromLocalFile("/nonexistent/x.txt");
    EXPECT_EQ(failureAlert({{gone, "No such file or directory"}})->text, "Failed to share file x.txt.");
    const std::optional<FailureAlert> two =
        failureAlert(describeFiles({gone, folder, QUrl::fromLocalFile("/nonexistent/y")}).failures);
    EXPECT_EQ(two->text, "Failed to share 2 files.");
    EXPECT_EQ(two->informativeText.count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(two->informativeText.startsWith("No such file or directory (x.txt)"));
    ASSERT_TRUE(QDir(me.files.path()).mkpath("Empty"));
    const auto empty = describeFiles({QUrl::fromLocalFile(me.files.filePath("Empty"))}).failures;
    EXPECT_EQ(empty.value(0).second, "The folder holds no files.");
    EXPECT_EQ(failureAlert(empty)->text, "Failed to share the folder Empty.");
}

// Me and Bea on 127.0.0.1; once they are connected and Me lists all rows,
// Bea's files are shown in Me's list, downloading into me.downloads.
struct ViewOfDownloads : ::testing::Test {
    Peer me{"Me"};
    Peer bea{"Bea"};
    QTemporaryDir settingsDir;
    AppSettings settings{settingsDir.filePath("Brenvo.conf")};
    ThumbnailsCache thumbnails;
    std::unique_ptr<FileListView> view;
    QTreeView* list = nullptr;
    FileListModel* model = nullptr;

    void SetUp() override { ASSERT_TRUE(test::introduce(me, bea)); }

    void connectAndShow(int rows)
    {
        ASSERT_TRUE(test::connectPeers(me, bea));
        ASSERT_TRUE(vortan::test::waitFor([&] {
            me.controller->publishNow();
            return me.controller->fileRows().size() == rows;
        }));
        settings.downloadLocation.set(DownloadLocationSetting::other(me.downloads.path()));
        view = std::make_unique<FileListView>(*me.controller, settings, thumbnails, FileListServices{});
        view->resize(500, 400);
        view->show();
        view->setUser(bea.key());
        list = view->findChild<QTreeView*>();
        model = qobject_cast<FileListModel*>(list->model());
    }
};

// Downloads from another controller on 127.0.0.1, through the list: a file
// and a folder, one row below Downloads opened on its two files, whose
// Download button takes the whole tree into the download folder.
TEST_F(ViewOfDownloads, SectionsAndTheButtonsOfAPausedRunningAndFinishedDownloadAndAFolder)
{
    bea.controller->shareFiles({File2::at(bea.makeFile("big.bin", 3 * 1024 * 1024))}, {me.key()});
    ASSERT_TRUE(QDir(bea.files.path()).mkpath("Holiday/sub"));
    bea.makeFile("Holiday/a.txt", 1000);
    bea.makeFile("Holiday/sub/b.txt", 2000);
    bea.controller->shareFiles(vortan::filesOfFolder(bea.files.filePath("Holiday")), {me.key()});
    me.controller->shareFiles({File2::at(me.makeFile("up.txt", 5))}, {bea.key()});
    ASSERT_NO_FATAL_FAILURE(connectAndShow(4));
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(sections(*model), (QList<std::pair<QString, int>>{{"Downloads", 2}, {"Uploads", 1}}));

    const QModelIndex download = model->index(0, 0, model->index(0, 0));
    const QUuid id = model->idAt(download);
    const auto buttons = [&] { return rowButtons(*me.row(id)); };
    ASSERT_EQ(buttons(), QList<RowButton>{RowButton::download});
    EXPECT_TRUE(download.data(Qt::AccessibleTextRole).toString().contains("Download (Ctrl+D)"));

    // A click on the row's button starts it into the chosen folder.
    const QRect button = FileRowDelegate::buttonRects(*me.row(id), list->visualRect(download)).front().second;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, button.center());
    EXPECT_EQ(buttons(), QList<RowButton>{RowButton::pause});
    EXPECT_TRUE(view->selectedFiles().isEmpty());  // a button is not a row click

    ASSERT_TRUE(vortan::test::waitFor([&] { return me.row(id)->transferred(); }, 20000));
    EXPECT_EQ(buttons(), (QList<RowButton>{RowButton::preview, RowButton::reveal, RowButton::done}));
    EXPECT_EQ(me.row(id)->location, QUrl::fromLocalFile(QDir(me.downloads.path()).filePath("big.bin")));

    const QModelIndex folder = model->index(1, 0, model->index(0, 0));
    ASSERT_TRUE(model->isFolder(folder));
    EXPECT_FALSE(list->isExpanded(folder));
    list->expand(folder);
    EXPECT_EQ(model->rowCount(folder), 2);
    const QRect folderButton =
        FileRowDelegate::buttonRects(*model->fileAt(folder), list->visualRect(folder)).front().second;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, folderButton.center());
    const QDir downloads(me.downloads.path());
    ASSERT_TRUE(vortan::test::waitFor([&] {
        me.controller->publishNow();
        return model->fileAt(folder)->status == FileRow::Status::done;
    }, 20000));
    EXPECT_EQ(QFileInfo(downloads.filePath("Holiday/a.txt")).size(), 1000);
    EXPECT_EQ(QFileInfo(downloads.filePath("Holiday/sub/b.txt")).size(), 2000);

    // Withdrawn downloads leave the uploads alone at the top.
    me.controller->removeFiles(model->idsAt(folder) + QList<QUuid>{id}, bea.key());
    me.controller->publishNow();
    EXPECT_EQ(sections(*model), (QList<std::pair<QString, int>>{{"Uploads", 1}}));
}

// The final move of a download fails: a directory sits at its target and
// the Trash cannot take it. The row says so and offers Retry, and Retry
// finishes once the directory is gone. Download All takes every paused one.
TEST_F(ViewOfDownloads, AFailedFinalMoveIsRetriedAndDownloadAllTakesTheRest)
{
    bea.controller->shareFiles({File2::at(bea.makeFile("a.bin", 1000)), File2::at(bea.makeFile("b.bin", 300000))},
                               {me.key()});
    ASSERT_NO_FATAL_FAILURE(connectAndShow(2));
    const QUuid a = me.controller->fileRows()[0].id;
    const QUuid b = me.controller->fileRows()[1].id;
    const QDir downloads(me.downloads.path());
    ASSERT_TRUE(downloads.mkpath("a.bin/inside"));
    // No Trash can be made under a regular file.
    ASSERT_TRUE(vortan::test::writeFile(downloads.filePath("not-a-folder"), "x"));
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(downloads.filePath("not-a-folder/data")));
    const auto restore = qScopeGuard([&] {
        if (dataHome.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", dataHome);
    });

    const auto buttons = view->findChildren<QToolButton*>();
    const auto found = std::find_if(buttons.begin(), buttons.end(),
                                    [](QToolButton* button) { return button->accessibleName() == "Download All"; });
    ASSERT_NE(found, buttons.end());
    QToolButton* downloadAll = *found;
    EXPECT_TRUE(downloadAll->isEnabled());
    QTest::mouseClick(downloadAll, Qt::LeftButton);
    ASSERT_TRUE(vortan::test::waitFor([&] { return me.row(b)->status == FileRow::Status::done; }, 20000));
    ASSERT_TRUE(vortan::test::waitFor([&] { return me.row(a)->status == FileRow::Status::failed; }, 20000));
    EXPECT_FALSE(downloadAll->isEnabled());

    // Not done, nothing to preview at the target: the problem and Retry.
    EXPECT_EQ(rowButtons(*me.row(a)), QList<RowButton>{RowButton::retry});
    const QModelIndex row = model->indexOf(a);
    const QString spoken = row.data(Qt::AccessibleTextRole).toString();
    EXPECT_TRUE(spoken.contains("Received, but not moved into place: " + me.row(a)->error->localizedDescription()))
        << spoken.toStdString();
    EXPECT_TRUE(spoken.contains("Retry (Ctrl+Shift+R)")) << spoken.toStdString();
    EXPECT_FALSE(spoken.contains("Preview")) << spoken.toStdString();
    EXPECT_TRUE(QFileInfo(downloads.filePath("a.bin")).isDir());

    // The cause gone, the row's Retry button finishes it.
    ASSERT_TRUE(QDir(downloads.filePath("a.bin")).removeRecursively());
    const QRect retry = FileRowDelegate::buttonRects(*me.row(a), list->visualRect(row)).front().second;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, retry.center());
    ASSERT_TRUE(vortan::test::waitFor([&] { return me.row(a)->status == FileRow::Status::done; }));
    EXPECT_EQ(vortan::test::readFile(downloads.filePath("a.bin")), vortan::test::readFile(bea.files.filePath("a.bin")));
    EXPECT_FALSE(QFile::exists(downloads.filePath("a.bin.downloading")));
    EXPECT_EQ(rowButtons(*me.row(a)), (QList<RowButton>{RowButton::preview, RowButton::reveal, RowButton::done}));
}

}  // namespace
