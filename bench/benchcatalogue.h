#pragma once

// The set-up the publication benchmarks share: a started controller whose
// catalogue holds many offers to one peer.

#include "vortan/controller.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <cstdio>
#include <memory>
#include <optional>

namespace bench {

// 5,000 records of one person, 20 of which change between publications (as
// 20 running transfers would).
constexpr int kRecords = 5000;
constexpr int kChanging = 20;
inline const QByteArray kPeer(32, 'p');

// Starts a controller in supportDirectory and offers kRecords files, located
// at folder/fN, to kPeer; null (and a message) when it cannot start.
inline std::unique_ptr<vortan::Controller> controllerWithOffers(const QString& supportDirectory, const QString& folder)
{
    using namespace vortan;
    ControllerOptions options;
    options.supportDirectory = supportDirectory;
    options.keyStore = KeyStoreChoice::file;
    options.inhibitSleep = false;
    options.bundledUsersPath = QString();
    auto controller = std::make_unique<Controller>(options);
    if (controller->start(false, false)) {
        std::fprintf(stderr, "cannot start\n");
        return nullptr;
    }
    controller->addUsers({User(QStringLiteral("Peer"), std::nullopt, std::nullopt, kPeer)});
    QList<File2> files;
    for (int i = 0; i < kRecords; ++i)
        files.append(File2(QStringLiteral("file-%1.bin").arg(i), QUrl::fromLocalFile(folder + QStringLiteral("/f%1").arg(i)),
                           qint64(i + 1) * 1000003));
    controller->shareFiles(files, {kPeer});
    controller->publishNow();
    return controller;
}

}  // namespace bench
