#include "app/files/downloadresolution.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>

namespace vortan {

namespace {

QString dialogText(const char* text)
{
    return QFileDialog::tr(text);
}

// Runs dialog window-modally and reports its first chosen path, or nothing.
void runDialog(QFileDialog* dialog, std::function<void(std::optional<QString>)> done)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(dialog->parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done = std::move(done)](int result) {
        const QStringList chosen = dialog->selectedFiles();
        if (result == QDialog::Accepted && !chosen.isEmpty())
            done(chosen.front());
        else
            done(std::nullopt);
    });
    dialog->open();
}

}  // namespace

DownloadDialogs systemDownloadDialogs()
{
    DownloadDialogs dialogs;
    dialogs.saveFile = [](QWidget* window, const QString& fileName, std::function<void(std::optional<QString>)> done) {
        auto* dialog = new QFileDialog(window, dialogText("Download"));
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setLabelText(QFileDialog::Accept, dialogText("Download"));
        dialog->setLabelText(QFileDialog::FileName, dialogText("Download as:"));
        const QString suffix = QFileInfo(fileName).suffix();
        if (!suffix.isEmpty()) {
            dialog->setNameFilter(QStringLiteral("*.") + suffix);
            dialog->setDefaultSuffix(suffix);
        }
        dialog->selectFile(fileName);
        runDialog(dialog, std::move(done));
    };
    dialogs.chooseFolder = [](QWidget* window, std::function<void(std::optional<QString>)> done) {
        auto* dialog = new QFileDialog(window, dialogText("Download"));
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
        dialog->setLabelText(QFileDialog::Accept, dialogText("Download"));
        // The dialog has no message line of its own; its first label says it.
        dialog->setLabelText(QFileDialog::LookIn, dialogText("Select the download location:"));
        dialog->setAccessibleDescription(dialogText("Select the download location:"));
        runDialog(dialog, std::move(done));
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
        if (downloads.size() == 1) {
            dialogs.saveFile(window, downloads.front().name,
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

}  // namespace vortan
