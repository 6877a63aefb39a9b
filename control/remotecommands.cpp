#include "control/remotecommands.h"

#include "control/controlserver.h"
#include "control/heldoffers.h"
#include "vortan/controller.h"
#include "vortan/errors.h"
#include "vortan/file2.h"
#include "vortan/folderfiles.h"

#include <QFileInfo>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <exception>

namespace brenvo::control {

using vortan::FileRow;
using vortan::User;

namespace {

// What a card holds of a user: nothing of the connection.
User cardOf(const User& user)
{
    return User(user.name, user.address, user.port, user.key);
}

QList<User> cardsOf(const QList<User>& users)
{
    QList<User> cards;
    cards.reserve(users.size());
    for (const User& user : users)
        cards.append(cardOf(user));
    return cards;
}

const FileRow* rowIn(const QList<FileRow>& rows, const QUuid& id)
{
    const auto it = std::find_if(rows.begin(), rows.end(), [&](const FileRow& row) { return row.id == id; });
    return it == rows.end() ? nullptr : &*it;
}

// Whether the record is an offer to us that was never started.
bool newOffer(const FileRow& file)
{
    return file.download && file.paused && !file.location && file.blockCount == 0;
}

}  // namespace

Answer RemoteCommands::handle(const RemoteRequest& request)
{
    if (!m_controller.me())
        return ErrorAnswer{ErrorAnswer::Kind::notOpen, {}, {}};
    try {
        return std::visit([this](const auto& r) { return handleOne(r); }, request);
    } catch (const std::exception& e) {
        return ErrorAnswer{ErrorAnswer::Kind::failed, {}, QString::fromUtf8(e.what())};
    }
}

void RemoteCommands::serve(ControlServer& server, vortan::Controller& controller)
{
    QPointer<vortan::Controller> alive(&controller);
    server.setCommandHandler([alive](const RemoteRequest& request) {
        if (!alive)
            return refusal(QStringLiteral("the instance is ending"));
        return RemoteCommands(*alive).handle(request);
    });
}

Answer RemoteCommands::handleOne(const CardRequest& request)
{
    User me = *m_controller.me();
    if (request.name)
        me.name = *request.name;
    if (request.address)
        me.address = request.address->isEmpty() ? std::nullopt : request.address;
    if (request.port)
        me.port = *request.port;
    if (request.name || request.address || request.port) {
        m_controller.editMe(me);
        save();
    }
    return CardAnswer{cardOf(*m_controller.me())};
}

Answer RemoteCommands::handleOne(const ImportRequest& request)
{
    const QByteArray own = m_controller.me()->key;
    ImportAnswer answer;
    QList<User> added;
    for (const User& card : request.cards) {
        if (card.key == own) {
            answer.entries.append({true, std::nullopt});
            continue;
        }
        const QList<User>& users = m_controller.users();
        const auto known = std::find_if(users.begin(), users.end(), [&](const User& user) { return user.key == card.key; });
        answer.entries.append({false, known == users.end() ? std::nullopt : std::optional<User>(cardOf(*known))});
        added.append(cardOf(card));
    }
    if (!added.isEmpty()) {
        m_controller.addUsers(added);
        save();
    }
    return answer;
}

Answer RemoteCommands::handleOne(const UsersRequest&)
{
    return UsersAnswer{cardsOf(m_controller.users())};
}

Answer RemoteCommands::handleOne(const FilesRequest&)
{
    return FilesAnswer{m_controller.fileRows(), cardsOf(m_controller.users())};
}

Answer RemoteCommands::handleOne(const ShareRequest& request)
{
    QList<std::pair<vortan::File2, QUrl>> files;
    for (const QString& path : request.paths) {
        try {
            if (!QFileInfo(path).isDir()) {
                files.append({vortan::File2::at(path), QUrl::fromLocalFile(path)});
                continue;
            }
            // A folder is offered as its files, named by their paths in it.
            const QList<vortan::File2> inside = vortan::filesOfFolder(path);
            if (inside.isEmpty())
                return ErrorAnswer{ErrorAnswer::Kind::folder, path, {}};
            for (const vortan::File2& file : inside)
                files.append({file, *file.location});
        } catch (const vortan::IoError& e) {
            return ErrorAnswer{ErrorAnswer::Kind::unreadable, path, e.description()};
        }
    }

    // A file already offered to a user is not offered to them again: the
    // first offer of each user and location, looked up in one pass.
    QHash<QByteArray, QHash<QUrl, QUuid>> offered;
    QSet<QUuid> before;
    for (const FileRow& file : m_controller.fileRows()) {
        before.insert(file.id);
        if (!file.download && file.location) {
            QHash<QUrl, QUuid>& ofUser = offered[file.user];
            if (!ofUser.contains(*file.location))
                ofUser.insert(*file.location, file.id);
        }
    }
    ShareAnswer answer;
    for (const QByteArray& key : request.users) {
        QList<vortan::File2> fresh;
        const QHash<QUrl, QUuid> ofUser = offered.value(key);
        for (const auto& [file, location] : std::as_const(files)) {
            const auto found = ofUser.constFind(location);
            const std::optional<FileRow> row = found == ofUser.cend() ? std::nullopt : m_controller.file(*found);
            if (row)
                answer.already.append(*row);
            else
                fresh.append(file);
        }
        if (!fresh.isEmpty())
            m_controller.shareFiles(fresh, {key});
    }
    save();
    for (const FileRow& file : m_controller.fileRows()) {
        if (!before.contains(file.id))
            answer.added.append(file);
    }
    answer.users = cardsOf(m_controller.users());
    return answer;
}

Answer RemoteCommands::handleOne(const PauseRequest& request)
{
    m_controller.pause(request.ids);
    save();
    const QString problem = updateHeldOffers(request.ids, true);
    return RecordsAnswer{rowsOf(request.ids), problem};
}

Answer RemoteCommands::handleOne(const ResumeRequest& request)
{
    std::optional<vortan::DownloadLocation> location;
    if (request.directory)
        location = vortan::DownloadLocation::directory(QUrl::fromLocalFile(*request.directory));
    QList<vortan::ResumeItem> items;
    for (const QUuid& id : request.ids)
        items.append(vortan::ResumeItem{id, location});
    m_controller.resume(items);
    save();
    const QString problem = updateHeldOffers(request.ids, false);
    return RecordsAnswer{rowsOf(request.ids), problem};
}

Answer RemoteCommands::handleOne(const RemoveRequest& request)
{
    const QList<FileRow> removed = rowsOf(request.ids);
    // The removed ids are remembered per user, so group them by the record's user.
    QList<QByteArray> users;
    QHash<QByteArray, QList<QUuid>> byUser;
    for (const FileRow& file : removed) {
        if (!byUser.contains(file.user))
            users.append(file.user);
        byUser[file.user].append(file.id);
    }
    for (const QByteArray& user : std::as_const(users))
        m_controller.removeFiles(byUser.value(user), user);
    save();
    const QString problem = updateHeldOffers(request.ids, false);
    return RecordsAnswer{removed, problem};
}

QList<FileRow> RemoteCommands::rowsOf(const QList<QUuid>& ids) const
{
    QList<FileRow> rows;
    for (const QUuid& id : ids) {
        if (const FileRow* row = rowIn(m_controller.fileRows(), id))
            rows.append(*row);
    }
    return rows;
}

// Keeps the held offers' file in step with the user's decisions on ids:
// held true after a pause, false after a resume or a removal. Ids of records
// that are gone are dropped on the way.
QString RemoteCommands::updateHeldOffers(const QList<QUuid>& ids, bool held)
{
    const QList<FileRow>& rows = m_controller.fileRows();
    QSet<QUuid> set = readHeldOffers(m_controller.supportDirectory());
    const QSet<QUuid> before = set;
    for (const QUuid& id : ids) {
        const FileRow* file = rowIn(rows, id);
        if (held && file && newOffer(*file))
            set.insert(id);
        else
            set.remove(id);
    }
    for (auto it = set.begin(); it != set.end();)
        it = rowIn(rows, *it) ? std::next(it) : set.erase(it);
    if (set == before)
        return {};
    return writeHeldOffers(m_controller.supportDirectory(), set);
}

void RemoteCommands::save()
{
    // Published too, so that the answer reads the new rows.
    m_controller.save();
    m_controller.publishNow();
}

}  // namespace brenvo::control
