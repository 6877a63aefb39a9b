#include "app/shell/uninstall.h"

#include "app/settings/appsettings.h"

#include "vortan/controller/controller.h"

#include <QDir>
#include <QFile>

namespace vortan {

bool uninstallEverything(Controller& controller, AppSettings& settings, const QString& supportDirectory,
                         const QString& programPath)
{
    controller.removeSigningKeys();
    removeLeftovers(settings, supportDirectory);
    // The Trash lives in ~/.local/share; Qt trashes into the current folder
    // when it is missing.
    QDir().mkpath(QDir::homePath() + QStringLiteral("/.local/share"));
    return QFile::moveToTrash(programPath);
}

void removeLeftovers(AppSettings& settings, const QString& supportDirectory)
{
    settings.removeAll();
    if (!supportDirectory.isEmpty())
        QDir(supportDirectory).removeRecursively();
}

}  // namespace vortan
