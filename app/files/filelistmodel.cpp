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
    for (auto& ids : m_ids)
        ids.clear();
    if (!key.isEmpty()) {
        for (const FileRow& row : m_controller.fileRows()) {
            if (listed(row))
                m_ids[row.download ? 0 : 1].append(row.id);
        }
    }
    m_positionsValid = {false, false};
    endResetModel();
}

int FileListModel::sectionRow(int section) const
{
    if (m_ids[section].isEmpty())
        return -1;
    return section == 0 || m_ids[0].isEmpty() ? 0 : 1;
}

int FileListModel::sectionAtRow(int row) const
{
    if (row == 0)
        return m_ids[0].isEmpty() ? (m_ids[1].isEmpty() ? -1 : 1) : 0;
    if (row == 1 && !m_ids[0].isEmpty() && !m_ids[1].isEmpty())
        return 1;
    return -1;
}

int FileListModel::position(int section, const QUuid& id) const
{
    if (!m_positionsValid[section]) {
        QHash<QUuid, int>& positions = m_positions[section];
        positions.clear();
        positions.reserve(m_ids[section].size());
        for (qsizetype i = 0; i < m_ids[section].size(); ++i)
            positions.insert(m_ids[section][i], int(i));
        m_positionsValid[section] = true;
    }
    return m_positions[section].value(id, -1);
}

void FileListModel::apply(const FileChanges& changes)
{
    if (m_user.isEmpty())
        return;

    std::array<QList<int>, 2> removed;
    for (const auto& change : changes.removed) {
        for (int s = 0; s < 2; ++s) {
            const int at = position(s, change.second);
            if (at >= 0)
                removed[s].append(at);
        }
    }
    for (int s = 0; s < 2; ++s)
        removeRows(s, removed[s]);

    std::array<QList<QUuid>, 2> inserted;
    for (const auto& change : changes.inserted) {
        const std::optional<FileRow> row = m_controller.file(change.second);
        if (row && listed(*row))
            inserted[row->download ? 0 : 1].append(row->id);
    }
    for (int s = 0; s < 2; ++s)
        insertRows(s, inserted[s]);
    markRecent(inserted[0] + inserted[1]);

    std::array<QList<int>, 2> updated;
    for (const QUuid& id : changes.updated) {
        for (int s = 0; s < 2; ++s) {
            const int at = position(s, id);
            if (at >= 0) {
                updated[s].append(at);
                break;
            }
        }
    }
    for (int s = 0; s < 2; ++s) {
        if (updated[s].isEmpty())
            continue;
        const QModelIndex parent = sectionIndex(Section(s));
        forEachRun(updated[s], false, [&](int first, int last) {
            emit dataChanged(index(first, 0, parent), index(last, 0, parent));
        });
    }
}

void FileListModel::removeRows(int section, QList<int> positions)
{
    if (positions.isEmpty())
        return;
    m_positionsValid[section] = false;
    if (positions.size() >= m_ids[section].size()) {
        const int row = sectionRow(section);
        beginRemoveRows({}, row, row);
        m_ids[section].clear();
        endRemoveRows();
        return;
    }
    const QModelIndex parent = sectionIndex(Section(section));
    forEachRun(std::move(positions), true, [&](int first, int last) {
        beginRemoveRows(parent, first, last);
        m_ids[section].remove(first, last - first + 1);
        endRemoveRows();
    });
}

void FileListModel::insertRows(int section, const QList<QUuid>& ids)
{
    if (ids.isEmpty())
        return;
    m_positionsValid[section] = false;
    QList<QUuid>& list = m_ids[section];
    if (list.isEmpty()) {
        const int row = section == 0 || m_ids[0].isEmpty() ? 0 : 1;
        beginInsertRows({}, row, row);
        list = ids;
        endInsertRows();
        return;
    }
    // Both lists follow the controller's order: where each new id lands
    // among the old ones, plus the new ones before it.
    QList<int> targets;
    targets.reserve(ids.size());
    for (qsizetype k = 0; k < ids.size(); ++k) {
        const qsizetype row = m_controller.fileRow(ids[k]);
        const auto before = std::lower_bound(list.cbegin(), list.cend(), row, [&](const QUuid& existing, qsizetype r) {
            return m_controller.fileRow(existing) < r;
        });
        targets.append(int(before - list.cbegin() + k));
    }
    const QModelIndex parent = sectionIndex(Section(section));
    qsizetype next = 0;
    forEachRun(targets, false, [&](int first, int last) {
        beginInsertRows(parent, first, last);
        for (int at = first; at <= last; ++at)
            list.insert(at, ids[next++]);
        endInsertRows();
    });
}

void FileListModel::markRecent(const QList<QUuid>& ids)
{
    if (ids.isEmpty())
        return;
    QModelIndex first;
    for (const QUuid& id : ids) {
        m_recent.insert(id);
        const QModelIndex at = indexOf(id);
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

const FileRow* FileListModel::fileAt(const QModelIndex& index) const
{
    const QUuid id = idAt(index);
    const qsizetype row = id.isNull() ? -1 : m_controller.fileRow(id);
    return row < 0 ? nullptr : &m_controller.fileRows()[row];
}

QUuid FileListModel::idAt(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this || index.internalId() == kSectionId)
        return {};
    const QList<QUuid>& ids = m_ids[index.internalId() - 1];
    return index.row() < ids.size() ? ids[index.row()] : QUuid();
}

QModelIndex FileListModel::indexOf(const QUuid& id) const
{
    for (int s = 0; s < 2; ++s) {
        const int at = position(s, id);
        if (at >= 0)
            return createIndex(at, 0, quintptr(s + 1));
    }
    return {};
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
    if (parent.internalId() != kSectionId)
        return {};
    const int section = sectionAtRow(parent.row());
    if (section < 0 || row >= m_ids[section].size())
        return {};
    return createIndex(row, 0, quintptr(section + 1));
}

QModelIndex FileListModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || child.internalId() == kSectionId)
        return {};
    return sectionIndex(Section(child.internalId() - 1));
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return int(!m_ids[0].isEmpty()) + int(!m_ids[1].isEmpty());
    if (parent.column() != 0 || parent.internalId() != kSectionId)
        return 0;
    const int section = sectionAtRow(parent.row());
    return section < 0 ? 0 : int(m_ids[section].size());
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
    const FileRow* row = fileAt(index);
    if (!row)
        return {};
    switch (role) {
    case Qt::DisplayRole: return row->name;
    case Qt::AccessibleTextRole: return accessibleText(*row, peerName());
    case DetailRole: return detailText(*row, peerName());
    case RecentRole: return m_recent.contains(row->id);
    case FileIdRole: return row->id;
    case IsSectionRole: return false;
    default: return {};
    }
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (index.internalId() == kSectionId)
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QString FileListModel::sectionTitle(Section section)
{
    return section == Section::downloads ? QCoreApplication::translate("FileList", "Downloads")
                                         : QCoreApplication::translate("FileList", "Uploads");
}

QString FileListModel::sizeText(const FileRow& row)
{
    const QLocale locale;
    const QString length = locale.formattedDataSize(row.length, 1, QLocale::DataSizeSIFormat);
    if (!row.inProgress())
        return length;
    return QCoreApplication::translate("FileList", "%1 of %2")
        .arg(locale.formattedDataSize(row.bytesDone, 1, QLocale::DataSizeSIFormat), length);
}

QString FileListModel::timeLeftText(std::int64_t seconds)
{
    seconds = std::max<std::int64_t>(seconds, 0);
    if (seconds < 60)
        return QCoreApplication::translate("FileList", "%Ln s left", nullptr, int(seconds));
    const std::int64_t minutes = (seconds + 30) / 60;
    if (minutes < 60)
        return QCoreApplication::translate("FileList", "%Ln min left", nullptr, int(minutes));
    const QLocale locale;
    return QCoreApplication::translate("FileList", "%1 h %2 min left")
        .arg(locale.toString(qlonglong(minutes / 60)), locale.toString(int(minutes % 60)));
}

QString FileListModel::stateText(const FileRow& row, const QString& peerName)
{
    if (isWithdrawn(row))
        return peerName.isEmpty() ? QCoreApplication::translate("FileList", "Withdrawn")
                                  : QCoreApplication::translate("FileList", "Withdrawn by %1").arg(peerName);
    switch (row.status) {
    case FileRow::Status::done: return QCoreApplication::translate("FileList", "Done");
    case FileRow::Status::failed: return QCoreApplication::translate("FileList", "Failed");
    case FileRow::Status::paused:
        // An offer to us nobody acted on: nothing was paused.
        if (row.download && row.blockCount == 0 && !row.location)
            return QCoreApplication::translate("FileList", "Not downloaded");
        return QCoreApplication::translate("FileList", "Paused");
    case FileRow::Status::queued:
        return peerName.isEmpty() ? QCoreApplication::translate("FileList", "Waiting")
                                  : QCoreApplication::translate("FileList", "Waiting for %1").arg(peerName);
    case FileRow::Status::transferring: {
        if (row.bytesPerSecond <= 0)
            return QCoreApplication::translate("FileList", "Transferring");
        // "48 MB/s", "1.5 MB/s": a decimal only below ten of a unit.
        const auto bytes = std::llround(row.bytesPerSecond);
        double inUnit = double(bytes);
        while (inUnit >= 1000)
            inUnit /= 1000;
        const QString rate = QCoreApplication::translate("FileList", "%1/s").arg(
            QLocale().formattedDataSize(bytes, inUnit < 10 ? 1 : 0, QLocale::DataSizeSIFormat));
        if (!row.secondsLeft)
            return rate;
        return QCoreApplication::translate("FileList", "%1, %2").arg(rate, timeLeftText(*row.secondsLeft));
    }
    }
    return {};
}

QString FileListModel::detailText(const FileRow& row, const QString& peerName)
{
    if ((row.status == FileRow::Status::done || row.status == FileRow::Status::failed) && !isWithdrawn(row))
        return sizeText(row);
    return QCoreApplication::translate("FileList", "%1 — %2").arg(sizeText(row), stateText(row, peerName));
}

QString FileListModel::problemText(const FileRow& row)
{
    // A withdrawn download says so in its state.
    if (!row.error)
        return {};
    // Every block is here, but the file could not take its place.
    if (row.download && row.transferred() && row.status == FileRow::Status::failed)
        return QCoreApplication::translate("FileList", "Received, but not moved into place: %1")
            .arg(errorText(*row.error));
    return errorText(*row.error);
}

QString FileListModel::accessibleText(const FileRow& row, const QString& peerName)
{
    QString result = row.name + QStringLiteral(", ") + sizeText(row) + QStringLiteral(", ") + stateText(row, peerName);
    if (const QString problem = problemText(row); !problem.isEmpty())
        result += QStringLiteral(". ") + problem;
    QStringList commands;
    for (RowButton button : rowButtons(row)) {
        const QKeySequence keys = rowButtonShortcut(button);
        if (!keys.isEmpty())
            commands.append(rowButtonText(button) + QStringLiteral(" (") + keys.toString(QKeySequence::NativeText) +
                            QStringLiteral(")"));
    }
    if (!commands.isEmpty())
        result += QStringLiteral(". ") + commands.join(QStringLiteral(", "));
    return result;
}

}  // namespace brenvo
