#pragma once

#include "vortan/plist/value.h"
#include "vortan/errors.h"

namespace vortan {

// The error a transfer record keeps when one of its steps throws: a file
// operation (IoError and its kinds) or a message that cannot be encoded.
// Other exceptions (out of memory) are not a record's error and pass on.
inline VortanError recordError(const IoError& error)
{
    return error.toVortanError();
}

inline VortanError recordError(const plist::FormatError& error)
{
    return VortanError::other(QString::fromUtf8(error.what()));
}

}  // namespace vortan
