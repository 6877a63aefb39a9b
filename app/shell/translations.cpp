#include "app/shell/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace brenvo {

namespace {

// The language of a POSIX locale name ("fr_CA.UTF-8@euro"); C for none.
QLocale::Language languageOf(const QString& posixName)
{
    const QString name = posixName.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    if (name.isEmpty() || name == QLatin1String("C") || name == QLatin1String("POSIX"))
        return QLocale::C;
    return QLocale(name).language();
}

}  // namespace

std::optional<QLocale> formatsFor(const QLocale& language, const std::function<QString(const char*)>& environment)
{
    // As the C library picks each category's locale.
    const auto category = [&](const char* name) {
        for (const char* variable : {"LC_ALL", name, "LANG"}) {
            const QString value = environment(variable);
            if (!value.isEmpty())
                return value;
        }
        return QString();
    };
    if (languageOf(category("LC_NUMERIC")) == language.language()
        && languageOf(category("LC_TIME")) == language.language())
        return std::nullopt;
    return language;
}

std::optional<QLocale> firstCatalogued(const QStringList& languages, const std::function<bool(const QLocale&)>& load)
{
    for (const QString& name : languages) {
        const QLocale locale(name);
        if (locale.language() == QLocale::English || locale.language() == QLocale::C)
            return std::nullopt;
        if (load(locale))
            return locale;
    }
    return std::nullopt;
}

QString installTranslations(QCoreApplication& app)
{
    auto own = std::make_unique<QTranslator>(&app);
    const std::optional<QLocale> locale =
        firstCatalogued(QLocale::system().uiLanguages(), [&own](const QLocale& language) {
            return own->load(language, QStringLiteral("brenvo"), QStringLiteral("_"), QStringLiteral(":/i18n"));
        });
    if (!locale)
        return {};
    app.installTranslator(own.release());
    auto qt = std::make_unique<QTranslator>(&app);
    if (qt->load(*locale, QStringLiteral("qtbase"), QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qt.release());
    // Qt's system locale takes its language from LANGUAGE but its
    // numbers from LC_NUMERIC: "31.2 Mo" under LANG=C.UTF-8.
    const auto environment = [](const char* variable) { return qEnvironmentVariable(variable); };
    if (const std::optional<QLocale> formats = formatsFor(*locale, environment))
        QLocale::setDefault(*formats);
    return QLocale::languageToCode(locale->language());
}

}  // namespace brenvo
