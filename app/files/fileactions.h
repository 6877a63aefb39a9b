#pragma once

#include "vortan/filerow.h"

#include <QList>
#include <QString>

namespace brenvo {

// What can be done to the files a command is aimed at. Computed in one pass
// that stops as soon as every flag is set. A failed transfer offers only
// Retry (and Preview and Show for an offer); a finished one neither.
struct FileActionFlags {
    // Some target is a paused download not yet finished.
    bool download = false;
    // Some target is a paused upload not yet finished.
    bool upload = false;
    // Some target is running and not finished.
    bool pause = false;
    // Some target is at its location here: an upload, or a download in place.
    bool previewAndReveal = false;
    // Some target failed (a write, a send or the final move).
    bool retry = false;

    friend bool operator==(const FileActionFlags&, const FileActionFlags&) = default;
};

FileActionFlags fileActionFlags(const QList<const vortan::FileRow*>& targets);

// The buttons at the right end of a row, left to right.
enum class RowButton {
    preview,  // the file is local
    reveal,   // the file is local
    pause,    // not finished and running
    download, // not transferred, a paused download
    upload,   // not transferred, a paused upload
    retry,    // failed: resume tries again
    done,     // finished (a download: in place): a mark, not a button
    remove,   // a download its sender withdrew: all that is left to do
};

// A download whose sender no longer offers it, not finished: it can only
// be removed.
bool isWithdrawn(const vortan::FileRow& row);

QList<RowButton> rowButtons(const vortan::FileRow& row);

// The words and the icon name of each; what a screen reader says and the
// tooltip show.
QString rowButtonText(RowButton button);
QString rowButtonIconName(RowButton button);

// Icon names of the list's other commands.
inline constexpr const char* kDeleteIconName = "edit-delete";
inline constexpr const char* kAddIconName = "list-add";
inline constexpr const char* kRemoveIconName = "list-remove";
inline constexpr const char* kAddFolderIconName = "folder-new";
inline constexpr const char* kGenericFileIconName = "text-x-generic";
inline constexpr const char* kFolderIconName = "folder";

}  // namespace brenvo

#include "app/files/downloadresolution.h"
#include "vortan/file2.h"

#include <QKeySequence>
#include <QObject>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <utility>

class QAction;
class QWidget;

namespace vortan {
class Controller;
}  // namespace vortan

namespace brenvo {

class AppSettings;

// The key that runs a row command on the selected files (none for the done mark).
QKeySequence rowButtonShortcut(RowButton button);

// What the list asks of the program around it.
struct FileListServices {
    // Shows these local files in the file manager (one call for all).
    std::function<void(const QStringList& paths)> reveal;
    // Opens these local files in the previewer.
    std::function<void(const QStringList& paths)> preview;
    // The recipient chooser: shown over window with the user preselected;
    // calls done with the chosen keys (empty when cancelled).
    std::function<void(QWidget* window, const QByteArray& preselected,
                       std::function<void(QList<QByteArray>)> done)>
        chooseRecipients;
    // The alerts and file dialogs; the window-modal ones unless set.
    Dialogs* dialogs = nullptr;
    // Where downloads go when the setting asks; through dialogs unless set.
    DownloadDialogs downloadDialogs;
    // The files to offer (the + button); through dialogs unless set.
    std::function<void(QWidget* window, std::function<void(QList<QUrl>)> done)> chooseFiles;
    // The folder to offer; through dialogs unless set.
    std::function<void(QWidget* window, std::function<void(QList<QUrl>)> done)> chooseFolder;
};

// The file list's commands and what they do: one QAction per row command,
// Delete and Download All, each made once with its text, key and icon (the
// list shows them in its menu and binds their keys), and the offering of
// files. The commands act on the files `targets` names, of the user `user`
// names; their dialogs go over the list's window.
class FileActions : public QObject {
    Q_OBJECT
public:
    FileActions(vortan::Controller& controller, AppSettings& settings, FileListServices services, QWidget* list,
                std::function<QList<QUuid>()> targets, std::function<QByteArray()> user);
    ~FileActions() override;

    const QList<std::pair<RowButton, QAction*>>& commands() const { return m_commands; }
    QAction* deleteAction() const { return m_delete; }
    QAction* downloadAll() const { return m_downloadAll; }
    // Enables the commands for these targets (of ids): in a menu, only
    // those that apply are shown; outside it every key stays bound.
    void update(const QList<const vortan::FileRow*>& targets, const QList<QUuid>& ids, bool inMenu);

    void run(RowButton command, const QList<QUuid>& ids);
    // Resumes these files, asking where downloads go when the setting says so.
    void resume(const QList<QUuid>& ids);
    // Withdraws these files of the shown user.
    void remove(const QList<QUuid>& ids);
    // Offers these files and folders (a folder as its files, read on a
    // worker thread) to persons chosen in the recipient chooser, after
    // reporting those that cannot be offered. Returns at once.
    void offerFiles(const QList<QUrl>& urls);
    // The + button: chooses files, then offers them as above.
    void chooseFilesToOffer();
    // The folder button: chooses a folder, then offers it as above.
    void chooseFolderToOffer();
    // The paused downloads of the shown user with blocks still to come.
    QList<QUuid> downloadAllIds() const;

private:
    QList<vortan::FileRow> rows(const QList<QUuid>& ids) const;
    QStringList localPaths(const QList<QUuid>& ids) const;
    void share(const QList<vortan::File2>& files);

    vortan::Controller& m_controller;
    AppSettings& m_settings;
    std::unique_ptr<Dialogs> m_ownDialogs;
    FileListServices m_services;
    QWidget* m_list;
    std::function<QList<QUuid>()> m_targets;
    std::function<QByteArray()> m_user;
    QList<std::pair<RowButton, QAction*>> m_commands;
    QAction* m_delete;
    QAction* m_downloadAll;
};

}  // namespace brenvo
