#pragma once

#include "vortan/filerow.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

namespace brenvo {

// What the status icon says of the transfers under way, e.g.
// "2 files, 34 % — 1 min left"; empty while nothing moves or waits to.
QString transferSummary(const QList<vortan::FileRow>& rows);

// Whether the icon counts a transfer: a download asked for and not
// finished, or an offer whose blocks go out; not an offer nobody fetches.
bool movingOrWanted(const vortan::FileRow& row);

// The downloads asked for and not finished, still offered.
qsizetype runningDownloads(const QList<vortan::FileRow>& rows);

// The transfers "Pause all" stops: every running or queued one.
QList<QUuid> pausableFiles(const QList<vortan::FileRow>& rows);
// The ones "Resume all" starts again: paused, unfinished, still offered,
// and (downloads) asked for before; offers nobody accepted yet stay paused.
QList<QUuid> resumableFiles(const QList<vortan::FileRow>& rows);

// Of the offers in `offered`, those still waiting for an answer (listed,
// nothing downloaded, not resumed), grouped by user in the order of rows.
struct WaitingOffers {
    QByteArray user;
    QList<QUuid> files;
};
QList<WaitingOffers> waitingOffers(const QList<vortan::FileRow>& rows, const QSet<QUuid>& offered);

}  // namespace brenvo
