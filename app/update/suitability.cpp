#include "app/update/suitability.h"

// Not translated: reports for the log.
namespace brenvo {

std::optional<QVersionNumber> parseMinimumOS(const QString& text)
{
    const QStringList pieces = text.split(u'.', Qt::SkipEmptyParts);
    if (pieces.size() != 3)
        return std::nullopt;
    QList<int> numbers;
    for (const QString& piece : pieces) {
        for (const QChar c : piece) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
        }
        bool ok = false;
        const int n = piece.toInt(&ok, 10);
        if (!ok)
            return std::nullopt;
        numbers.append(n);
    }
    return QVersionNumber(numbers);
}

std::optional<Offer> firstSuitable(const Updates& updates, const RunningRelease& running,
                                   const std::function<void(const QString&)>& report)
{
    for (const UpdateItem& item : updates.items) {
        const std::optional<QVersionNumber> minimum = parseMinimumOS(item.minimumOS);
        if (!minimum) {
            report(QStringLiteral("Failed to parse minimum OS version: ") + item.minimumOS);
            continue;
        }
        // Only an authenticated page on the maker's own server is offered.
        const QUrl url(item.url, QUrl::StrictMode);
        if (!url.isValid() || url.scheme() != u"https" || url.host().isEmpty() || url.host() != running.serverHost) {
            report(QStringLiteral("Bad url: ") + item.url);
            continue;
        }
        if (running.osVersion < *minimum)
            continue;
        if (item.version <= running.buildNumber)
            continue;
        return Offer{item, url};
    }
    return std::nullopt;
}

}  // namespace brenvo
