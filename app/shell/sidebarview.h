#pragma once

#include "vortan/filerow.h"
#include "vortan/user.h"

#include <QListView>
#include <QUrl>

#include <optional>

namespace brenvo {

class PersonActions;
class SidebarDelegate;
class SidebarModel;

// The left column: the local user first (with edit and share buttons), then
// every other user with the connection state, the count of new files, a
// green mark while connected and an edit button (see SidebarModel and
// SidebarDelegate). One row is selected at a time.
//
// Commands: PersonActions, made once, act on the selected row. Its context
// menu (the Menu key, Shift+F10 or a right click) holds every command of a
// row: Edit…, and for the local user Share My Card…; for the others
// Connect/Disconnect, Share Files…, Share Folder… and Delete. Their keys are listed there.
//
// Drops: card files (*.bcard) are handed on for import wherever they land;
// other files dropped on a person's row are offered to that person, and
// elsewhere ignored.
class SidebarView : public QListView {
    Q_OBJECT
public:
    explicit SidebarView(QWidget* parent = nullptr);

    // Applies the users, keeping the selection when its user stays.
    void setUsers(const std::optional<vortan::User>& me, const QList<vortan::User>& users);
    // Recounts the new files of each user from a publication of the rows.
    void setFileRows(const QList<vortan::FileRow>& rows);
    // Selects the row of that key (none: clears the selection).
    void selectKey(const QByteArray& key);
    QByteArray selectedKey() const;

    SidebarModel* sidebarModel() const { return m_model; }
    SidebarDelegate* sidebarDelegate() const { return m_delegate; }
    // The commands on the selected row.
    PersonActions* personActions() const { return m_actions; }

    static bool isCardFile(const QString& path);

signals:
    void selectedKeyChanged(const QByteArray& key);
    void editMeRequested();
    void shareMeRequested();
    void editUserRequested(const QByteArray& key);
    void removeUserRequested(const QByteArray& key);
    void connectionToggleRequested(const QByteArray& key);
    void shareFilesRequested(const QByteArray& key);
    void shareFolderRequested(const QByteArray& key);
    void cardsDropped(const QStringList& paths);
    // Files other than cards dropped on a person's row.
    void filesDroppedOnUser(const QByteArray& key, const QList<QUrl>& files);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void showContextMenu(const QModelIndex& index, const QPoint& position);
    void selectionMoved();
    void updateActions();

    SidebarModel* m_model;
    SidebarDelegate* m_delegate;
    PersonActions* m_actions;
    bool m_updating = false;
    QByteArray m_lastKey;
};

}  // namespace brenvo
