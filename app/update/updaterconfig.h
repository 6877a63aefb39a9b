#pragma once

#include <QString>
#include <QUrl>
#include <QVersionNumber>

namespace brenvo {

// Everything the update check depends on outside itself. The program uses
// fromBuild(); tests fill in their own server, anchors and versions.
struct UpdaterConfig {
    // The release list; only releases on its host are offered.
    QUrl url;
    // Folder whose *.crt files (PEM) are the only roots a server
    // certificate may chain to.
    QString anchorDirectory;
    // The running release: shown to the user, and compared.
    QString versionString;
    qint64 buildNumber = 0;
    // The running operating system, compared with a release's minimum.
    QVersionNumber osVersion;

    // The values this program was built with: the configured release list,
    // the Mozilla roots of the ca-certificates package, the project version
    // and build number, and the kernel's version.
    static UpdaterConfig fromBuild();
};

// The kernel's release as major.minor.patch ("6.1.0-13-amd64" → 6.1.0),
// missing components counting as 0.
QVersionNumber kernelVersion();

// The roots the distribution ships (not those an administrator added).
inline constexpr char kDistributionAnchorDirectory[] = "/usr/share/ca-certificates/mozilla";

}  // namespace brenvo
