#pragma once

#include "app/update/updates.h"

#include <QString>
#include <QUrl>
#include <QVersionNumber>

#include <functional>
#include <optional>

namespace brenvo {

// What a release is checked against.
struct RunningRelease {
    qint64 buildNumber = 0;
    QVersionNumber osVersion;  // major.minor.patch
    QString serverHost;        // releases must be published on this host
};

// "major.minor.patch", pieces separated by "." (empty pieces dropped), each a
// decimal integer; nothing when it is not exactly three such numbers.
std::optional<QVersionNumber> parseMinimumOS(const QString& text);

// The first item that suits the running release, in the list's order: its
// minimum OS parses, its url is an https:// address on the server's host,
// this OS is at least that minimum, and its build number is higher than the
// running one. For an item skipped because of its minimum OS or its url,
// report receives "Failed to parse minimum OS version: <text>" or
// "Bad url: <text>".
struct Offer {
    UpdateItem item;
    QUrl url;
};
std::optional<Offer> firstSuitable(const Updates& updates, const RunningRelease& running,
                                   const std::function<void(const QString&)>& report);

}  // namespace brenvo
