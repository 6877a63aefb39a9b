#include "cli/commands.h"

#include "cli/cards.h"
#include "cli/clierror.h"
#include "cli/lookup.h"
#include "cli/session.h"
#include "cli/text.h"
#include "vortan/controller/controller.h"
#include "vortan/records/errors.h"
#include "vortan/records/file2.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

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
    const QString error = file.error ? printable(file.error->localizedDescription()) : QStringLiteral("-");
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
    const FileRow* file = controller.findFile(id);
    const QString name = file ? printable(file->name) : QString();
    return QStringList{idString(id), name, what}.join(QLatin1Char('\t')) + QLatin1Char('\n');
}

int cardCommand(const Invocation& inv)
{
    Session session(inv.global, Session::Kind::oneShot);
    session.start(false, false);
    Controller& controller = session.controller();

    User me = *controller.me();
    if (inv.name)
        me.name = *inv.name;
    if (inv.address)
        me.address = inv.address->isEmpty() ? std::nullopt : std::optional<QString>(*inv.address);
    if (inv.port)
        me.port = *inv.port;
    if (inv.name || inv.address || inv.port)
        controller.editMe(me);
    session.save();

    const User card = *controller.me();
    QString path = inv.output;
    if (QFileInfo(path).isDir())
        path = QDir(path).filePath(card.name.isEmpty() ? QStringLiteral("card.bcard") : cardFileName(card));
    writeCard(path, card);
    writeOut(printable(card.name) + QLatin1Char('\t') + fingerprint(card.key) + QLatin1Char('\n'));
    return kExitSuccess;
}

int importCommand(const Invocation& inv)
{
    Session session(inv.global, Session::Kind::oneShot);
    session.start(false, false);
    Controller& controller = session.controller();

    QList<User> users;
    QStringList problems;
    for (const QString& path : inv.operands) {
        try {
            User user = readCard(path);
            if (controller.me() && user.key == controller.me()->key)
                throw failure(QStringLiteral("%1 is your own card").arg(printable(path)));
            users.append(std::move(user));
        } catch (const CliError& e) {
            problems.append(e.message());
        }
    }
    if (!users.isEmpty()) {
        controller.addUsers(users);
        session.save();
    }
    for (const User& user : std::as_const(users))
        writeOut(printable(user.name) + QLatin1Char('\t') + fingerprint(user.key) + QLatin1Char('\n'));
    for (const QString& problem : std::as_const(problems))
        writeErr(QStringLiteral("brenvo-cli: ") + problem + QLatin1Char('\n'));
    return problems.isEmpty() ? kExitSuccess : kExitFailure;
}

int usersCommand(const Invocation& inv)
{
    Session session(inv.global, Session::Kind::oneShot);
    session.start(false, false);
    for (const User& user : session.controller().users()) {
        writeOut(QStringList{printable(user.name), hostAndPort(user), fingerprint(user.key)}.join(QLatin1Char('\t'))
                 + QLatin1Char('\n'));
    }
    return kExitSuccess;
}

int filesCommand(const Invocation& inv)
{
    Session session(inv.global, Session::Kind::oneShot);
    session.start(false, false);
    const Controller& controller = session.controller();
    for (const FileRow& file : controller.fileRows())
        writeOut(recordLine(controller, file));
    return kExitSuccess;
}

int shareCommand(const Invocation& inv)
{
    Session session(inv.global, Session::Kind::oneShot);
    session.start(false, false);
    Controller& controller = session.controller();

    QList<QByteArray> keys;
    for (const QString& query : inv.to) {
        const QByteArray key = findUserKey(controller.users(), query);
        if (!keys.contains(key))
            keys.append(key);
    }
    QList<vortan::File2> files;
    for (const QString& path : inv.operands) {
        const QString absolute = QFileInfo(path).absoluteFilePath();
        try {
            files.append(vortan::File2::at(absolute));
        } catch (const vortan::IoError& e) {
            throw failure(QStringLiteral("cannot offer %1: %2").arg(printable(path), printable(e.description())));
        }
    }

    QSet<QUuid> before;
    for (const FileRow& file : controller.fileRows())
        before.insert(file.id);
    controller.shareFiles(files, keys);
    session.save();
    for (const FileRow& file : controller.fileRows()) {
        if (before.contains(file.id))
            continue;
        writeOut(QStringList{idString(file.id), userLabel(controller.users(), file.user), printable(file.name)}
                     .join(QLatin1Char('\t'))
                 + QLatin1Char('\n'));
    }
    return kExitSuccess;
}

int pauseCommand(const Invocation& inv)
{
    Session session(inv.global, Session::Kind::oneShot);
    session.start(false, false);
    Controller& controller = session.controller();
    const QList<QUuid> ids = resolveIds(controller, inv.operands);
    controller.pause(ids);
    session.save();
    for (const QUuid& id : ids) {
        const FileRow* file = controller.findFile(id);
        writeOut(shortLine(controller, id, file ? stateOf(*file) : QStringLiteral("gone")));
    }
    return kExitSuccess;
}

int resumeCommand(const Invocation& inv)
{
    Session session(inv.global, Session::Kind::oneShot);
    session.start(false, false);
    Controller& controller = session.controller();
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
    session.save();

    int status = kExitSuccess;
    for (const QUuid& id : ids) {
        const FileRow* file = controller.findFile(id);
        if (!file)
            continue;
        writeOut(shortLine(controller, id, stateOf(*file)));
        if (file->error) {
            writeErr(QStringLiteral("brenvo-cli: cannot resume %1: %2\n")
                         .arg(printable(file->name), printable(file->error->localizedDescription())));
            status = kExitFailure;
        }
    }
    return status;
}

int removeCommand(const Invocation& inv)
{
    Session session(inv.global, Session::Kind::oneShot);
    session.start(false, false);
    Controller& controller = session.controller();
    const QList<QUuid> ids = resolveIds(controller, inv.operands);

    // The removed ids are remembered per user, so group them by the record's user.
    QList<QByteArray> users;
    QHash<QByteArray, QList<QUuid>> byUser;
    QStringList lines;
    for (const QUuid& id : ids) {
        const FileRow* file = controller.findFile(id);
        if (!file)
            continue;
        if (!byUser.contains(file->user))
            users.append(file->user);
        byUser[file->user].append(id);
        lines.append(shortLine(controller, id, QStringLiteral("removed")));
    }
    for (const QByteArray& user : std::as_const(users))
        controller.removeFiles(byUser.value(user), user);
    session.save();
    for (const QString& line : std::as_const(lines))
        writeOut(line);
    return kExitSuccess;
}

}  // namespace

bool isOneShotCommand(const QString& command)
{
    static const QStringList commands{QStringLiteral("card"),  QStringLiteral("import"), QStringLiteral("users"),
                                      QStringLiteral("files"), QStringLiteral("share"),  QStringLiteral("pause"),
                                      QStringLiteral("resume"), QStringLiteral("remove")};
    return commands.contains(command);
}

int runOneShotCommand(const Invocation& inv)
{
    const QString& c = inv.command;
    if (c == QLatin1String("card"))
        return cardCommand(inv);
    if (c == QLatin1String("import"))
        return importCommand(inv);
    if (c == QLatin1String("users"))
        return usersCommand(inv);
    if (c == QLatin1String("files"))
        return filesCommand(inv);
    if (c == QLatin1String("share"))
        return shareCommand(inv);
    if (c == QLatin1String("pause"))
        return pauseCommand(inv);
    if (c == QLatin1String("resume"))
        return resumeCommand(inv);
    if (c == QLatin1String("remove"))
        return removeCommand(inv);
    throw usageError(QStringLiteral("unknown command \"%1\"").arg(printable(c)));
}

}  // namespace brenvo::cli
