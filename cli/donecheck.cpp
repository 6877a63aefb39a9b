#include "cli/donecheck.h"

#include "cli/lookup.h"
#include "cli/text.h"
#include "vortan/controller.h"

namespace brenvo::cli {

namespace {

QString downloadText(const vortan::FileRow& file, const QString& from)
{
    return QStringLiteral("%1 from %2 (%3/%4 blocks)").arg(printable(file.name), from).arg(file.blockCount).arg(file.numberOfBlocks);
}

}  // namespace

DoneState evaluateDone(const DoneInputs& in)
{
    DoneState state;
    // Thousands of records may be waited for: only the first few are put
    // into words, the rest are counted.
    const auto wait = [&state](const auto& text) {
        if (state.waitingFor.size() < DoneState::kNamed)
            state.waitingFor.append(text());
        ++state.waiting;
    };
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
    QSet<QByteArray> seen;
    const auto await = [&](const QByteArray& key) {
        if (!seen.contains(key)) {
            seen.insert(key);
            awaited.append(key);
        }
    };
    for (const QByteArray& key : in.connectUsers)
        await(key);
    for (const QByteArray& key : in.acceptUsers)
        await(key);
    for (const vortan::FileRow& file : in.files) {
        if (!file.download && !file.paused && !in.offerDelivered(file))
            await(file.user);
    }

    for (const QByteArray& key : std::as_const(awaited)) {
        const PeerRunStatus status = in.runStatus(key);
        if (!status.connected) {
            const QString error = in.lastError ? in.lastError(key) : QString();
            wait([&] {
                return error.isEmpty() ? QStringLiteral("%1 to connect").arg(label(key))
                                       : QStringLiteral("%1 to connect (last error: %2)").arg(label(key), error);
            });
        }
        else if (!status.answeredList)
            wait([&] { return QStringLiteral("the list of %1").arg(label(key)); });
    }
    qsizetype disconnectItems = 0;
    // Whether a finished download's file is still there is a system call
    // each: asked only when nothing else could keep the run going.
    QList<const vortan::FileRow*> finished;
    for (const vortan::FileRow& file : in.files) {
        if (file.download) {
            if (!accepted(file.user) || pausedByUser(file))
                continue;
            if (removed(file)) {
                state.removedOffers.append(file.id);
                continue;
            }
            if (file.status == vortan::FileRow::Status::done)
                finished.append(&file);
            else
                wait([&] { return downloadText(file, label(file.user)); });
        } else if (!file.paused && !in.offerDelivered(file)) {
            if ((file.status == vortan::FileRow::Status::done)) {
                wait([&] { return QStringLiteral("%1 to disconnect after %2").arg(label(file.user), printable(file.name)); });
                ++disconnectItems;
                if (!state.awaitedDisconnects.contains(file.user))
                    state.awaitedDisconnects.append(file.user);
            } else {
                wait([&] {
                    return QStringLiteral("%1 to %2 (%3/%4 blocks sent)")
                        .arg(printable(file.name), label(file.user))
                        .arg(file.blockCount)
                        .arg(file.numberOfBlocks);
                });
            }
        }
    }
    // Offers refused for the limit come once downloads have made room.
    for (const vortan::User& user : in.users) {
        if (accepted(user.key) && in.offersHeldBack && in.offersHeldBack(user.key))
            wait([&] { return QStringLiteral("the offers of %1 that did not fit at once").arg(label(user.key)); });
    }
    if (state.waiting == disconnectItems) {
        for (const vortan::FileRow* file : std::as_const(finished)) {
            if (!in.targetPresent(*file))
                wait([&] { return downloadText(*file, label(file->user)); });
        }
    }
    state.kind = state.waiting == 0 ? DoneState::Kind::done : DoneState::Kind::pending;
    state.onlyDisconnects = state.waiting > 0 && disconnectItems == state.waiting;
    return state;
}

}  // namespace brenvo::cli
