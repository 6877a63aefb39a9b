#pragma once

#include "app/settings/downloadlocationsetting.h"
#include "vortan/controller/controlleroptions.h"
#include "vortan/controller/filerow.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace vortan {

// The dialogs that ask where downloads go. Each shows its dialog for window
// and later calls done once: with the chosen path, or with nothing when the
// person cancelled. Tests put their own in.
struct DownloadDialogs {
    // A save dialog proposing fileName.
    std::function<void(QWidget* window, const QString& fileName, std::function<void(std::optional<QString>)> done)>
        saveFile;
    // A folder chooser for several files.
    std::function<void(QWidget* window, std::function<void(std::optional<QString>)> done)> chooseFolder;
};

// Window-modal QFileDialogs: the save dialog titled "Download" with the
// button "Download", the label "Download as:" and, when the name has an
// extension, that extension as the only type; the folder chooser titled
// "Download" with the message "Select the download location:".
DownloadDialogs systemDownloadDialogs();

// Where the given downloads go, from the setting: asked through a dialog
// for "Ask" (a save dialog for one file, one folder chooser for several),
// the folder of the setting otherwise, or the library's default while
// "Other…" is transiently stored. Calls resume with one item per file,
// later or at once; never when a dialog is cancelled.
void resolveDownloads(const QList<FileRow>& downloads, const DownloadLocationSetting& setting, QWidget* window,
                      const DownloadDialogs& dialogs, std::function<void(QList<ResumeItem>)> resume);

}  // namespace vortan
