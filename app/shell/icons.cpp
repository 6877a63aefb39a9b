#include "app/shell/icons.h"

namespace vortan {

QStringList icons::themed()
{
    return {person, edit, share, document, preview, reveal, pause, download,
            upload, done, add, remove, erase, previous, next};
}

void chooseIconTheme()
{
    const QString theme = QIcon::themeName();
    if (theme.isEmpty() || theme == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("breeze"));
    QIcon::setFallbackThemeName(QStringLiteral("breeze"));
}

QIcon applicationIcon()
{
    return QIcon::fromTheme(icons::application, QIcon(QStringLiteral(":/brenvo/com.halvinor.brenvo.svg")));
}

QIcon themeIcon(const QString& name)
{
    if (QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    return QIcon::fromTheme(icons::document);
}

}  // namespace vortan
