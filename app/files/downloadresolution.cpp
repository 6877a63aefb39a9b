#include "app/files/downloadresolution.h"

#include "vortan/safefilename.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace vortan {

namespace {

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

// A save dialog that closes only on a path in the folder it shows.
class SaveDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        const QStringList chosen = selectedFiles();
        // A folder typed or picked is opened, as the dialog does itself.
        if (chosen.size() == 1 && QFileInfo(chosen.front()).isDir()) {
            QFileDialog::accept();
            return;
        }
        if (chosen.size() == 1 && oneNameIn(directory().absolutePath(), chosen.front())) {
            QFileDialog::accept();
            return;
        }
        auto* box = new QMessageBox(
            QMessageBox::Warning, QCoreApplication::translate("DownloadDialogs", "Download"),
            QCoreApplication::translate("DownloadDialogs", "Type one name for the file in the folder shown."),
            QMessageBox::Ok, this);
        box->setTextFormat(Qt::PlainText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        box->open();
    }
};

}  // namespace

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

DownloadDialogs systemDownloadDialogs()
{
    DownloadDialogs dialogs;
    dialogs.saveFile = [](QWidget* window, const QString& folder, const QString& fileName,
                          std::function<void(std::optional<QString>)> done) {
        auto* dialog = new SaveDialog(window, QCoreApplication::translate("DownloadDialogs", "Download"));
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setLabelText(QFileDialog::Accept, QCoreApplication::translate("DownloadDialogs", "Download"));
        dialog->setLabelText(QFileDialog::FileName, QCoreApplication::translate("DownloadDialogs", "Download as:"));
        const QString suffix = QFileInfo(fileName).suffix();
        if (!suffix.isEmpty()) {
            dialog->setNameFilter(QStringLiteral("*.") + suffix);
            dialog->setDefaultSuffix(suffix);
        }
        dialog->setDirectory(folder);
        dialog->selectFile(fileName);
        runDialog(dialog, std::move(done));
    };
    dialogs.chooseFolder = [](QWidget* window, std::function<void(std::optional<QString>)> done) {
        auto* dialog = new QFileDialog(window, QCoreApplication::translate("DownloadDialogs", "Download"));
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
        dialog->setDirectory(downloadsDirectory());
        dialog->setLabelText(QFileDialog::Accept, QCoreApplication::translate("DownloadDialogs", "Download"));
        // The dialog has no message line of its own; its first label says it.
        dialog->setLabelText(QFileDialog::LookIn,
                             QCoreApplication::translate("DownloadDialogs", "Select the download location:"));
        dialog->setAccessibleDescription(
            QCoreApplication::translate("DownloadDialogs", "Select the download location:"));
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

}  // namespace vortan
