#pragma once

#include "vortan/records/user.h"

#include <QListWidget>

#include <optional>

namespace vortan {

// The left column: the local user first (with edit and share buttons), then
// every other user with a green mark while connected and an edit button.
// One row is selected at a time; the Delete key and the context menu ask
// for a user's removal; card files dropped here are handed on for import.
class SidebarView : public QListWidget {
    Q_OBJECT
public:
    explicit SidebarView(QWidget* parent = nullptr);

    // Rebuilds the rows, keeping the selection.
    void setUsers(const std::optional<User>& me, const QList<User>& users);
    // Selects the row of that key (none: clears the selection).
    void selectKey(const QByteArray& key);
    QByteArray selectedKey() const;

signals:
    void selectedKeyChanged(const QByteArray& key);
    void editMeRequested();
    void shareMeRequested();
    void editUserRequested(const QByteArray& key);
    void removeUserRequested(const QByteArray& key);
    void cardsDropped(const QStringList& paths);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    QStringList mimeTypes() const override;

private:
    enum Role { keyRole = Qt::UserRole, isMeRole };
    QWidget* rowButtons(const User& user, bool isMe);
    void showContextMenu(const QPoint& position);
    bool m_rebuilding = false;
};

}  // namespace vortan
