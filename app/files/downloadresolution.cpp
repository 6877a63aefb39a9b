#include "app/files/downloadresolution.h"

#include "vortan/safefilename.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

using vortan::DownloadLocation;
using vortan::FileRow;
using vortan::ResumeItem;
using vortan::safeFileName;

namespace brenvo {

QString proposedFileName(const QString& name)
{
    return safeFileName(name).value_or(QString());
}

std::optional<QString> oneNameIn(const QString& folder, const QString& chosen)
{
    if (folder.isEmpty() || !QDir::isAbsolutePath(chosen) || chosen.endsWith(QLatin1Char('/')))
        return std::nullopt;
    const QString path = QDir::cleanPath(chosen);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    const QString parent = slash == 0 ? QStringLiteral("/") : path.left(slash);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        parent != QDir::cleanPath(QDir(folder).absolutePath()))
        return std::nullopt;
    return path;
}

DownloadDialogs downloadDialogs(Dialogs& shown)
{
    DownloadDialogs dialogs;
    dialogs.saveFile = [&shown](QWidget* window, const QString& folder, const QString& fileName,
                                std::function<void(std::optional<QString>)> done) {
        FileDialogOptions options;
        options.title = QCoreApplication::translate("DownloadDialogs", "Download");
        options.qtDialog = true;
        options.acceptLabel = QCoreApplication::translate("DownloadDialogs", "Download");
        options.fileNameLabel = QCoreApplication::translate("DownloadDialogs", "Download as:");
        const QString suffix = QFileInfo(fileName).suffix();
        if (!suffix.isEmpty()) {
            options.nameFilter = QStringLiteral("*.") + suffix;
            options.defaultSuffix = suffix;
        }
        options.directory = folder;
        options.fileName = fileName;
        // Only a path in the folder shown, plus one name; a folder typed or
        // picked is opened, as the dialog does itself.
        options.check = [](const QStringList& chosen, const QString& shownFolder) -> std::optional<Alert> {
            if (chosen.size() == 1 && (QFileInfo(chosen.front()).isDir() || oneNameIn(shownFolder, chosen.front())))
                return std::nullopt;
            return Alert{Alert::Kind::warning, QCoreApplication::translate("DownloadDialogs", "Download"),
                         QCoreApplication::translate("DownloadDialogs", "Type one name for the file in the folder shown."),
                         {}, {}};
        };
        shown.saveFile(window, options, std::move(done));
    };
    dialogs.chooseFolder = [&shown](QWidget* window, std::function<void(std::optional<QString>)> done) {
        FileDialogOptions options;
        options.title = QCoreApplication::translate("DownloadDialogs", "Download");
        options.qtDialog = true;
        options.directory = downloadsDirectory();
        options.acceptLabel = QCoreApplication::translate("DownloadDialogs", "Download");
        // The dialog has no message line of its own; its first label says it.
        options.lookInLabel = QCoreApplication::translate("DownloadDialogs", "Select the download location:");
        options.description = options.lookInLabel;
        shown.chooseFolder(window, options, std::move(done));
    };
    return dialogs;
}

void resolveDownloads(const QList<FileRow>& downloads, const DownloadLocationSetting& setting, QWidget* window,
                      const DownloadDialogs& dialogs, std::function<void(QList<ResumeItem>)> resume)
{
    if (downloads.isEmpty())
        return;
    QList<QUuid> ids;
    for (const FileRow& row : downloads)
        ids.append(row.id);
    const auto every = [ids](std::optional<DownloadLocation> location) {
        QList<ResumeItem> items;
        for (const QUuid& id : ids)
            items.append(ResumeItem{id, location});
        return items;
    };

    switch (setting.kind()) {
    case DownloadLocationSetting::Kind::ask:
        // A file of a shared folder keeps its path below the folder chosen.
        if (downloads.size() == 1 && !downloads.front().name.contains(QLatin1Char('/'))) {
            dialogs.saveFile(window, downloadsDirectory(), proposedFileName(downloads.front().name),
                             [every, resume = std::move(resume)](std::optional<QString> path) {
                                 if (path)
                                     resume(every(DownloadLocation::file(QUrl::fromLocalFile(*path))));
                             });
        } else {
            dialogs.chooseFolder(window, [every, resume = std::move(resume)](std::optional<QString> path) {
                if (path)
                    resume(every(DownloadLocation::directory(QUrl::fromLocalFile(*path))));
            });
        }
        return;
    case DownloadLocationSetting::Kind::downloads:
    case DownloadLocationSetting::Kind::other:
        resume(every(DownloadLocation::directory(QUrl::fromLocalFile(*setting.directoryPath()))));
        return;
    case DownloadLocationSetting::Kind::otherMenuItem:
        resume(every(std::nullopt));
        return;
    }
}

}  // namespace brenvo
