#pragma once

#include "vortan/filechanges.h"
#include "vortan/filerow.h"

#include <QAbstractItemModel>
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QUuid>

#include <array>
#include <cstdint>
#include <memory>

namespace vortan {
class Controller;
}  // namespace vortan

namespace brenvo {
class ThumbnailsCache;

// The files exchanged with one user, as a tree: the sections "Downloads"
// (offered to us) then "Uploads" (ours, offered to the user) at the top, each
// shown only while it has files, with the files below in the controller's
// order. Files of a shared folder (names with "/" sharing their first
// component, folderOf()) make one folder row there, placed at its first
// file, with its files below it; the folder row shows the sum of its files
// (folderTotal()).
//
// Rows are keyed by file id. Each publication of the controller is applied
// as it happened: removals and insertions as such, changed rows as
// dataChanged of those rows only (contiguous rows in one signal), so
// selections, the current item and the scroll position of views survive.
// The row values are read from the controller's current publication.
class FileListModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum class Section { downloads = 0, uploads = 1 };
    enum Role {
        FileIdRole = Qt::UserRole + 1,  // QUuid of a file row
        IsSectionRole,                  // bool
        DetailRole,                     // QString: the size line with the state
        RecentRole,                     // bool: added a moment ago
        IsFolderRole,                   // bool: a folder row
    };

    // thumbnails may be null; when set, a new thumbnail signals its row.
    explicit FileListModel(vortan::Controller& controller, ThumbnailsCache* thumbnails = nullptr,
                           QObject* parent = nullptr);

    // Shows the files of this user (empty: none). Resets the model.
    void setUser(const QByteArray& key);
    const QByteArray& user() const { return m_user; }

    // The file of a file row, the sum of a folder row (folderTotal(), with a
    // null id); null for a section row or an invalid index. Points into the
    // controller's rows or this model: read it before the next publication.
    const vortan::FileRow* fileAt(const QModelIndex& index) const;
    // The id of a file row; null for folder and section rows.
    QUuid idAt(const QModelIndex& index) const;
    // The files a row stands for: a file row's own, a folder row's all.
    QList<QUuid> idsAt(const QModelIndex& index) const;
    bool isFolder(const QModelIndex& index) const;
    // The row of a file of this user; invalid when it is not listed.
    QModelIndex indexOf(const QUuid& id) const;
    // The section row; invalid while the section is hidden.
    QModelIndex sectionIndex(Section section) const;
    bool isEmpty() const { return m_entries[0].isEmpty() && m_entries[1].isEmpty(); }
    qsizetype fileCount() const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    static QString sectionTitle(Section section);
    // The folder a received or shared name belongs to: its first component
    // when it has "/" in it ("Holiday" of "Holiday/2024/a.jpg"), else empty.
    static QString folderOf(const QString& name);
    // A folder row's sum of files: the lengths, blocks and rates added up;
    // transferring, queued, failed, paused or done in that order of
    // precedence; named name, with no id.
    static vortan::FileRow folderTotal(const QString& name, const QList<const vortan::FileRow*>& files);
    // The sizes of a row: "1.2 MB", or "300 kB of 1.2 MB" in progress.
    static QString sizeText(const vortan::FileRow& row);
    // Where a row stands, in words: "48 MB/s, 42 s left" (or "Transferring"
    // before there is a rate) on either side, "Paused", "Not downloaded" (an
    // offer to us nobody acted on), "Waiting for Bob" (nothing is asked
    // for), "Withdrawn by Bob", "Failed", "Done".
    static QString stateText(const vortan::FileRow& row, const QString& peerName);
    // The line under the name: the sizes, then the state unless it is done
    // or failed (the mark and the red problem say those).
    static QString detailText(const vortan::FileRow& row, const QString& peerName);
    // "42 s left", "3 min left", "2 h 5 min left".
    static QString timeLeftText(std::int64_t seconds);
    // The problem shown in red: the error, if any.
    static QString problemText(const vortan::FileRow& row);
    // What a screen reader says of a row: name, sizes, state, problem and
    // the commands that apply with their keys.
    static QString accessibleText(const vortan::FileRow& row, const QString& peerName);

    // How long rows added while a user is shown stay marked as recent.
    static constexpr int kRecentMs = 4000;

signals:
    // Files of the shown user were added (not by setUser): the first of them.
    void filesAdded(const QModelIndex& first);

private:
    struct Folder {
        QString name;
        // Its files in the controller's order.
        QList<QUuid> ids;
        // The sum, refreshed by fileAt().
        mutable vortan::FileRow total;
    };
    // A row below a section: a file, or a folder (then id is null).
    struct Entry {
        QUuid id;
        std::shared_ptr<Folder> folder;
    };
    // Where a file or folder is: its section, its entry's position there,
    // and for a file in a folder its position in the folder (else -1).
    struct Place {
        int section = -1;
        int entry = -1;
        int child = -1;
    };

    void apply(const vortan::FileChanges& changes);
    void remove(const QList<QUuid>& ids);
    void insert(int section, const QList<QUuid>& ids);
    void insertEntries(int section, QList<Entry> entries);
    void insertChildren(Folder& folder, const QList<QUuid>& ids);
    void thumbnailChanged(const QUuid& id);
    void markRecent(const QList<QUuid>& ids);
    QString peerName() const;
    bool listed(const vortan::FileRow& row) const { return !m_user.isEmpty() && row.user == m_user; }
    int sectionRow(int section) const;
    int sectionAtRow(int row) const;
    // The controller's position of an entry's first file.
    qsizetype order(const Entry& entry) const;
    const Folder* folderAt(const QModelIndex& index) const;
    QModelIndex folderIndex(const Folder* folder) const;
    Place place(const QUuid& id) const;
    void invalidatePlaces() { m_placesValid = false; }
    void rebuildPlaces() const;

    vortan::Controller& m_controller;
    QByteArray m_user;
    std::array<QList<Entry>, 2> m_entries;
    // Rebuilt lazily after membership changes.
    mutable QHash<QUuid, Place> m_places;
    mutable QHash<const Folder*, Place> m_folderPlaces;
    mutable std::array<QHash<QString, Folder*>, 2> m_folders;
    mutable bool m_placesValid = false;
    QSet<QUuid> m_recent;
};

}  // namespace brenvo
