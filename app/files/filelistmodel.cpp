#include "app/files/filelistmodel.h"

#include "app/files/fileactions.h"
#include "app/files/thumbnailscache.h"
#include "app/texts/librarytexts.h"
#include "vortan/bidi.h"
#include "vortan/controller.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTimer>

#include <algorithm>
#include <cmath>

using vortan::Controller;
using vortan::FileChanges;
using vortan::FileRow;
using vortan::User;

namespace brenvo {

namespace {

constexpr quintptr kSectionId = 0;

// Calls emitRun(first, last) for each run of consecutive values, highest
// run first when descending.
template<typename F>
void forEachRun(QList<int> values, bool descending, F emitRun)
{
    if (values.isEmpty())
        return;
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    QList<std::pair<int, int>> runs;
    int first = values.front();
    int last = first;
    for (qsizetype i = 1; i < values.size(); ++i) {
        if (values[i] == last + 1) {
            last = values[i];
            continue;
        }
        runs.append({first, last});
        first = last = values[i];
    }
    runs.append({first, last});
    if (descending)
        std::reverse(runs.begin(), runs.end());
    for (const auto& [a, b] : runs)
        emitRun(a, b);
}

}  // namespace

FileListModel::FileListModel(Controller& controller, ThumbnailsCache* thumbnails, QObject* parent)
    : QAbstractItemModel(parent), m_controller(controller)
{
    connect(&controller, &Controller::filesChanged, this, &FileListModel::apply);
    if (thumbnails)
        connect(thumbnails, &ThumbnailsCache::changed, this, &FileListModel::thumbnailChanged);
}

void FileListModel::setUser(const QByteArray& key)
{
    beginResetModel();
    m_user = key;
    m_recent.clear();
    for (auto& entries : m_entries)
        entries.clear();
    invalidatePlaces();
    if (!key.isEmpty()) {
        std::array<QHash<QString, std::shared_ptr<Folder>>, 2> folders;
        for (const FileRow& row : m_controller.fileRows()) {
            if (!listed(row))
                continue;
            const int section = row.download ? 0 : 1;
            const QString folder = folderOf(row.name);
            if (folder.isEmpty()) {
                m_entries[section].append(Entry{row.id, nullptr});
                continue;
            }
            std::shared_ptr<Folder>& shared = folders[section][folder];
            if (!shared) {
                shared = std::make_shared<Folder>(Folder{folder, {}, {}});
                m_entries[section].append(Entry{{}, shared});
            }
            shared->ids.append(row.id);
        }
    }
    invalidatePlaces();
    endResetModel();
}

qsizetype FileListModel::fileCount() const
{
    qsizetype count = 0;
    for (const QList<Entry>& entries : m_entries) {
        for (const Entry& entry : entries)
            count += entry.folder ? entry.folder->ids.size() : 1;
    }
    return count;
}

int FileListModel::sectionRow(int section) const
{
    if (m_entries[section].isEmpty())
        return -1;
    return section == 0 || m_entries[0].isEmpty() ? 0 : 1;
}

int FileListModel::sectionAtRow(int row) const
{
    if (row == 0)
        return m_entries[0].isEmpty() ? (m_entries[1].isEmpty() ? -1 : 1) : 0;
    if (row == 1 && !m_entries[0].isEmpty() && !m_entries[1].isEmpty())
        return 1;
    return -1;
}

qsizetype FileListModel::order(const Entry& entry) const
{
    return m_controller.fileRow(entry.folder ? entry.folder->ids.value(0) : entry.id);
}

void FileListModel::rebuildPlaces() const
{
    if (m_placesValid)
        return;
    m_places.clear();
    m_folderPlaces.clear();
    for (int s = 0; s < 2; ++s) {
        m_folders[s].clear();
        const QList<Entry>& entries = m_entries[s];
        for (qsizetype e = 0; e < entries.size(); ++e) {
            const Entry& entry = entries[e];
            if (!entry.folder) {
                m_places.insert(entry.id, Place{s, int(e), -1});
                continue;
            }
            m_folderPlaces.insert(entry.folder.get(), Place{s, int(e), -1});
            m_folders[s].insert(entry.folder->name, entry.folder.get());
            for (qsizetype c = 0; c < entry.folder->ids.size(); ++c)
                m_places.insert(entry.folder->ids[c], Place{s, int(e), int(c)});
        }
    }
    m_placesValid = true;
}

FileListModel::Place FileListModel::place(const QUuid& id) const
{
    rebuildPlaces();
    return m_places.value(id);
}

void FileListModel::apply(const FileChanges& changes)
{
    if (m_user.isEmpty())
        return;

    QList<QUuid> removed;
    for (const auto& change : changes.removed)
        removed.append(change.second);
    remove(removed);

    std::array<QList<QUuid>, 2> inserted;
    for (const auto& change : changes.inserted) {
        const std::optional<FileRow> row = m_controller.file(change.second);
        if (row && listed(*row))
            inserted[row->download ? 0 : 1].append(row->id);
    }
    for (int s = 0; s < 2; ++s)
        insert(s, inserted[s]);
    markRecent(inserted[0] + inserted[1]);

    // Changed files, and the folders whose sums they change.
    std::array<QList<int>, 2> entries;
    QHash<int, QList<int>> children;  // section * 2^30 + entry → children
    for (const QUuid& id : changes.updated) {
        const Place at = place(id);
        if (at.section < 0)
            continue;
        entries[at.section].append(at.entry);
        if (at.child >= 0)
            children[(at.section << 30) + at.entry].append(at.child);
    }
    for (int s = 0; s < 2; ++s) {
        if (entries[s].isEmpty())
            continue;
        const QModelIndex parent = sectionIndex(Section(s));
        forEachRun(entries[s], false, [&](int first, int last) {
            emit dataChanged(index(first, 0, parent), index(last, 0, parent));
        });
    }
    for (auto it = children.cbegin(); it != children.cend(); ++it) {
        const int s = it.key() >> 30;
        const QModelIndex parent = index(it.key() & ((1 << 30) - 1), 0, sectionIndex(Section(s)));
        forEachRun(it.value(), false, [&](int first, int last) {
            emit dataChanged(index(first, 0, parent), index(last, 0, parent));
        });
    }
}

void FileListModel::remove(const QList<QUuid>& ids)
{
    // Files inside folders first (the folders keep their places), then the
    // rows below the sections, folders left empty among them.
    std::array<QList<int>, 2> entries;
    QHash<Folder*, QList<int>> children;
    for (const QUuid& id : ids) {
        const Place at = place(id);
        if (at.section < 0)
            continue;
        if (at.child < 0)
            entries[at.section].append(at.entry);
        else
            children[m_entries[at.section][at.entry].folder.get()].append(at.child);
    }
    for (auto it = children.begin(); it != children.end(); ++it) {
        Folder* folder = it.key();
        QList<int>& positions = it.value();
        std::sort(positions.begin(), positions.end());
        positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
        if (positions.size() >= folder->ids.size()) {
            rebuildPlaces();
            const Place at = m_folderPlaces.value(folder);
            entries[at.section].append(at.entry);
            continue;
        }
        const QModelIndex parent = folderIndex(folder);
        forEachRun(positions, true, [&](int first, int last) {
            beginRemoveRows(parent, first, last);
            folder->ids.remove(first, last - first + 1);
            invalidatePlaces();
            endRemoveRows();
        });
        invalidatePlaces();
    }
    for (int s = 0; s < 2; ++s) {
        QList<int>& positions = entries[s];
        if (positions.isEmpty())
            continue;
        std::sort(positions.begin(), positions.end());
        positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
        invalidatePlaces();
        if (positions.size() >= m_entries[s].size()) {
            const int row = sectionRow(s);
            beginRemoveRows({}, row, row);
            m_entries[s].clear();
            invalidatePlaces();
            endRemoveRows();
            continue;
        }
        const QModelIndex parent = sectionIndex(Section(s));
        forEachRun(positions, true, [&](int first, int last) {
            beginRemoveRows(parent, first, last);
            m_entries[s].remove(first, last - first + 1);
            invalidatePlaces();
            endRemoveRows();
        });
    }
}

void FileListModel::insert(int section, const QList<QUuid>& ids)
{
    if (ids.isEmpty())
        return;
    rebuildPlaces();
    // Files of a folder already shown go into it; the others make rows,
    // new folders among them.
    QList<Entry> entries;
    QHash<QString, std::shared_ptr<Folder>> newFolders;
    QHash<Folder*, QList<QUuid>> intoFolders;
    QList<Folder*> folderOrder;
    for (const QUuid& id : ids) {
        const std::optional<FileRow> row = m_controller.file(id);
        const QString name = row ? folderOf(row->name) : QString();
        if (name.isEmpty()) {
            entries.append(Entry{id, nullptr});
        } else if (Folder* shown = m_folders[section].value(name)) {
            if (!intoFolders.contains(shown))
                folderOrder.append(shown);
            intoFolders[shown].append(id);
        } else {
            std::shared_ptr<Folder>& folder = newFolders[name];
            if (!folder) {
                folder = std::make_shared<Folder>(Folder{name, {}, {}});
                entries.append(Entry{{}, folder});
            }
            folder->ids.append(id);
        }
    }
    for (Folder* folder : folderOrder)
        insertChildren(*folder, intoFolders[folder]);
    insertEntries(section, std::move(entries));
}

void FileListModel::insertChildren(Folder& folder, const QList<QUuid>& ids)
{
    QList<QUuid>& list = folder.ids;
    QList<int> targets;
    targets.reserve(ids.size());
    for (qsizetype k = 0; k < ids.size(); ++k) {
        const qsizetype row = m_controller.fileRow(ids[k]);
        const auto before = std::lower_bound(list.cbegin(), list.cend(), row, [&](const QUuid& existing, qsizetype r) {
            return m_controller.fileRow(existing) < r;
        });
        targets.append(int(before - list.cbegin() + k));
    }
    const QModelIndex parent = folderIndex(&folder);
    qsizetype next = 0;
    forEachRun(targets, false, [&](int first, int last) {
        beginInsertRows(parent, first, last);
        for (int at = first; at <= last; ++at)
            list.insert(at, ids[next++]);
        invalidatePlaces();
        endInsertRows();
    });
    invalidatePlaces();
}

void FileListModel::insertEntries(int section, QList<Entry> entries)
{
    if (entries.isEmpty())
        return;
    invalidatePlaces();
    std::stable_sort(entries.begin(), entries.end(),
                     [this](const Entry& a, const Entry& b) { return order(a) < order(b); });
    QList<Entry>& list = m_entries[section];
    if (list.isEmpty()) {
        const int row = section == 0 || m_entries[0].isEmpty() ? 0 : 1;
        beginInsertRows({}, row, row);
        list = std::move(entries);
        invalidatePlaces();
        endInsertRows();
        return;
    }
    // Both lists follow the controller's order: where each new entry lands
    // among the old ones, plus the new ones before it.
    QList<int> targets;
    targets.reserve(entries.size());
    for (qsizetype k = 0; k < entries.size(); ++k) {
        const qsizetype row = order(entries[k]);
        const auto before = std::lower_bound(list.cbegin(), list.cend(), row, [&](const Entry& existing, qsizetype r) {
            return order(existing) < r;
        });
        targets.append(int(before - list.cbegin() + k));
    }
    const QModelIndex parent = sectionIndex(Section(section));
    qsizetype next = 0;
    forEachRun(targets, false, [&](int first, int last) {
        beginInsertRows(parent, first, last);
        for (int at = first; at <= last; ++at)
            list.insert(at, entries[next++]);
        invalidatePlaces();
        endInsertRows();
    });
}

void FileListModel::markRecent(const QList<QUuid>& ids)
{
    if (ids.isEmpty())
        return;
    // The first new row as shown: a folder rather than a file inside it.
    QModelIndex first;
    for (const QUuid& id : ids) {
        m_recent.insert(id);
        QModelIndex at = indexOf(id);
        if (at.parent().isValid() && !at.parent().data(IsSectionRole).toBool())
            at = at.parent();
        if (!first.isValid() || at.parent().row() < first.parent().row() ||
            (at.parent().row() == first.parent().row() && at.row() < first.row()))
            first = at;
    }
    QTimer::singleShot(kRecentMs, this, [this, ids] {
        for (const QUuid& id : ids) {
            if (!m_recent.remove(id))
                continue;
            const QModelIndex at = indexOf(id);
            if (at.isValid())
                emit dataChanged(at, at, {RecentRole});
            if (const QModelIndex folder = at.parent(); isFolder(folder))
                emit dataChanged(folder, folder, {RecentRole});
        }
    });
    emit filesAdded(first);
}

QString FileListModel::peerName() const
{
    const std::optional<User> user = m_controller.user(m_user);
    return user ? vortan::withoutBidiControls(user->name) : QString();
}

void FileListModel::thumbnailChanged(const QUuid& id)
{
    const QModelIndex at = indexOf(id);
    if (at.isValid())
        emit dataChanged(at, at, {Qt::DecorationRole});
}

const FileListModel::Folder* FileListModel::folderAt(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this || index.internalId() == kSectionId)
        return nullptr;
    if (index.internalId() <= 2) {
        const QList<Entry>& entries = m_entries[index.internalId() - 1];
        return index.row() < entries.size() ? entries[index.row()].folder.get() : nullptr;
    }
    return nullptr;
}

bool FileListModel::isFolder(const QModelIndex& index) const
{
    return folderAt(index) != nullptr;
}

QModelIndex FileListModel::folderIndex(const Folder* folder) const
{
    rebuildPlaces();
    const Place at = m_folderPlaces.value(folder);
    return at.section < 0 ? QModelIndex() : createIndex(at.entry, 0, quintptr(at.section + 1));
}

const FileRow* FileListModel::fileAt(const QModelIndex& index) const
{
    if (const Folder* folder = folderAt(index)) {
        QList<const FileRow*> files;
        files.reserve(folder->ids.size());
        for (const QUuid& id : folder->ids) {
            const qsizetype row = m_controller.fileRow(id);
            if (row >= 0)
                files.append(&m_controller.fileRows()[row]);
        }
        folder->total = folderTotal(folder->name, files);
        return &folder->total;
    }
    const QUuid id = idAt(index);
    const qsizetype row = id.isNull() ? -1 : m_controller.fileRow(id);
    return row < 0 ? nullptr : &m_controller.fileRows()[row];
}

QUuid FileListModel::idAt(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this || index.internalId() == kSectionId)
        return {};
    if (index.internalId() <= 2) {
        const QList<Entry>& entries = m_entries[index.internalId() - 1];
        return index.row() < entries.size() ? entries[index.row()].id : QUuid();
    }
    const auto* folder = reinterpret_cast<const Folder*>(index.internalId());
    return folder->ids.value(index.row());
}

QList<QUuid> FileListModel::idsAt(const QModelIndex& index) const
{
    if (const Folder* folder = folderAt(index))
        return folder->ids;
    const QUuid id = idAt(index);
    return id.isNull() ? QList<QUuid>() : QList<QUuid>{id};
}

QModelIndex FileListModel::indexOf(const QUuid& id) const
{
    const Place at = place(id);
    if (at.section < 0)
        return {};
    if (at.child < 0)
        return createIndex(at.entry, 0, quintptr(at.section + 1));
    return createIndex(at.child, 0, quintptr(m_entries[at.section][at.entry].folder.get()));
}

QModelIndex FileListModel::sectionIndex(Section section) const
{
    const int row = sectionRow(int(section));
    return row < 0 ? QModelIndex() : createIndex(row, 0, kSectionId);
}

QModelIndex FileListModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return sectionAtRow(row) >= 0 ? createIndex(row, 0, kSectionId) : QModelIndex();
    if (const Folder* folder = folderAt(parent))
        return row < folder->ids.size() ? createIndex(row, 0, quintptr(folder)) : QModelIndex();
    if (parent.internalId() != kSectionId)
        return {};
    const int section = sectionAtRow(parent.row());
    if (section < 0 || row >= m_entries[section].size())
        return {};
    return createIndex(row, 0, quintptr(section + 1));
}

QModelIndex FileListModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || child.internalId() == kSectionId)
        return {};
    if (child.internalId() <= 2)
        return sectionIndex(Section(child.internalId() - 1));
    return folderIndex(reinterpret_cast<const Folder*>(child.internalId()));
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return int(!m_entries[0].isEmpty()) + int(!m_entries[1].isEmpty());
    if (parent.column() != 0)
        return 0;
    if (const Folder* folder = folderAt(parent))
        return int(folder->ids.size());
    if (parent.internalId() != kSectionId)
        return 0;
    const int section = sectionAtRow(parent.row());
    return section < 0 ? 0 : int(m_entries[section].size());
}

int FileListModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    if (index.internalId() == kSectionId) {
        const int section = sectionAtRow(index.row());
        if (section < 0)
            return {};
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole: return sectionTitle(Section(section));
        case IsSectionRole: return true;
        default: return {};
        }
    }
    const Folder* folder = folderAt(index);
    const FileRow* row = fileAt(index);
    if (!row)
        return {};
    if (folder) {
        // One spelled out: without a catalogue (English) a %n plural reads "1 files".
        const QString files = folder->ids.size() == 1
                                  ? QCoreApplication::translate("FileList", "1 file")
                                  : QCoreApplication::translate("FileList", "%n files", nullptr, int(folder->ids.size()));
        switch (role) {
        case Qt::DisplayRole: return row->name;
        case Qt::AccessibleTextRole:
            return QCoreApplication::translate("FileList", "Folder %1, %2").arg(row->name, files) +
                   accessibleText(*row, peerName()).mid(row->name.size());
        case DetailRole:
            return QCoreApplication::translate("FileList", "%1, %2").arg(files, detailText(*row, peerName()));
        case RecentRole:
            return std::any_of(folder->ids.cbegin(), folder->ids.cend(),
                               [this](const QUuid& id) { return m_recent.contains(id); });
        case IsFolderRole: return true;
        case IsSectionRole: return false;
        default: return {};
        }
    }
    switch (role) {
    case Qt::DisplayRole:
        // Inside its folder a file is named by its path there.
        return index.internalId() > 2 ? row->name.mid(folderOf(row->name).size() + 1) : row->name;
    case Qt::AccessibleTextRole: return accessibleText(*row, peerName());
    case DetailRole: return detailText(*row, peerName());
    case RecentRole: return m_recent.contains(row->id);
    case FileIdRole: return row->id;
    case IsSectionRole:
    case IsFolderRole: return false;
    default: return {};
    }
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (index.internalId() == kSectionId)
        return Qt::ItemIsEnabled;
    if (isFolder(index))
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

}  // namespace brenvo
