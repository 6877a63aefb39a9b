#pragma once

#include "vortan/filerow.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QUuid>

class QObject;

namespace vortan {
class Controller;
}

namespace brenvo::cli {

// What happened with one user since the run began.
struct PeerRunStatus {
    // A connection of the user became ready.
    bool connected = false;
    // The user sent a list (its answer to the list request made on ready).
    bool answeredList = false;
    // Times the user went from connected to not connected.
    int disconnects = 0;
};

// The run's bookkeeping for `run --exit-when-done`, kept from the
// controller's reports: who connected, listed and left, and which offers
// have reached their user. The handlers take the published rows as they are
// when the report comes; follow() feeds them from a controller.
class RunTally {
public:
    void peerReady(const QByteArray& key, const QList<vortan::FileRow>& rows);
    void listReceived(const QByteArray& key);
    void peerDisconnected(const QByteArray& key, const QList<vortan::FileRow>& rows);
    // The last missing block of an offer has reached its user.
    void offerSent(const QUuid& id);
    // Rows that came while their user is connected: an empty offer among
    // them has been listed to the user with the rest of the new offers.
    void rowsInserted(const QList<vortan::FileRow>& inserted);

    PeerRunStatus status(const QByteArray& key) const { return m_status.value(key); }
    // Whether an offer has reached its user: every block has been sent (an
    // empty offer: listed to the user) and the user has disconnected since.
    // A complete offer from before the run counts as delivered.
    bool offerDelivered(const vortan::FileRow& row) const;

private:
    void listedEmptyOffer(const vortan::FileRow& row);

    QHash<QByteArray, PeerRunStatus> m_status;
    QSet<QByteArray> m_connected;
    QSet<QUuid> m_awaitingDisconnect;
    QSet<QUuid> m_emptyOffersListed;
};

// Keeps `tally` up to date with `controller`'s reports while `context` lives.
void follow(RunTally& tally, vortan::Controller& controller, QObject* context);

}  // namespace brenvo::cli
