#include "app/shell/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace brenvo {

QString installTranslations(QCoreApplication& app)
{
    const QLocale system = QLocale::system();
    for (const QString& name : system.uiLanguages()) {
        const QLocale locale(name);
        if (locale.language() == QLocale::English || locale.language() == QLocale::C)
            return {};
        auto own = std::make_unique<QTranslator>(&app);
        if (!own->load(locale, QStringLiteral("brenvo"), QStringLiteral("_"), QStringLiteral(":/i18n")))
            continue;
        app.installTranslator(own.release());
        auto qt = std::make_unique<QTranslator>(&app);
        if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            app.installTranslator(qt.release());
        if (locale.language() != system.language())
            QLocale::setDefault(locale);
        return QLocale::languageToCode(locale.language());
    }
    return {};
}

}  // namespace brenvo
