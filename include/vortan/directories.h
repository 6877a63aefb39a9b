#pragma once

#include "vortan/vortan_export.h"

#include <QString>

namespace vortan {

// $XDG_DATA_HOME/Brenvo (~/.local/share/Brenvo by default). Not created here.
VORTAN_EXPORT QString defaultSupportDirectory();

// The user's downloads directory (created if missing), else ~/Downloads.
VORTAN_EXPORT QString defaultDownloadsDirectory();

// <install prefix>/share/brenvo/users.plist: users every installation knows.
QString defaultBundledUsersPath();

// The pretty host name when set, else the host name, else "Me".
QString computerName(const QString& machineInfoPath = QStringLiteral("/etc/machine-info"));

}  // namespace vortan
