#pragma once

#include "app/files/downloadresolution.h"
#include "app/files/fileactions.h"
#include "vortan/file2.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QStackedWidget;
class QToolButton;
class QTreeView;

namespace vortan {
class Controller;
}  // namespace vortan

namespace brenvo {

class AppSettings;
class FileListModel;
class ThumbnailsCache;

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

// The files exchanged with the selected user: the sections "Downloads" and
// "Uploads" with a row per file, or a hint while there are none; a shared
// folder is one row, closed, opened on its files (Right or a click on its
// arrow); the + (files), folder and − buttons and "Download All" below; a
// context menu (also on the Menu key and Shift+F10) and keys for every
// command; files and folders dropped on it are offered; files added while it
// is shown are scrolled to and tinted. A command on a folder row acts on all
// its files.
//
// Commands aim at "targets": from the context menu, the selection when the
// clicked row is in it, else the clicked row; from keys and the − button,
// the selection; from a row's button, that row. Each command is one QAction,
// made once, shown in the menu and enabled from its targets.
class FileListView : public QWidget {
    Q_OBJECT
public:
    FileListView(vortan::Controller& controller, AppSettings& settings, ThumbnailsCache& thumbnails,
                 FileListServices services, QWidget* parent = nullptr);
    ~FileListView() override;

    // Lists the files of this user (empty: nobody). Clears the selection.
    void setUser(const QByteArray& key);
    QByteArray user() const;

    QSet<QUuid> selectedFiles() const;
    // Selects the listed ones of these files and scrolls to the first.
    void selectFiles(const QSet<QUuid>& ids);
    void selectAll();
    // Withdraws the selected files (the Delete key and the − button).
    void removeSelected();
    // Offers these files and folders (a folder as its files, read on a
    // worker thread) to persons chosen in the recipient chooser, after
    // reporting those that cannot be offered. Returns at once.
    void offerFiles(const QList<QUrl>& urls);
    // The + button: chooses files, then offers them as above.
    void chooseFilesToOffer();
    // The folder button: chooses a folder, then offers it as above.
    void chooseFolderToOffer();

signals:
    void selectedFilesChanged(const QSet<QUuid>& ids);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QList<QUuid> targets(const QModelIndex& clicked) const;
    QList<QUuid> selectedInOrder() const;
    // The selection, or the targets of the open context menu.
    QList<QUuid> commandTargets() const;
    QList<vortan::FileRow> rows(const QList<QUuid>& ids) const;
    // The paused downloads of the shown user with blocks still to come.
    QList<QUuid> downloadAllIds() const;
    void showContextMenu(const QPoint& position);
    void showContextMenuFromKeyboard();
    void updateActions();
    void runCommand(RowButton command, const QList<QUuid>& ids);
    void resume(const QList<QUuid>& ids);
    void remove(const QList<QUuid>& ids);
    QStringList localPaths(const QList<QUuid>& ids) const;
    void share(const QList<vortan::File2>& files);
    void updateState();

    vortan::Controller& m_controller;
    AppSettings& m_settings;
    ThumbnailsCache& m_thumbnails;
    std::unique_ptr<Dialogs> m_ownDialogs;
    FileListServices m_services;
    FileListModel* m_model;
    QTreeView* m_list;
    QLabel* m_empty;
    QStackedWidget* m_pages;
    QToolButton* m_add;
    QToolButton* m_addFolder;
    QToolButton* m_remove;
    QToolButton* m_downloadAllButton;
    QList<std::pair<RowButton, QAction*>> m_commands;
    QAction* m_deleteAction;
    QAction* m_downloadAll;
    QMenu* m_menu;
    // While the context menu is open: what it acts on, and the section of
    // the clicked row (its entries follow that section's targets).
    QList<QUuid> m_menuTargets;
    bool m_menuSectionDownloads = false;
    QSet<QUuid> m_selected;
};

}  // namespace brenvo
