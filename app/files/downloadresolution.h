#pragma once

#include "app/dialogs/dialogs.h"
#include "app/settings/downloadlocationsetting.h"
#include "vortan/controlleroptions.h"
#include "vortan/filerow.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace brenvo {

// The dialogs that ask where downloads go. Each shows its dialog for window
// and later calls done once: with the chosen path, or with nothing when the
// person cancelled. Tests put their own in.
struct DownloadDialogs {
    // A save dialog showing folder and proposing fileName (may be empty).
    // It answers only with a path that is the folder it shows, as the person
    // left it, plus one name.
    std::function<void(QWidget* window, const QString& folder, const QString& fileName,
                       std::function<void(std::optional<QString>)> done)>
        saveFile;
    // A folder chooser for several files.
    std::function<void(QWidget* window, std::function<void(std::optional<QString>)> done)> chooseFolder;
};

// Through dialogs: the save dialog titled "Download" with the
// button "Download", the label "Download as:" and, when the name has an
// extension, that extension as the only type; the folder chooser titled
// "Download" with the message "Select the download location:", opening in
// the Downloads folder. The save dialog refuses, with a message, a typed
// name that leads out of the folder it shows ("../x", "/elsewhere/x").
DownloadDialogs downloadDialogs(Dialogs& dialogs);

// The name the save dialog proposes for a file a peer calls name (as shown:
// a ":" of the peer shows as "/"): the one path component the Downloads
// route writes to. Empty when the name cannot name a file ("..").
QString proposedFileName(const QString& name);

// chosen, cleaned, when it is folder plus one name; nothing otherwise.
std::optional<QString> oneNameIn(const QString& folder, const QString& chosen);

// Where the given downloads go, from the setting: asked through a dialog
// for "Ask" (a save dialog for one file, one folder chooser for several or
// for a file of a shared folder, whose path below it is kept),
// the folder of the setting otherwise, or the library's default while
// "Other…" is transiently stored. Calls resume with one item per file,
// later or at once; never when a dialog is cancelled.
void resolveDownloads(const QList<vortan::FileRow>& downloads, const DownloadLocationSetting& setting, QWidget* window,
                      const DownloadDialogs& dialogs, std::function<void(QList<vortan::ResumeItem>)> resume);

}  // namespace brenvo
