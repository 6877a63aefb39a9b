#include "cli/runtally.h"

#include "vortan/controller.h"
#include "vortan/filechanges.h"

namespace brenvo::cli {

namespace {

bool isEmptyOffer(const vortan::FileRow& row)
{
    return !row.download && row.numberOfBlocks == 0;
}

}  // namespace

void RunTally::peerReady(const QByteArray& key, const QList<vortan::FileRow>& rows)
{
    m_status[key].connected = true;
    m_connected.insert(key);
    // The user asks for our list on every connection: its answer names
    // every empty offer of theirs.
    for (const vortan::FileRow& row : rows) {
        if (isEmptyOffer(row) && row.user == key)
            listedEmptyOffer(row);
    }
}

void RunTally::listReceived(const QByteArray& key)
{
    m_status[key].answeredList = true;
}

void RunTally::peerDisconnected(const QByteArray& key, const QList<vortan::FileRow>& rows)
{
    ++m_status[key].disconnects;
    m_connected.remove(key);
    for (const vortan::FileRow& row : rows) {
        if (!row.download && row.user == key)
            m_awaitingDisconnect.remove(row.id);
    }
}

void RunTally::offerSent(const QUuid& id)
{
    m_awaitingDisconnect.insert(id);
}

void RunTally::rowsInserted(const QList<vortan::FileRow>& inserted)
{
    for (const vortan::FileRow& row : inserted) {
        if (isEmptyOffer(row) && m_connected.contains(row.user))
            listedEmptyOffer(row);
    }
}

void RunTally::listedEmptyOffer(const vortan::FileRow& row)
{
    m_emptyOffersListed.insert(row.id);
    m_awaitingDisconnect.insert(row.id);
}

bool RunTally::offerDelivered(const vortan::FileRow& row) const
{
    if (row.download || row.status != vortan::FileRow::Status::done)
        return false;
    if (row.numberOfBlocks == 0 && !m_emptyOffersListed.contains(row.id))
        return false;
    return !m_awaitingDisconnect.contains(row.id);
}

void follow(RunTally& tally, vortan::Controller& controller, QObject* context)
{
    using vortan::Controller;
    Controller* c = &controller;
    QObject::connect(c, &Controller::peerReady, context,
                     [&tally, c](const QByteArray& key) { tally.peerReady(key, c->fileRows()); });
    QObject::connect(c, &Controller::listReceived, context, [&tally](const QByteArray& key) { tally.listReceived(key); });
    QObject::connect(c, &Controller::peerDisconnected, context,
                     [&tally, c](const QByteArray& key) { tally.peerDisconnected(key, c->fileRows()); });
    QObject::connect(c, &Controller::offerSent, context, [&tally](const QUuid& id) { tally.offerSent(id); });
    QObject::connect(c, &Controller::filesChanged, context, [&tally, c](const vortan::FileChanges& changes) {
        QList<vortan::FileRow> inserted;
        const QList<vortan::FileRow>& rows = c->fileRows();
        for (const auto& insertion : changes.inserted) {
            if (insertion.first >= 0 && insertion.first < rows.size())
                inserted.append(rows[insertion.first]);
        }
        tally.rowsInserted(inserted);
    });
}

}  // namespace brenvo::cli
