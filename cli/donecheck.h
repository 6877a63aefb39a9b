#pragma once

#include "cli/runtally.h"
#include "vortan/filerow.h"
#include "vortan/user.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>

namespace brenvo::cli {

// What `run --exit-when-done` waits for, decided from the controller's state.
struct DoneInputs {
    QList<vortan::FileRow> files;
    QList<vortan::User> users;
    QSet<QByteArray> connectUsers;  // --connect
    QSet<QByteArray> acceptUsers;   // --accept USER
    bool acceptAll = false;         // --accept all
    QSet<QUuid> heldOffers;         // new offers the user paused (see heldoffers.h)
    std::function<PeerRunStatus(const QByteArray&)> runStatus;
    std::function<bool(const vortan::FileRow&)> offerDelivered;
    // The last failure to reach the user, if any (may be empty).
    std::function<QString(const QByteArray&)> lastError;
    // Whether the finished download's file is at its location.
    std::function<bool(const vortan::FileRow&)> targetPresent;
    // Whether offers of the user refused for the limit are still to come.
    std::function<bool(const QByteArray&)> offersHeldBack;
};

struct DoneState {
    enum class Kind { pending, done, failed };
    Kind kind = Kind::pending;
    // failed: the record and its error, one line.
    QString failure;
    // pending: how many things are still awaited, and the first kNamed of
    // them in words, for the time-out message.
    static constexpr qsizetype kNamed = 4;
    qsizetype waiting = 0;
    QStringList waitingFor;
    // pending: the users whose disconnect is awaited after a complete offer,
    // and whether that is all that is missing.
    QList<QByteArray> awaitedDisconnects;
    bool onlyDisconnects = false;
    // Downloads of accepted users that their side no longer offers: they
    // count as declined and are not waited for.
    QList<QUuid> removedOffers;
};

// The run is done when
//  1. every user named by --connect or --accept, and every user an unpaused
//     offer not yet delivered goes to, has been connected in this run and
//     has sent its list;
//  2. every download offered by an accepted user is complete at its place,
//     except those the user paused (after they had started, or held while
//     new: a decision either way) and
//     those the other side has removed (declined: see removedOffers);
//  3. every unpaused offer has been sent completely and its user has
//     disconnected since.
// It has failed when one of those records carries an error that stops it:
// any error of a download, an error other than a network one of an offer
// (a network error ends with its connection; the next one goes on).
//
// When nothing but disconnects is missing, the caller may close those
// connections itself: everything has been handed to the other side, and two
// runs that offer each other files would otherwise each wait for the other
// to leave first.
DoneState evaluateDone(const DoneInputs& inputs);

}  // namespace brenvo::cli
