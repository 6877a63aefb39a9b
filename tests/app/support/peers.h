#pragma once

// Started controllers in temporary folders for the program's tests, through
// the library's public API: listening on 127.0.0.1 and knowing each other.

#include "vortan/controller.h"

#include <QTemporaryDir>

#include <memory>

namespace brenvo::test {

struct Peer {
    explicit Peer(const QString& name, vortan::ControllerDelegate* delegate = nullptr);

    // Listens on a free port of 127.0.0.1; returns whether it became ready.
    bool listen();
    QByteArray key() const { return controller->me()->key; }
    vortan::User card() const;
    // A file of size bytes in this peer's folder; its URL.
    QUrl makeFile(const QString& name, qint64 size) const;
    // Publishes and returns the row.
    std::optional<vortan::FileRow> row(const QUuid& id);

    QTemporaryDir support;
    QTemporaryDir downloads;
    QTemporaryDir files;
    std::unique_ptr<vortan::Controller> controller;
};

// b listens and a and b know each other's cards. Returns whether b listens.
bool introduce(Peer& a, Peer& b);
// a connects to b; returns whether both are connected in time.
bool connectPeers(Peer& a, Peer& b);

}  // namespace brenvo::test
