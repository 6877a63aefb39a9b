#include "app/shell/appoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

using vortan::KeyStoreChoice;
using vortan::keyStoreChoiceFromString;

namespace brenvo {

std::variant<AppOptions, AppUsage> parseAppArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QCoreApplication::translate("AppOptions", "Send files straight to people you know."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QCoreApplication::translate("AppOptions", "Show this help."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QCoreApplication::translate("AppOptions", "Show the version."));
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QCoreApplication::translate("AppOptions", "The support directory (default: $XDG_DATA_HOME/Brenvo)."),
        QStringLiteral("DIR"));
    const QCommandLineOption keyStore(
        QStringLiteral("key-store"),
        QCoreApplication::translate("AppOptions", "Where the identity key is kept: auto, secret-service or file."),
        QStringLiteral("STORE"));
    const QCommandLineOption verbose(
        QStringList{QStringLiteral("v"), QStringLiteral("verbose")},
        QCoreApplication::translate("AppOptions", "Log the details of every connection and block."));
    const QCommandLineOption background(
        QStringLiteral("background"),
        QCoreApplication::translate("AppOptions", "Start without a window, with the status icon only."));
    const QCommandLineOption noTor(
        QStringLiteral("no-tor"),
        QCoreApplication::translate("AppOptions", "Reach nobody through Tor while running, whatever the settings say."));
    parser.addOptions({help, version, dataDir, keyStore, verbose, background, noTor});
    parser.addPositionalArgument(QStringLiteral("items"),
                                 QCoreApplication::translate("AppOptions", "brenvo: links or card files to open."),
                                 QStringLiteral("[LINK|CARD…]"));
    if (!parser.parse(arguments))
        return AppUsage{parser.errorText() + QLatin1Char('\n') + parser.helpText(), 2};
    if (parser.isSet(help))
        return AppUsage{parser.helpText(), 0};
    if (parser.isSet(version))
        return AppUsage{QStringLiteral("brenvo ") + QStringLiteral(BRENVO_VERSION) + QLatin1Char('\n'), 0};

    AppOptions options;
    options.supportDirectory = parser.value(dataDir);
    if (parser.isSet(keyStore)) {
        const std::optional<KeyStoreChoice> choice = keyStoreChoiceFromString(parser.value(keyStore));
        if (!choice)
            return AppUsage{QCoreApplication::translate("AppOptions",
                                                        "--key-store takes auto, secret-service or file, not \"%1\"\n")
                                .arg(parser.value(keyStore)),
                            2};
        options.keyStore = *choice;
    }
    options.verbose = parser.isSet(verbose);
    options.background = parser.isSet(background);
    options.mayUseTor = !parser.isSet(noTor);
    for (const QString& item : parser.positionalArguments()) {
        const QUrl url(item);
        if (url.scheme() == QLatin1String("brenvo"))
            options.urls.append(item);
        else if (url.isLocalFile())
            options.cards.append(QFileInfo(url.toLocalFile()).absoluteFilePath());
        else
            options.cards.append(QFileInfo(item).absoluteFilePath());
    }
    return options;
}

}  // namespace brenvo
