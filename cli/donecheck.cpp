#include "cli/donecheck.h"

#include "cli/lookup.h"
#include "cli/text.h"
#include "vortan/controller.h"

namespace brenvo::cli {

DoneState evaluateDone(const DoneInputs& in)
{
    DoneState state;
    const auto accepted = [&](const QByteArray& key) { return in.acceptAll || in.acceptUsers.contains(key); };
    const auto label = [&](const QByteArray& key) { return userLabel(in.users, key); };

    // Records that stop with an error end the run at once.
    const auto removed = [](const vortan::FileRow& file) {
        return file.download && file.unavailable && file.status != vortan::FileRow::Status::done;
    };
    const auto pausedByUser = [&in](const vortan::FileRow& file) {
        return file.download && file.paused && (file.location || file.blockCount > 0 || in.heldOffers.contains(file.id));
    };
    for (const vortan::FileRow& file : in.files) {
        if (!file.error || removed(file) || pausedByUser(file))
            continue;
        const bool stops = file.download ? accepted(file.user) : (!file.paused && !file.error->isNetwork());
        if (stops) {
            state.kind = DoneState::Kind::failed;
            state.failure = QStringLiteral("%1 %2 %3: %4")
                                .arg(printable(file.name), file.download ? QStringLiteral("from") : QStringLiteral("to"),
                                     label(file.user), printable(file.error->localizedDescription()));
            return state;
        }
    }

    QList<QByteArray> awaited;
    const auto await = [&](const QByteArray& key) {
        if (!awaited.contains(key))
            awaited.append(key);
    };
    for (const QByteArray& key : in.connectUsers)
        await(key);
    for (const QByteArray& key : in.acceptUsers)
        await(key);
    for (const vortan::FileRow& file : in.files) {
        if (!file.download && !file.paused && !in.offerDelivered(file.id))
            await(file.user);
    }

    for (const QByteArray& key : std::as_const(awaited)) {
        const PeerRunStatus status = in.runStatus(key);
        if (!status.connected) {
            const QString error = in.lastError ? in.lastError(key) : QString();
            state.waitingFor.append(error.isEmpty() ? QStringLiteral("%1 to connect").arg(label(key))
                                                    : QStringLiteral("%1 to connect (last error: %2)").arg(label(key), error));
        }
        else if (!status.answeredList)
            state.waitingFor.append(QStringLiteral("the list of %1").arg(label(key)));
    }
    qsizetype disconnectItems = 0;
    for (const vortan::FileRow& file : in.files) {
        if (file.download) {
            if (!accepted(file.user) || pausedByUser(file))
                continue;
            if (removed(file)) {
                state.removedOffers.append(file.id);
                continue;
            }
            if (!(file.status == vortan::FileRow::Status::done) || !in.targetPresent(file)) {
                state.waitingFor.append(QStringLiteral("%1 from %2 (%3/%4 blocks)")
                                            .arg(printable(file.name), label(file.user))
                                            .arg(file.blockCount)
                                            .arg(file.numberOfBlocks));
            }
        } else if (!file.paused && !in.offerDelivered(file.id)) {
            if ((file.status == vortan::FileRow::Status::done)) {
                state.waitingFor.append(QStringLiteral("%1 to disconnect after %2").arg(label(file.user), printable(file.name)));
                ++disconnectItems;
                if (!state.awaitedDisconnects.contains(file.user))
                    state.awaitedDisconnects.append(file.user);
            } else {
                state.waitingFor.append(QStringLiteral("%1 to %2 (%3/%4 blocks sent)")
                                            .arg(printable(file.name), label(file.user))
                                            .arg(file.blockCount)
                                            .arg(file.numberOfBlocks));
            }
        }
    }
    // Offers refused for the limit come once downloads have made room.
    for (const vortan::User& user : in.users) {
        if (accepted(user.key) && in.offersHeldBack && in.offersHeldBack(user.key))
            state.waitingFor.append(QStringLiteral("the offers of %1 that did not fit at once").arg(label(user.key)));
    }
    state.kind = state.waitingFor.isEmpty() ? DoneState::Kind::done : DoneState::Kind::pending;
    state.onlyDisconnects = !state.waitingFor.isEmpty() && disconnectItems == state.waitingFor.size();
    return state;
}

}  // namespace brenvo::cli
