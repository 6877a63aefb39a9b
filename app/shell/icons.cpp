#include "app/shell/icons.h"

#include <QStandardPaths>

// The built-in icon lives in a static library: the linker keeps its
// resources only when something names them.
static void initShellResources() { Q_INIT_RESOURCE(shell); }

namespace brenvo {

QStringList icons::themed()
{
    return {person, edit, share, document, preview, reveal, pause, download,
            upload, done, add, remove, erase, previous, next};
}

void chooseIconTheme()
{
    // Some platforms (offscreen, minimal) look only into the built-in
    // resources: add the XDG icon folders.
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& folder :
         QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                   QStandardPaths::LocateDirectory))
        if (!paths.contains(folder))
            paths.append(folder);
    QIcon::setThemeSearchPaths(paths);
    const QString theme = QIcon::themeName();
    if (theme.isEmpty() || theme == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("breeze"));
    QIcon::setFallbackThemeName(QStringLiteral("breeze"));
}

QIcon applicationIcon()
{
    static const bool loaded = (initShellResources(), true);
    Q_UNUSED(loaded);
    return QIcon::fromTheme(icons::application, QIcon(QStringLiteral(":/brenvo/com.halvinor.brenvo.svg")));
}

QIcon themeIcon(const QString& name)
{
    if (QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    return QIcon::fromTheme(icons::document);
}

}  // namespace brenvo
