#include "app/update/updaterconfig.h"

#include <QSysInfo>

#ifndef BRENVO_UPDATES_URL
#error "BRENVO_UPDATES_URL must be defined by the build"
#endif
#ifndef BRENVO_VERSION
#error "BRENVO_VERSION must be defined by the build"
#endif
#ifndef BRENVO_BUILD_NUMBER
#error "BRENVO_BUILD_NUMBER must be defined by the build"
#endif

namespace brenvo {

UpdaterConfig UpdaterConfig::fromBuild()
{
    UpdaterConfig config;
    config.url = QUrl(QStringLiteral(BRENVO_UPDATES_URL), QUrl::StrictMode);
    config.anchorDirectory = QString::fromLatin1(kDistributionAnchorDirectory);
    config.versionString = QStringLiteral(BRENVO_VERSION);
    config.buildNumber = BRENVO_BUILD_NUMBER;
    config.osVersion = kernelVersion();
    return config;
}

QVersionNumber kernelVersion()
{
    const QVersionNumber release = QVersionNumber::fromString(QSysInfo::kernelVersion());
    return QVersionNumber(release.majorVersion(), release.minorVersion(), release.microVersion());
}

}  // namespace brenvo
