#pragma once

#include "vortan/vortan_export.h"

#include <QByteArray>
#include <QString>

namespace vortan {

// What reading a whole file gave.
struct VORTAN_EXPORT WholeFile {
    enum class Outcome {
        read,        // bytes holds the whole file
        missing,     // nothing at the path
        notRegular,  // a FIFO, device, directory or socket (or, when links are not followed, a link)
        tooLarge,    // larger than the cap; nothing was read
        failed,      // opening or reading failed otherwise
    };

    Outcome outcome = Outcome::failed;
    QByteArray bytes;
    int posixError = 0;  // for missing and failed

    bool ok() const { return outcome == Outcome::read; }
    // Why the file could not be read, for a message ("not a regular file").
    QString problem(qint64 maxSize) const;
};

// Reads the whole of a regular file of at most maxSize bytes. Anything else
// is refused without reading a byte and without waiting: the file is opened
// non-blocking (a FIFO with no writer cannot hang the caller), checked to be
// a regular file and measured on the open descriptor before it is read. With
// followLinks false a symbolic link at path is refused too.
VORTAN_EXPORT WholeFile readWholeRegularFile(const QString& path, qint64 maxSize, bool followLinks);

}  // namespace vortan
