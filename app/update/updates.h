#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace brenvo {

// One release the update server lists.
struct UpdateItem {
    qint64 version = 0;     // build number, compared with the running one
    QString versionString;  // shown to the user
    QString minimumOS;      // "major.minor.patch"
    QString url;            // page to open to get the release
};

// The update server's list of releases, in the server's order.
struct Updates {
    QList<UpdateItem> items;
};

// The largest list accepted from the server.
inline constexpr qsizetype kMaxUpdatesListSize = qsizetype{1} << 20;

// What decoding a list gave: the list, or why it could not be read.
struct UpdatesDecoding {
    Updates updates;
    QString error;  // empty on success
    bool ok() const { return error.isEmpty(); }
};

// Decodes the server's answer: a property list, binary or XML, holding a
// dictionary whose "items" is an array of dictionaries with an integer
// "version" and texts "versionString", "minimumOS" and "url". Other keys
// are ignored; a missing key or a value of another type fails the whole
// list, as does anything over kMaxUpdatesListSize.
UpdatesDecoding decodeUpdates(const QByteArray& bytes);
// The error of a list over kMaxUpdatesListSize.
QString updatesTooLargeError();

}  // namespace brenvo
