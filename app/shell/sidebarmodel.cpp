#include "app/shell/sidebarmodel.h"

#include "app/cards/cardfiles.h"
#include "app/shell/icons.h"
#include "app/shell/reasontext.h"

#include <QFont>
#include <QSet>

#include <algorithm>

using vortan::FileRow;
using vortan::User;

namespace brenvo {

namespace {

QByteArray identity(const QByteArray& key, bool me) { return (me ? "m" : "u") + key; }

// Why the last connection failed, while not connected (while connecting
// again, that is what the row tells).
std::optional<ReasonText> reasonOf(const User& user)
{
    if (user.state != User::State::notConnected)
        return std::nullopt;
    std::optional<ReasonText> reason = userReason(user, QDateTime::currentDateTimeUtc());
    if (reason && reason->brief.isEmpty())
        return std::nullopt;  // not about the connection
    return reason;
}

}  // namespace

SidebarModel::SidebarModel(QObject* parent) : QAbstractListModel(parent)
{
    m_reasonTimer.setSingleShot(true);
    connect(&m_reasonTimer, &QTimer::timeout, this, [this] {
        for (int i = 0; i < m_rows.size(); ++i)
            if (!m_rows[i].isMe && m_rows[i].user.failure && m_rows[i].user.failure->retryAt)
                emit dataChanged(index(i), index(i));
        scheduleReasons();
    });
}

void SidebarModel::scheduleReasons()
{
    std::optional<QDateTime> next;
    for (const Row& row : std::as_const(m_rows)) {
        if (row.isMe)
            continue;
        if (const std::optional<ReasonText> reason = reasonOf(row.user); reason && reason->changesAt)
            next = next ? std::min(*next, *reason->changesAt) : *reason->changesAt;
    }
    if (!next) {
        m_reasonTimer.stop();
        return;
    }
    m_reasonTimer.start(int(std::clamp<qint64>(QDateTime::currentDateTimeUtc().msecsTo(*next), 0, 3'600'000)));
}

QString SidebarModel::stateText(const User& user)
{
    switch (user.state) {
    case User::State::connected:
        if (!user.throughTor)
            return tr("Connected");
        return user.noDirectPath ? tr("Connected through Tor, no direct path") : tr("Connected through Tor");
    case User::State::connecting: return tr("Connecting…");
    case User::State::notConnected: return user.onLocalNetwork ? tr("On your network") : tr("Not connected");
    }
    return {};
}

bool SidebarModel::available(const User& user)
{
    return user.state == User::State::connected || (user.state == User::State::notConnected && user.onLocalNetwork);
}

QString SidebarModel::description(const User& user, int newFiles, const QString& reason)
{
    QString text = stateText(user);
    // One spelled out: without a catalogue (English) a %n plural reads "1 new files".
    if (newFiles > 0)
        text = newFiles == 1 ? tr("%1, 1 new file").arg(text) : tr("%1, %Ln new files", nullptr, newFiles).arg(text);
    return reason.isEmpty() ? text : tr("%1. %2").arg(text, reason);
}

bool SidebarModel::isNewFile(const FileRow& row)
{
    return row.download && row.paused && row.blockCount == 0 && !row.error && !row.unavailable &&
           row.numberOfBlocks > 0;
}

QHash<QByteArray, int> SidebarModel::newFiles(const QList<FileRow>& rows)
{
    QHash<QByteArray, int> counts;
    for (const FileRow& row : rows)
        if (isNewFile(row))
            ++counts[row.user];
    return counts;
}

void SidebarModel::setUsers(const std::optional<User>& me, const QList<User>& users)
{
    QList<Row> rows;
    rows.reserve(users.size() + 1);
    if (me)
        rows.append({*me, true, 0});
    for (const User& user : users)
        rows.append({user, false, m_newFiles.value(user.key)});
    apply(std::move(rows));
}

void SidebarModel::setNewFiles(const QHash<QByteArray, int>& counts)
{
    if (counts == m_newFiles)
        return;
    m_newFiles = counts;
    QList<Row> rows = m_rows;
    for (Row& row : rows)
        row.newFiles = row.isMe ? 0 : counts.value(row.user.key);
    apply(std::move(rows));
}

void SidebarModel::apply(QList<Row> rows)
{
    struct Reschedule {
        SidebarModel* model;
        ~Reschedule() { model->scheduleReasons(); }
    } reschedule{this};
    QSet<QByteArray> wanted;
    for (const Row& row : rows)
        wanted.insert(identity(row.user.key, row.isMe));
    if (wanted.size() != rows.size()) {  // a key twice: no identity to keep
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
        return;
    }
    // Removals, highest run first.
    for (int last = int(m_rows.size()) - 1; last >= 0; --last) {
        if (wanted.contains(identity(m_rows[last].user.key, m_rows[last].isMe)))
            continue;
        int first = last;
        while (first > 0 && !wanted.contains(identity(m_rows[first - 1].user.key, m_rows[first - 1].isMe)))
            --first;
        beginRemoveRows({}, first, last);
        m_rows.remove(first, last - first + 1);
        endRemoveRows();
        last = first;
    }
    // The rows left must keep their order; a reordering resets.
    QSet<QByteArray> kept;
    for (const Row& row : std::as_const(m_rows))
        kept.insert(identity(row.user.key, row.isMe));
    qsizetype next = 0;
    for (const Row& row : std::as_const(rows)) {
        if (!kept.contains(identity(row.user.key, row.isMe)))
            continue;
        if (!sameRow(m_rows[next], row)) {
            beginResetModel();
            m_rows = std::move(rows);
            endResetModel();
            return;
        }
        ++next;
    }
    // Insertions, in runs, lowest first.
    for (int at = 0; at < rows.size();) {
        if (at < m_rows.size() && sameRow(m_rows[at], rows[at])) {
            ++at;
            continue;
        }
        int end = at;
        while (end < rows.size() && !kept.contains(identity(rows[end].user.key, rows[end].isMe)))
            ++end;
        beginInsertRows({}, at, end - 1);
        for (int i = at; i < end; ++i)
            m_rows.insert(i, rows[i]);
        endInsertRows();
        at = end;
    }
    // Changed values, in runs.
    for (int at = 0; at < rows.size(); ++at) {
        if (m_rows[at] == rows[at])
            continue;
        int end = at;
        while (end < rows.size() && !(m_rows[end] == rows[end])) {
            m_rows[end] = rows[end];
            ++end;
        }
        emit dataChanged(index(at), index(end - 1));
        at = end;
    }
}

int SidebarModel::rowOf(const QByteArray& key, bool me) const
{
    if (key.isEmpty())
        return -1;
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].isMe == me && m_rows[i].user.key == key)
            return i;
    return -1;
}

QModelIndex SidebarModel::indexOf(const QByteArray& key) const
{
    int row = rowOf(key, false);
    if (row < 0)
        row = rowOf(key, true);
    return row < 0 ? QModelIndex() : index(row);
}

int SidebarModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }

QVariant SidebarModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = m_rows[index.row()];
    const std::optional<ReasonText> reason = row.isMe ? std::nullopt : reasonOf(row.user);
    const QString why = reason ? reason->text : QString();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: return displayName(row.user.name);
    case Qt::DecorationRole: return themeIcon(icons::person);
    case Qt::FontRole: {
        if (!row.isMe)
            return {};
        QFont bold;
        bold.setWeight(QFont::DemiBold);
        return bold;
    }
    case Qt::AccessibleDescriptionRole: return row.isMe ? tr("Me") : description(row.user, row.newFiles, why);
    case Qt::ToolTipRole: {
        if (row.isMe)
            return tr("%1 (me)").arg(displayName(row.user.name));
        const QString text = tr("%1 — %2").arg(displayName(row.user.name), description(row.user, row.newFiles, why));
        return reason && !reason->detail.isEmpty() ? text + QLatin1Char('\n') + reason->detail : text;
    }
    case KeyRole: return row.user.key;
    case IsMeRole: return row.isMe;
    case StateRole: return int(row.user.state);
    case AvailableRole: return !row.isMe && available(row.user);
    case StateTextRole:
        if (row.isMe)
            return tr("Me");
        return reason ? reason->brief : stateText(row.user);
    case NewFilesRole: return row.newFiles;
    case EditTextRole: return row.isMe ? tr("Edit My Card") : tr("Edit %1").arg(displayName(row.user.name));
    default: return {};
    }
}

Qt::ItemFlags SidebarModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

}  // namespace brenvo
