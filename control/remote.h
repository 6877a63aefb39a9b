#pragma once

#include "vortan/filerow.h"
#include "vortan/user.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <cstdint>
#include <optional>
#include <variant>

namespace brenvo::control {

// The commands a front end may have the running instance carry out on its
// controller, and their answers: values only, no text meant for people (the
// front end words them). Paths are absolute; users and records are named by
// key and id, already resolved by the front end.

// The local user's card, edited first when any field is given.
struct CardRequest {
    std::optional<QString> name;
    std::optional<QString> address;  // empty: remove the address
    std::optional<std::uint16_t> port;
    bool operator==(const CardRequest&) const = default;
};

// Cards the front end read; each is added unless it is our own.
struct ImportRequest {
    QList<vortan::User> cards;
    bool operator==(const ImportRequest&) const = default;
};

struct UsersRequest {
    bool operator==(const UsersRequest&) const = default;
};

struct FilesRequest {
    bool operator==(const FilesRequest&) const = default;
};

// Offers each file to each user that has not been offered it yet; a folder
// is offered as its files (see vortan::filesOfFolder()), all in one batch.
struct ShareRequest {
    QStringList paths;
    QList<QByteArray> users;
    bool operator==(const ShareRequest&) const = default;
};

struct PauseRequest {
    QList<QUuid> ids;
    bool operator==(const PauseRequest&) const = default;
};

struct ResumeRequest {
    QList<QUuid> ids;
    std::optional<QString> directory;  // where the downloads go, else each one's own place
    bool operator==(const ResumeRequest&) const = default;
};

struct RemoveRequest {
    QList<QUuid> ids;
    bool operator==(const RemoveRequest&) const = default;
};

using RemoteRequest = std::variant<CardRequest, ImportRequest, UsersRequest, FilesRequest, ShareRequest,
                                   PauseRequest, ResumeRequest, RemoveRequest>;

// Done: the answer to a request that returns nothing (an open request).
struct DoneAnswer {
    bool operator==(const DoneAnswer&) const = default;
};

struct ErrorAnswer {
    enum class Kind {
        refused,     // not carried out at all: detail is the instance's reason
        notOpen,     // the support directory is not open
        folder,      // share: subject is a folder without a file to offer
        unreadable,  // share: subject cannot be offered; detail is the system's reason
        failed,      // anything else; detail is the reason
    };
    Kind kind = Kind::failed;
    QString subject;
    QString detail;
    bool operator==(const ErrorAnswer&) const = default;
};

// The local user's card after the request.
struct CardAnswer {
    vortan::User me;
    bool operator==(const CardAnswer&) const = default;
};

// One entry per card of the request, in its order.
struct ImportAnswer {
    struct Entry {
        bool own = false;                   // our own card: not added
        std::optional<vortan::User> known;  // the user as they were before, when known
        bool operator==(const Entry&) const = default;
    };
    QList<Entry> entries;
    bool operator==(const ImportAnswer&) const = default;
};

struct UsersAnswer {
    QList<vortan::User> users;
    bool operator==(const UsersAnswer&) const = default;
};

struct FilesAnswer {
    QList<vortan::FileRow> rows;
    QList<vortan::User> users;
    bool operator==(const FilesAnswer&) const = default;
};

struct ShareAnswer {
    QList<vortan::FileRow> already;  // offered before, one per file and user
    QList<vortan::FileRow> added;    // the new offers
    QList<vortan::User> users;
    bool operator==(const ShareAnswer&) const = default;
};

// Pause and resume: the records of the request after it, in its order (gone
// ones left out); remove: those removed, as they were.
struct RecordsAnswer {
    QList<vortan::FileRow> rows;
    // Why the list of paused new offers could not be written, if it could not.
    QString heldOffersProblem;
    bool operator==(const RecordsAnswer&) const = default;
};

using Answer = std::variant<DoneAnswer, ErrorAnswer, CardAnswer, ImportAnswer, UsersAnswer, FilesAnswer, ShareAnswer,
                            RecordsAnswer>;

inline Answer refusal(const QString& why)
{
    return ErrorAnswer{ErrorAnswer::Kind::refused, {}, why};
}

}  // namespace brenvo::control
