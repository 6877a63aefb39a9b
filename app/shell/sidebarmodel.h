#pragma once

#include "vortan/filerow.h"
#include "vortan/user.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTimer>

#include <optional>

namespace brenvo {

// The rows of the sidebar: the local user first, then every other user in
// the controller's order. Rows are keyed by the user's key: a change of the
// users is applied as removed and inserted rows plus dataChanged of the rows
// whose values changed, so the selection, the current row and the scroll
// position survive, and a screen reader is told only what changed.
//
// "New files" of a person are the offers of that person nobody has acted on
// yet: downloads still paused with no block received and no error. They stop
// being new once their download is started or they are removed, so the count
// tells what is waiting for a decision and needs no memory of what was seen.
class SidebarModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        KeyRole = Qt::UserRole + 1,  // QByteArray
        IsMeRole,                    // bool
        StateRole,                   // int, a User::State (other users only)
        AvailableRole,               // bool: the green mark is shown (connected, or on the local network)
        StateTextRole,               // "Connected", "Connecting…", "On your network", "Not connected", why not ("Offline or unreachable"); "Me"
        NewFilesRole,                // int, new files of that person
        EditTextRole,                // "Edit My Card" / "Edit <name>" (the pencil)
    };

    explicit SidebarModel(QObject* parent = nullptr);

    void setUsers(const std::optional<vortan::User>& me, const QList<vortan::User>& users);
    // New files per user key (absent: none).
    void setNewFiles(const QHash<QByteArray, int>& counts);
    // Counts the new files of every user in the rows of a publication.
    static QHash<QByteArray, int> newFiles(const QList<vortan::FileRow>& rows);
    static bool isNewFile(const vortan::FileRow& row);

    static QString stateText(const vortan::User& user);
    // Connected, or not connected but announced on the local network.
    static bool available(const vortan::User& user);
    // What a screen reader says after the name: "Connected, 3 new files",
    // then why the last connection failed ("Not connected. Bob is offline…").
    static QString description(const vortan::User& user, int newFiles, const QString& reason = {});

    // The row of that user (the local user's row when me), or -1.
    int rowOf(const QByteArray& key, bool me = false) const;
    QModelIndex indexOf(const QByteArray& key) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Row {
        vortan::User user;
        bool isMe = false;
        int newFiles = 0;
        bool operator==(const Row&) const = default;
    };
    static bool sameRow(const Row& a, const Row& b) { return a.isMe == b.isMe && a.user.key == b.user.key; }
    void apply(QList<Row> rows);
    // Redraws the rows whose reason counts down, and waits for the next change.
    void scheduleReasons();

    QList<Row> m_rows;
    QTimer m_reasonTimer;
    QHash<QByteArray, int> m_newFiles;
};

}  // namespace brenvo
