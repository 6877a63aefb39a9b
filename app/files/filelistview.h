#pragma once

#include "app/files/fileactions.h"

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

// The files exchanged with the selected user: the sections "Downloads" and
// "Uploads" with a row per file, or a hint while there are none; a shared
// folder is one row, closed, opened on its files (Right or a click on its
// arrow); the + (files), folder and − buttons and "Download All" below; a
// context menu (also on the Menu key and Shift+F10) and keys for every
// command; files and folders dropped on it are offered; files added while it
// is shown are scrolled to and tinted. A command on a folder row acts on all
// its files.
//
// Commands (FileActions) aim at "targets": from the context menu, the
// selection when the clicked row is in it, else the clicked row; from keys
// and the − button, the selection; from a row's button, that row. The view
// shows each command's QAction in its menu, binds its key and enables it
// from its targets.
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
    void showContextMenu(const QPoint& position);
    void showContextMenuFromKeyboard();
    void updateActions();
    void updateState();

    vortan::Controller& m_controller;
    FileListModel* m_model;
    QTreeView* m_list;
    QLabel* m_empty;
    QStackedWidget* m_pages;
    QToolButton* m_add;
    QToolButton* m_addFolder;
    QToolButton* m_remove;
    QToolButton* m_downloadAllButton;
    FileActions* m_actions;
    QMenu* m_menu;
    // While the context menu is open: what it acts on, and the section of
    // the clicked row (its entries follow that section's targets).
    QList<QUuid> m_menuTargets;
    bool m_menuSectionDownloads = false;
    QSet<QUuid> m_selected;
};

}  // namespace brenvo
