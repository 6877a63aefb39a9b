#include "app/files/fileactions.h"

#include <QCoreApplication>

using vortan::FileRow;

namespace brenvo {

bool isWithdrawn(const FileRow& row)
{
    return row.download && row.unavailable && row.status != FileRow::Status::done;
}

FileActionFlags fileActionFlags(const QList<const FileRow*>& targets)
{
    FileActionFlags flags;
    for (const FileRow* row : targets) {
        if (isWithdrawn(*row))
            continue;
        if (row->status == FileRow::Status::failed)
            flags.retry = true;
        else if (row->status != FileRow::Status::done && row->paused)
            (row->download ? flags.download : flags.upload) = true;
        else if (row->status != FileRow::Status::done)
            flags.pause = true;
        if (row->local())
            flags.previewAndReveal = true;
        if (flags.download && flags.upload && flags.pause && flags.previewAndReveal && flags.retry)
            break;
    }
    return flags;
}

QList<RowButton> rowButtons(const FileRow& row)
{
    QList<RowButton> buttons;
    if (isWithdrawn(row))
        return {RowButton::remove};
    if (row.local()) {
        buttons.append(RowButton::preview);
        buttons.append(RowButton::reveal);
    }
    if (row.status == FileRow::Status::done)
        buttons.append(RowButton::done);
    else if (row.status == FileRow::Status::failed)
        buttons.append(RowButton::retry);
    else if (!row.paused)
        buttons.append(RowButton::pause);
    else
        buttons.append(row.download ? RowButton::download : RowButton::upload);
    return buttons;
}

QString rowButtonText(RowButton button)
{
    switch (button) {
    case RowButton::preview: return QCoreApplication::translate("FileList", "Preview");
    case RowButton::reveal: return QCoreApplication::translate("FileList", "Show in File Manager");
    case RowButton::pause: return QCoreApplication::translate("FileList", "Pause");
    case RowButton::download: return QCoreApplication::translate("FileList", "Download");
    case RowButton::upload: return QCoreApplication::translate("FileList", "Upload");
    case RowButton::retry: return QCoreApplication::translate("FileList", "Retry");
    case RowButton::done: return QCoreApplication::translate("FileList", "Done");
    case RowButton::remove: return QCoreApplication::translate("FileList", "Remove");
    }
    return {};
}

QString rowButtonIconName(RowButton button)
{
    switch (button) {
    case RowButton::preview: return QStringLiteral("document-preview");
    case RowButton::reveal: return QStringLiteral("folder-open");
    case RowButton::pause: return QStringLiteral("media-playback-pause");
    case RowButton::download: return QStringLiteral("folder-download");
    case RowButton::upload: return QStringLiteral("go-up");
    case RowButton::retry: return QStringLiteral("view-refresh");
    case RowButton::done: return QStringLiteral("emblem-success");
    case RowButton::remove: return QString::fromLatin1(kRemoveIconName);
    }
    return {};
}

}  // namespace brenvo

namespace brenvo {

QKeySequence rowButtonShortcut(RowButton button)
{
    switch (button) {
    case RowButton::preview: return QKeySequence(Qt::Key_Space);
    case RowButton::reveal: return QKeySequence(Qt::CTRL | Qt::Key_R);
    case RowButton::pause: return QKeySequence(Qt::CTRL | Qt::Key_P);
    case RowButton::download: return QKeySequence(Qt::CTRL | Qt::Key_D);
    case RowButton::upload: return QKeySequence(Qt::CTRL | Qt::Key_U);
    case RowButton::retry: return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R);
    case RowButton::done: return {};
    case RowButton::remove: return QKeySequence(Qt::Key_Delete);
    }
    return {};
}

}  // namespace brenvo

#include "app/files/fileoffer.h"
#include "app/files/filelistview.h"
#include "app/settings/appsettings.h"
#include "vortan/controller.h"

#include <QAction>
#include <QIcon>
#include <QPointer>

using vortan::Controller;
using vortan::File2;
using vortan::FileRow;
using vortan::ResumeItem;

// The texts keep the catalogues' context of the list (FileListView::tr).
namespace brenvo {

namespace {

// The object name of a command's action.
QString commandName(RowButton command)
{
    switch (command) {
    case RowButton::preview: return QStringLiteral("filePreview");
    case RowButton::reveal: return QStringLiteral("fileReveal");
    case RowButton::pause: return QStringLiteral("filePause");
    case RowButton::download: return QStringLiteral("fileDownload");
    case RowButton::upload: return QStringLiteral("fileUpload");
    case RowButton::retry: return QStringLiteral("fileRetry");
    case RowButton::done:
    case RowButton::remove: break;  // Delete's action
    }
    return {};
}

}  // namespace

FileActions::FileActions(Controller& controller, AppSettings& settings, FileListServices services, QWidget* list,
                         std::function<QList<QUuid>()> targets, std::function<QByteArray()> user)
    : QObject(list),
      m_controller(controller),
      m_settings(settings),
      m_services(std::move(services)),
      m_list(list),
      m_targets(std::move(targets)),
      m_user(std::move(user)),
      m_delete(new QAction(QIcon::fromTheme(QString::fromLatin1(kDeleteIconName)), FileListView::tr("Delete"), this)),
      m_downloadAll(new QAction(QIcon::fromTheme(rowButtonIconName(RowButton::download)),
                                FileListView::tr("Download All"), this))
{
    if (!m_services.dialogs) {
        m_ownDialogs = makeWindowDialogs();
        m_services.dialogs = m_ownDialogs.get();
    }
    Dialogs& dialogs = *m_services.dialogs;
    if (!m_services.downloadDialogs.saveFile || !m_services.downloadDialogs.chooseFolder)
        m_services.downloadDialogs = downloadDialogs(dialogs);
    if (!m_services.chooseFiles) {
        m_services.chooseFiles = [&dialogs](QWidget* window, std::function<void(QList<QUrl>)> done) {
            FileDialogOptions options;
            options.title = FileListView::tr("Share Files");
            dialogs.openFiles(window, options, [done = std::move(done)](const QStringList& paths) {
                if (paths.isEmpty())
                    return;
                QList<QUrl> urls;
                for (const QString& path : paths)
                    urls.append(QUrl::fromLocalFile(path));
                done(urls);
            });
        };
    }
    if (!m_services.chooseFolder) {
        m_services.chooseFolder = [&dialogs](QWidget* window, std::function<void(QList<QUrl>)> done) {
            FileDialogOptions options;
            options.title = FileListView::tr("Share Folder");
            dialogs.chooseFolder(window, options, [done = std::move(done)](const std::optional<QString>& path) {
                if (path)
                    done({QUrl::fromLocalFile(*path)});
            });
        };
    }

    for (RowButton command : {RowButton::download, RowButton::upload, RowButton::pause, RowButton::retry,
                              RowButton::preview, RowButton::reveal}) {
        auto* action = new QAction(QIcon::fromTheme(rowButtonIconName(command)), rowButtonText(command), this);
        action->setObjectName(commandName(command));
        action->setShortcut(rowButtonShortcut(command));
        connect(action, &QAction::triggered, this, [this, command] { run(command, m_targets()); });
        m_commands.append({command, action});
    }
    m_delete->setObjectName(QStringLiteral("fileDelete"));
    m_delete->setShortcut(QKeySequence::Delete);
    connect(m_delete, &QAction::triggered, this, [this] { remove(m_targets()); });

    m_downloadAll->setObjectName(QStringLiteral("downloadAll"));
    m_downloadAll->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    m_downloadAll->setToolTip(FileListView::tr("Download every paused file of this person (%1)")
                                  .arg(m_downloadAll->shortcut().toString(QKeySequence::NativeText)));
    connect(m_downloadAll, &QAction::triggered, this, [this] { resume(downloadAllIds()); });
}

FileActions::~FileActions() = default;

void FileActions::update(const QList<const FileRow*>& targets, const QList<QUuid>& ids, bool inMenu)
{
    const FileActionFlags flags = fileActionFlags(targets);
    for (const auto& [command, action] : std::as_const(m_commands)) {
        bool on = false;
        switch (command) {
        case RowButton::download: on = flags.download; break;
        case RowButton::upload: on = flags.upload; break;
        case RowButton::pause: on = flags.pause; break;
        case RowButton::retry: on = flags.retry; break;
        case RowButton::preview:
        case RowButton::reveal: on = flags.previewAndReveal; break;
        case RowButton::done:
        case RowButton::remove: break;
        }
        action->setEnabled(on);
        // The menu lists what applies; outside it every key stays bound.
        action->setVisible(!inMenu || on);
    }
    m_delete->setEnabled(!ids.isEmpty());
    m_downloadAll->setEnabled(!downloadAllIds().isEmpty());
}

QList<QUuid> FileActions::downloadAllIds() const
{
    QList<QUuid> ids;
    const QByteArray user = m_user();
    if (user.isEmpty())
        return ids;
    for (const FileRow& row : m_controller.fileRows()) {
        if (row.user == user && row.download && row.paused && !row.transferred())
            ids.append(row.id);
    }
    return ids;
}

QList<FileRow> FileActions::rows(const QList<QUuid>& ids) const
{
    QList<FileRow> result;
    for (const QUuid& id : ids) {
        if (const std::optional<FileRow> row = m_controller.file(id))
            result.append(*row);
    }
    return result;
}

void FileActions::run(RowButton command, const QList<QUuid>& ids)
{
    switch (command) {
    case RowButton::pause: m_controller.pause(ids); return;
    case RowButton::download:
    case RowButton::upload:
    case RowButton::retry: resume(ids); return;
    case RowButton::preview:
        if (m_services.preview)
            m_services.preview(localPaths(ids));
        return;
    case RowButton::reveal:
        if (m_services.reveal)
            m_services.reveal(localPaths(ids));
        return;
    case RowButton::remove: remove(ids); return;
    case RowButton::done: return;
    }
}

void FileActions::resume(const QList<QUuid>& ids)
{
    // Finished transfers have nothing left to resume, and a download that
    // has its target keeps it: neither gets a location asked for nor counts
    // towards "one file or several".
    QList<ResumeItem> placed;
    QList<FileRow> downloads;
    for (const FileRow& row : rows(ids)) {
        if (row.status == FileRow::Status::done)
            continue;
        if (row.download && !row.location)
            downloads.append(row);
        else
            placed.append(ResumeItem{row.id, std::nullopt});
    }
    if (!placed.isEmpty())
        m_controller.resume(placed);
    resolveDownloads(downloads, m_settings.downloadLocation(), m_list->window(), m_services.downloadDialogs,
                     [self = QPointer(this)](const QList<ResumeItem>& items) {
                         if (self)
                             self->m_controller.resume(items);
                     });
}

void FileActions::remove(const QList<QUuid>& ids)
{
    const QByteArray user = m_user();
    if (!ids.isEmpty() && !user.isEmpty())
        m_controller.removeFiles(ids, user);
}

QStringList FileActions::localPaths(const QList<QUuid>& ids) const
{
    QStringList paths;
    for (const FileRow& row : rows(ids)) {
        if (row.local() && row.location && row.location->isLocalFile())
            paths.append(row.location->toLocalFile());
    }
    return paths;
}

void FileActions::offerFiles(const QList<QUrl>& urls)
{
    describeFilesInBackground(urls, this, [this](const OfferedFiles& offered) {
        const std::optional<FailureAlert> alert = failureAlert(offered.failures);
        if (!alert) {
            share(offered.files);
            return;
        }
        m_services.dialogs->tell(m_list->window(),
                                 Alert{Alert::Kind::warning, alert->text, alert->text, alert->informativeText, {}},
                                 [self = QPointer(this), files = offered.files] {
                                     if (self)
                                         self->share(files);
                                 });
    });
}

void FileActions::chooseFilesToOffer()
{
    m_services.chooseFiles(m_list->window(), [self = QPointer(this)](const QList<QUrl>& urls) {
        if (self && !urls.isEmpty())
            self->offerFiles(urls);
    });
}

void FileActions::chooseFolderToOffer()
{
    m_services.chooseFolder(m_list->window(), [self = QPointer(this)](const QList<QUrl>& urls) {
        if (self && !urls.isEmpty())
            self->offerFiles(urls);
    });
}

void FileActions::share(const QList<File2>& files)
{
    if (files.isEmpty() || !m_services.chooseRecipients)
        return;
    m_services.chooseRecipients(m_list->window(), m_user(),
                                [self = QPointer(this), files](const QList<QByteArray>& keys) {
                                    if (self && !keys.isEmpty())
                                        self->m_controller.shareFiles(files, keys);
                                });
}

}  // namespace brenvo
