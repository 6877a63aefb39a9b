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

// The person's full name in an account's GECOS field ("Ann Example,Room 2,,"):
// its first part, "&" standing for the login name capitalised; empty when
// there is none.
QString gecosFullName(const QByteArray& gecos, const QString& login);

// The name proposed for a new own card: the full name of this process's
// account where the system has one, else computerName().
QString proposedName(const QString& machineInfoPath = QStringLiteral("/etc/machine-info"));

}  // namespace vortan
