#include "cli/commands.h"

#include "cli/cards.h"
#include "cli/clierror.h"
#include "cli/heldoffers.h"
#include "cli/lookup.h"
#include "cli/text.h"
#include "vortan/controller.h"
#include "vortan/errors.h"
#include "vortan/file2.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QUrl>

#include <exception>
#include <type_traits>

namespace brenvo::cli {

using vortan::Controller;
using vortan::FileRow;
using vortan::User;

namespace {

QString hostAndPort(const User& user)
{
    QString host = user.address ? printable(*user.address) : QStringLiteral("-");
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    const QString port = user.port ? QString::number(*user.port) : QStringLiteral("-");
    return host + QLatin1Char(':') + port;
}

QString stateOf(const FileRow& file)
{
    if ((file.status == vortan::FileRow::Status::done))
        return QStringLiteral("done");
    return file.paused ? QStringLiteral("paused") : QStringLiteral("active");
}

QString recordLine(const Controller& controller, const FileRow& file)
{
    // Like the program's file list: a withdrawn offer says so instead of its error.
    const bool withdrawn = file.download && file.unavailable && file.status != vortan::FileRow::Status::done;
    const QString error = withdrawn    ? QStringLiteral("Not shared anymore.")
                          : file.error ? printable(file.error->localizedDescription())
                                       : QStringLiteral("-");
    const QString location =
        file.location ? printable(file.location->isLocalFile() ? file.location->toLocalFile() : file.location->toString())
                        : QStringLiteral("-");
    return QStringList{idString(file.id),
                       file.download ? QStringLiteral("in") : QStringLiteral("out"),
                       userLabel(controller.users(), file.user),
                       printable(file.name),
                       QString::number(file.length),
                       QStringLiteral("%1/%2").arg(file.blockCount).arg(file.numberOfBlocks),
                       stateOf(file),
                       error,
                       location}
               .join(QLatin1Char('\t'))
           + QLatin1Char('\n');
}

QList<QUuid> resolveIds(const Controller& controller, const QStringList& queries)
{
    QList<QUuid> ids;
    for (const QString& query : queries) {
        const QUuid id = findRecordId(controller.fileRows(), query);
        if (!ids.contains(id))
            ids.append(id);
    }
    return ids;
}

QString shortLine(const Controller& controller, const QUuid& id, const QString& what)
{
    const std::optional<FileRow> file = controller.file(id);
    const QString name = file ? printable(file->name) : QString();
    return QStringList{idString(id), name, what}.join(QLatin1Char('\t')) + QLatin1Char('\n');
}

void line(CommandOutput& out, const QStringList& fields)
{
    out.out += (fields.join(QLatin1Char('\t')) + QLatin1Char('\n')).toUtf8();
}

void errorLine(CommandOutput& out, const QString& message)
{
    out.err += QStringLiteral("brenvo-cli: ") + message + QLatin1Char('\n');
}

// Saves, and publishes so that what is printed next reads the new rows.
void save(Controller& controller)
{
    controller.save();
    controller.publishNow();
}

int cardCommand(Controller& controller, const Invocation& inv, CommandOutput& out)
{
    User me = *controller.me();
    if (inv.name)
        me.name = *inv.name;
    if (inv.address)
        me.address = inv.address->isEmpty() ? std::nullopt : std::optional<QString>(*inv.address);
    if (inv.port)
        me.port = *inv.port;
    if (inv.name || inv.address || inv.port) {
        controller.editMe(me);
        save(controller);
    }

    const User card = *controller.me();
    if (inv.output.isEmpty()) {
        line(out, {printable(card.name), hostAndPort(card), fingerprint(card.key)});
        return kExitSuccess;
    }
    if (inv.output == QLatin1String("-")) {
        out.out += encodeCardBytes(card);
        return kExitSuccess;
    }
    QString path = inv.output;
    if (QFileInfo(path).isDir())
        path = QDir(path).filePath(card.name.isEmpty() ? QStringLiteral("card.bcard") : cardFileName(card));
    writeCard(path, card);
    line(out, {printable(card.name), fingerprint(card.key)});
    return kExitSuccess;
}

// What a new card of a known user changes: "name Ada -> Ada L, address 10.0.0.7 -> -".
QString changesOf(const User& before, const User& after)
{
    const auto text = [](const auto& value) {
        if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::optional<QString>>)
            return value ? printable(*value) : QStringLiteral("-");
        else
            return value ? QString::number(*value) : QStringLiteral("-");
    };
    QStringList changes;
    if (before.name != after.name)
        changes.append(QStringLiteral("name %1 -> %2").arg(printable(before.name), printable(after.name)));
    if (before.address != after.address)
        changes.append(QStringLiteral("address %1 -> %2").arg(text(before.address), text(after.address)));
    if (before.port != after.port)
        changes.append(QStringLiteral("port %1 -> %2").arg(text(before.port), text(after.port)));
    return changes.isEmpty() ? QStringLiteral("known, unchanged") : QStringLiteral("updated: ") + changes.join(QStringLiteral(", "));
}

int importCommand(Controller& controller, const Invocation& inv, CommandOutput& out)
{
    QList<User> users;
    QStringList lines;
    int status = kExitSuccess;
    for (const QString& path : inv.operands) {
        try {
            User user = readCard(path);
            if (controller.me() && user.key == controller.me()->key)
                throw failure(QStringLiteral("%1 is your own card").arg(printable(path)));
            QStringList fields{printable(user.name), fingerprint(user.key)};
            if (const std::optional<User> known = controller.user(user.key))
                fields.append(changesOf(*known, user));
            lines.append(fields.join(QLatin1Char('\t')));
            users.append(std::move(user));
        } catch (const CliError& e) {
            errorLine(out, e.message());
            status = kExitFailure;
        }
    }
    if (!users.isEmpty()) {
        controller.addUsers(users);
        save(controller);
    }
    for (const QString& text : std::as_const(lines))
        line(out, {text});
    return status;
}

int usersCommand(Controller& controller, const Invocation&, CommandOutput& out)
{
    for (const User& user : controller.users())
        line(out, {printable(user.name), hostAndPort(user), fingerprint(user.key)});
    return kExitSuccess;
}

int filesCommand(Controller& controller, const Invocation&, CommandOutput& out)
{
    for (const FileRow& file : controller.fileRows())
        out.out += recordLine(controller, file).toUtf8();
    return kExitSuccess;
}

int shareCommand(Controller& controller, const Invocation& inv, CommandOutput& out)
{
    QList<QByteArray> keys;
    for (const QString& query : inv.to) {
        const QByteArray key = findUserKey(controller.users(), query);
        if (!keys.contains(key))
            keys.append(key);
    }
    QList<std::pair<vortan::File2, QUrl>> files;
    for (const QString& path : inv.operands) {
        const QString absolute = QFileInfo(path).absoluteFilePath();
        if (QFileInfo(absolute).isDir()) {
            throw failure(QStringLiteral("cannot offer %1: it is a folder: share the files inside, or an archive of it")
                              .arg(printable(path)));
        }
        try {
            files.append({vortan::File2::at(absolute), QUrl::fromLocalFile(absolute)});
        } catch (const vortan::IoError& e) {
            throw failure(QStringLiteral("cannot offer %1: %2").arg(printable(path), printable(e.description())));
        }
    }

    // A file already offered to a user is not offered to them again.
    const auto offered = [&controller](const QUrl& location, const QByteArray& key) -> const FileRow* {
        for (const FileRow& file : controller.fileRows()) {
            if (!file.download && file.user == key && file.location == location)
                return &file;
        }
        return nullptr;
    };
    QSet<QUuid> before;
    for (const FileRow& file : controller.fileRows())
        before.insert(file.id);
    QList<QStringList> already;
    for (const QByteArray& key : std::as_const(keys)) {
        QList<vortan::File2> fresh;
        for (const auto& [file, location] : std::as_const(files)) {
            if (const FileRow* row = offered(location, key))
                already.append({idString(row->id), userLabel(controller.users(), key), printable(row->name), QStringLiteral("already offered")});
            else
                fresh.append(file);
        }
        if (!fresh.isEmpty())
            controller.shareFiles(fresh, {key});
    }
    save(controller);
    for (const QStringList& fields : std::as_const(already))
        line(out, fields);
    for (const FileRow& file : controller.fileRows()) {
        if (!before.contains(file.id))
            line(out, {idString(file.id), userLabel(controller.users(), file.user), printable(file.name)});
    }
    return kExitSuccess;
}

// Whether the record is an offer to us that was never started.
bool newOffer(const FileRow& file)
{
    return file.download && file.paused && !file.location && file.blockCount == 0;
}

// Keeps the held offers' file in step with the user's decisions on ids:
// held true after a pause, false after a resume or a removal. Ids of records
// that are gone are dropped on the way.
void updateHeldOffers(Controller& controller, const QList<QUuid>& ids, bool held, CommandOutput& out)
{
    QSet<QUuid> set = readHeldOffers(controller.supportDirectory());
    const QSet<QUuid> before = set;
    for (const QUuid& id : ids) {
        const std::optional<FileRow> file = controller.file(id);
        if (held && file && newOffer(*file))
            set.insert(id);
        else
            set.remove(id);
    }
    for (auto it = set.begin(); it != set.end();) {
        it = controller.file(*it) ? std::next(it) : set.erase(it);
    }
    if (set == before)
        return;
    if (const QString problem = writeHeldOffers(controller.supportDirectory(), set); !problem.isEmpty())
        errorLine(out, QStringLiteral("warning: run --accept may take the paused offers: %1").arg(printable(problem)));
}

int pauseCommand(Controller& controller, const Invocation& inv, CommandOutput& out)
{
    const QList<QUuid> ids = resolveIds(controller, inv.operands);
    controller.pause(ids);
    save(controller);
    updateHeldOffers(controller, ids, true, out);
    for (const QUuid& id : ids) {
        const std::optional<FileRow> file = controller.file(id);
        out.out += shortLine(controller, id, file ? stateOf(*file) : QStringLiteral("gone")).toUtf8();
    }
    return kExitSuccess;
}

int resumeCommand(Controller& controller, const Invocation& inv, CommandOutput& out)
{
    const QList<QUuid> ids = resolveIds(controller, inv.operands);
    std::optional<vortan::DownloadLocation> location;
    if (!inv.resumeTo.isEmpty()) {
        const QString directory = QDir(inv.resumeTo).absolutePath();
        if (!QDir().mkpath(directory) || !QFileInfo(directory).isDir())
            throw failure(QStringLiteral("cannot use %1 as the download directory").arg(printable(inv.resumeTo)));
        location = vortan::DownloadLocation::directory(QUrl::fromLocalFile(directory));
    }
    QList<vortan::ResumeItem> items;
    for (const QUuid& id : ids)
        items.append(vortan::ResumeItem{id, location});
    controller.resume(items);
    save(controller);
    updateHeldOffers(controller, ids, false, out);

    int status = kExitSuccess;
    for (const QUuid& id : ids) {
        const std::optional<FileRow> file = controller.file(id);
        if (!file)
            continue;
        out.out += shortLine(controller, id, stateOf(*file)).toUtf8();
        if (file->error) {
            errorLine(out, QStringLiteral("cannot resume %1: %2").arg(printable(file->name), printable(file->error->localizedDescription())));
            status = kExitFailure;
        }
    }
    return status;
}

int removeCommand(Controller& controller, const Invocation& inv, CommandOutput& out)
{
    const QList<QUuid> ids = resolveIds(controller, inv.operands);
    // The removed ids are remembered per user, so group them by the record's user.
    QList<QByteArray> users;
    QHash<QByteArray, QList<QUuid>> byUser;
    QStringList lines;
    for (const QUuid& id : ids) {
        const std::optional<FileRow> file = controller.file(id);
        if (!file)
            continue;
        if (!byUser.contains(file->user))
            users.append(file->user);
        byUser[file->user].append(id);
        lines.append(shortLine(controller, id, QStringLiteral("removed")));
    }
    for (const QByteArray& user : std::as_const(users))
        controller.removeFiles(byUser.value(user), user);
    save(controller);
    updateHeldOffers(controller, ids, false, out);
    for (const QString& text : std::as_const(lines))
        out.out += text.toUtf8();
    return kExitSuccess;
}

using Command = int (*)(Controller&, const Invocation&, CommandOutput&);

const QHash<QString, Command>& commands()
{
    static const QHash<QString, Command> table{
        {QStringLiteral("card"), cardCommand},   {QStringLiteral("import"), importCommand},
        {QStringLiteral("users"), usersCommand}, {QStringLiteral("files"), filesCommand},
        {QStringLiteral("share"), shareCommand}, {QStringLiteral("pause"), pauseCommand},
        {QStringLiteral("resume"), resumeCommand}, {QStringLiteral("remove"), removeCommand},
    };
    return table;
}

}  // namespace

bool isOneShotCommand(const QString& command)
{
    return commands().contains(command);
}

CommandOutput executeCommand(Controller& controller, const Invocation& inv)
{
    CommandOutput out;
    const Command command = commands().value(inv.command);
    try {
        if (!command)
            throw usageError(QStringLiteral("unknown command \"%1\"").arg(printable(inv.command)));
        if (!controller.me())
            throw failure(QStringLiteral("the support directory is not open"));
        out.status = command(controller, inv, out);
    } catch (const CliError& e) {
        errorLine(out, e.message());
        out.status = e.status();
    } catch (const std::exception& e) {
        errorLine(out, printable(QString::fromUtf8(e.what())));
        out.status = kExitFailure;
    }
    return out;
}

}  // namespace brenvo::cli
