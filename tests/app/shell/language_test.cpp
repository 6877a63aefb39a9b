// The session's language reaches numbers and the library's reasons too.
#include "app/shell/translations.h"
#include "app/texts/librarytexts.h"

#include <QCoreApplication>
#include <QHash>
#include <QTranslator>

#include <cerrno>

#include <gtest/gtest.h>

using namespace brenvo;

namespace {

TEST(Languages, NumbersFollowTheLanguageUnlessTheSessionFormatsInIt)
{
    const QLocale french(QLocale::French);
    const struct {
        QHash<QString, QString> environment;
        bool french;  // numbers in French (else: the session's own formats)
    } cases[] = {
        {{{"LANGUAGE", "fr"}}, true},
        {{{"LANGUAGE", "fr"}, {"LANG", "C.UTF-8"}}, true},
        {{{"LANGUAGE", "fr"}, {"LANG", "en_US.UTF-8"}}, true},
        {{{"LANGUAGE", "fr"}, {"LANG", "fr_CA.UTF-8"}}, false},
        {{{"LANG", "fr_FR.UTF-8"}, {"LC_NUMERIC", "C"}}, true},
        {{{"LANG", "en_GB.UTF-8"}, {"LC_ALL", "fr_BE.UTF-8"}}, false},
    };
    for (const auto& c : cases) {
        const auto environment = [&](const char* name) { return c.environment.value(QString::fromLatin1(name)); };
        const std::optional<QLocale> formats = formatsFor(french, environment);
        EXPECT_EQ(formats.has_value(), c.french) << c.environment.value("LANG").toStdString();
        if (formats) {
            EXPECT_EQ(formats->formattedDataSize(31'200'000, 1, QLocale::DataSizeSIFormat), "31,2 Mo");
        }
    }
}

TEST(Languages, TheFirstListedLanguageWithACatalogueWins)
{
    const auto catalogued = [](const QLocale& locale) {
        return locale.language() == QLocale::German || locale.language() == QLocale::French;
    };
    const struct {
        QStringList languages;
        QString shown;  // empty: the program's own English
    } cases[] = {
        {{"en", "de"}, ""}, {{"en-US", "fr"}, ""}, {{"de", "en"}, "de"}, {{"it", "fr-CA", "de"}, "fr"},
        {{"it", "en", "de"}, ""}, {{"C", "de"}, ""}, {{}, ""},
    };
    for (const auto& c : cases) {
        const std::optional<QLocale> chosen = firstCatalogued(c.languages, catalogued);
        EXPECT_EQ(chosen ? QLocale::languageToCode(chosen->language()) : QString(), c.shown)
            << c.languages.join(',').toStdString();
    }
}

// Marks every text of the library's context, so that the test sees which
// went through the catalogue.
class Marking : public QTranslator {
public:
    QString translate(const char* context, const char* source, const char*, int) const override
    {
        return qstrcmp(context, "LibraryTexts") == 0 ? QStringLiteral("«%1»").arg(QString::fromUtf8(source)) : QString();
    }
    bool isEmpty() const override { return false; }
};

TEST(Languages, TheLibrarysReasonsAreShownInThePersonsWords)
{
    Marking marking;
    QCoreApplication::installTranslator(&marking);
    const struct {
        vortan::VortanError error;
        QString shown;
    } cases[] = {
        {vortan::VortanError::other("No gateway answered"), "«No gateway answered»"},
        {vortan::VortanError::other("The gateway refused to forward port 54322: ConflictInMappingEntry"),
         "«The gateway refused to forward port 54322: ConflictInMappingEntry»"},
        {vortan::VortanError::other("Bob %2 answered at 10.0.0.7:54322"), "«Bob %2 answered at 10.0.0.7:54322»"},
        {vortan::VortanError::network(vortan::NetworkError::posix(ECONNREFUSED)), "«Connection refused»"},
        {vortan::PosixError(ENOSPC).toVortanError(), "«No space left on device»"},
        {vortan::VortanError::other("Something else entirely"), "Something else entirely"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(errorText(c.error), c.shown);
    QCoreApplication::removeTranslator(&marking);
}

}  // namespace
