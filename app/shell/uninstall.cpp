#include "app/shell/uninstall.h"

#include "app/settings/appsettings.h"
#include "app/shell/autostart.h"

#include "vortan/controller/controller.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace vortan {

bool uninstallEverything(Controller& controller, AppSettings& settings, const QString& supportDirectory,
                         const QString& programPath)
{
    controller.removeSigningKeys();
    removeLeftovers(settings, supportDirectory);
    // The Trash lives in the data folder ($XDG_DATA_HOME); Qt trashes into
    // the current folder when that is missing.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    return QFile::moveToTrash(programPath);
}

void removeLeftovers(AppSettings& settings, const QString& supportDirectory)
{
    settings.removeAll();
    // Nothing starts the program at login any more.
    Autostart().setEnabled(false);
    if (!supportDirectory.isEmpty())
        QDir(supportDirectory).removeRecursively();
}

}  // namespace vortan
