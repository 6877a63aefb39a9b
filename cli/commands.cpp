#include "cli/commands.h"

#include "cli/cards.h"
#include "cli/clierror.h"
#include "cli/lookup.h"
#include "cli/text.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <exception>
#include <type_traits>

namespace brenvo::cli {

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

QString recordLine(const QList<User>& users, const FileRow& file)
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
                       userLabel(users, file.user),
                       printable(file.name),
                       QString::number(file.length),
                       QStringLiteral("%1/%2").arg(file.blockCount).arg(file.numberOfBlocks),
                       stateOf(file),
                       error,
                       location}
               .join(QLatin1Char('\t'))
           + QLatin1Char('\n');
}

QList<QUuid> resolveIds(const QList<FileRow>& rows, const QStringList& queries)
{
    QList<QUuid> ids;
    for (const QString& query : queries) {
        const QUuid id = findRecordId(rows, query);
        if (!ids.contains(id))
            ids.append(id);
    }
    return ids;
}

const FileRow* rowIn(const QList<FileRow>& rows, const QUuid& id)
{
    const auto it = std::find_if(rows.begin(), rows.end(), [&](const FileRow& row) { return row.id == id; });
    return it == rows.end() ? nullptr : &*it;
}

void line(CommandOutput& out, const QStringList& fields)
{
    out.out += (fields.join(QLatin1Char('\t')) + QLatin1Char('\n')).toUtf8();
}

// A record after a change: id, name (none when it is gone), what became of it.
void shortLine(CommandOutput& out, const QUuid& id, const FileRow* file, const QString& what)
{
    line(out, {idString(id), file ? printable(file->name) : QString(), what});
}

void errorLine(CommandOutput& out, const QString& message)
{
    out.err += QStringLiteral("brenvo-cli: ") + message + QLatin1Char('\n');
}

CliError errorOf(const control::ErrorAnswer& error)
{
    using Kind = control::ErrorAnswer::Kind;
    switch (error.kind) {
    case Kind::notOpen:
        return failure(QStringLiteral("the support directory is not open"));
    case Kind::folder:
        return failure(QStringLiteral("cannot offer %1: the folder holds no files")
                           .arg(printable(error.subject)));
    case Kind::unreadable:
        return failure(QStringLiteral("cannot offer %1: %2").arg(printable(error.subject), printable(error.detail)));
    case Kind::refused:
    case Kind::failed:
        break;
    }
    return failure(printable(error.detail));
}

// The answer of the kind the request calls for; an error answer is thrown.
template <typename T>
T expect(control::Answer answer)
{
    if (const auto* error = std::get_if<control::ErrorAnswer>(&answer))
        throw errorOf(*error);
    if (auto* value = std::get_if<T>(&answer))
        return std::move(*value);
    throw failure(QStringLiteral("the answer does not fit the command"));
}

int cardCommand(const Invocation& inv, const Ask& ask, CommandOutput& out)
{
    const User card = expect<control::CardAnswer>(ask(control::CardRequest{inv.name, inv.address, inv.port})).me;
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

int importCommand(const Invocation& inv, const Ask& ask, CommandOutput& out)
{
    // The cards are read here; the failures are told in the order of the files.
    QList<std::optional<User>> cards;
    QStringList problems;
    QList<User> users;
    for (const QString& path : inv.operands) {
        try {
            users.append(readCard(path));
            cards.append(users.last());
            problems.append(QString());
        } catch (const CliError& e) {
            cards.append(std::nullopt);
            problems.append(e.message());
        }
    }
    control::ImportAnswer answer;
    if (!users.isEmpty()) {
        answer = expect<control::ImportAnswer>(ask(control::ImportRequest{users}));
        if (answer.entries.size() != users.size())
            throw failure(QStringLiteral("the answer does not fit the command"));
    }
    int status = kExitSuccess;
    QStringList lines;
    qsizetype entry = 0;
    for (qsizetype i = 0; i < cards.size(); ++i) {
        if (!cards[i]) {
            errorLine(out, problems[i]);
            status = kExitFailure;
            continue;
        }
        const control::ImportAnswer::Entry& outcome = answer.entries[entry++];
        if (outcome.own) {
            errorLine(out, QStringLiteral("%1 is your own card").arg(printable(inv.operands[i])));
            status = kExitFailure;
            continue;
        }
        QStringList fields{printable(cards[i]->name), fingerprint(cards[i]->key)};
        if (outcome.known)
            fields.append(changesOf(*outcome.known, *cards[i]));
        lines.append(fields.join(QLatin1Char('\t')));
    }
    for (const QString& text : std::as_const(lines))
        line(out, {text});
    return status;
}

int usersCommand(const Invocation&, const Ask& ask, CommandOutput& out)
{
    for (const User& user : expect<control::UsersAnswer>(ask(control::UsersRequest{})).users)
        line(out, {printable(user.name), hostAndPort(user), fingerprint(user.key)});
    return kExitSuccess;
}

int filesCommand(const Invocation&, const Ask& ask, CommandOutput& out)
{
    const control::FilesAnswer answer = expect<control::FilesAnswer>(ask(control::FilesRequest{}));
    for (const FileRow& file : answer.rows)
        out.out += recordLine(answer.users, file).toUtf8();
    return kExitSuccess;
}

int shareCommand(const Invocation& inv, const Ask& ask, CommandOutput& out)
{
    const QList<User> users = expect<control::UsersAnswer>(ask(control::UsersRequest{})).users;
    control::ShareRequest request;
    for (const QString& query : inv.to) {
        const QByteArray key = findUserKey(users, query);
        if (!request.users.contains(key))
            request.users.append(key);
    }
    for (const QString& path : inv.operands)
        request.paths.append(QFileInfo(path).absoluteFilePath());

    control::Answer answer = ask(request);
    // A file that cannot be offered is named as it was given.
    if (auto* error = std::get_if<control::ErrorAnswer>(&answer); error && request.paths.contains(error->subject))
        error->subject = inv.operands.at(request.paths.indexOf(error->subject));
    const control::ShareAnswer shared = expect<control::ShareAnswer>(std::move(answer));
    for (const FileRow& row : shared.already)
        line(out, {idString(row.id), userLabel(shared.users, row.user), printable(row.name), QStringLiteral("already offered")});
    for (const FileRow& row : shared.added)
        line(out, {idString(row.id), userLabel(shared.users, row.user), printable(row.name)});
    return kExitSuccess;
}

QList<QUuid> askIds(const Invocation& inv, const Ask& ask)
{
    return resolveIds(expect<control::FilesAnswer>(ask(control::FilesRequest{})).rows, inv.operands);
}

void heldOffersWarning(const control::RecordsAnswer& answer, CommandOutput& out)
{
    if (!answer.heldOffersProblem.isEmpty())
        errorLine(out, QStringLiteral("warning: run --accept may take the paused offers: %1").arg(printable(answer.heldOffersProblem)));
}

int pauseCommand(const Invocation& inv, const Ask& ask, CommandOutput& out)
{
    const QList<QUuid> ids = askIds(inv, ask);
    const control::RecordsAnswer answer = expect<control::RecordsAnswer>(ask(control::PauseRequest{ids}));
    heldOffersWarning(answer, out);
    for (const QUuid& id : ids) {
        const FileRow* file = rowIn(answer.rows, id);
        shortLine(out, id, file, file ? stateOf(*file) : QStringLiteral("gone"));
    }
    return kExitSuccess;
}

int resumeCommand(const Invocation& inv, const Ask& ask, CommandOutput& out)
{
    control::ResumeRequest request{askIds(inv, ask), std::nullopt};
    if (!inv.resumeTo.isEmpty()) {
        const QString directory = QDir(inv.resumeTo).absolutePath();
        if (!QDir().mkpath(directory) || !QFileInfo(directory).isDir())
            throw failure(QStringLiteral("cannot use %1 as the download directory").arg(printable(inv.resumeTo)));
        request.directory = directory;
    }
    const control::RecordsAnswer answer = expect<control::RecordsAnswer>(ask(request));
    heldOffersWarning(answer, out);

    int status = kExitSuccess;
    for (const QUuid& id : std::as_const(request.ids)) {
        const FileRow* file = rowIn(answer.rows, id);
        if (!file)
            continue;
        shortLine(out, id, file, stateOf(*file));
        if (file->error) {
            errorLine(out, QStringLiteral("cannot resume %1: %2").arg(printable(file->name), printable(file->error->localizedDescription())));
            status = kExitFailure;
        }
    }
    return status;
}

int removeCommand(const Invocation& inv, const Ask& ask, CommandOutput& out)
{
    const control::RecordsAnswer answer = expect<control::RecordsAnswer>(ask(control::RemoveRequest{askIds(inv, ask)}));
    heldOffersWarning(answer, out);
    for (const FileRow& file : answer.rows)
        shortLine(out, file.id, &file, QStringLiteral("removed"));
    return kExitSuccess;
}

using Command = int (*)(const Invocation&, const Ask&, CommandOutput&);

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

CommandOutput executeCommand(const Invocation& inv, const Ask& ask)
{
    CommandOutput out;
    const Command command = commands().value(inv.command);
    try {
        if (!command)
            throw usageError(QStringLiteral("unknown command \"%1\"").arg(printable(inv.command)));
        out.status = command(inv, ask, out);
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
