#include "app/cards/cardfiles.h"

#include "vortan/bidi.h"
#include "vortan/usercard.h"
#include "vortan/wholefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

using vortan::CardError;
using vortan::User;
using vortan::WholeFile;
using vortan::decodeCard;
using vortan::encodeCard;
using vortan::kMaxCardSize;
using vortan::readWholeRegularFile;

namespace brenvo {

namespace {

QString sentence(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

// "Not a valid user card: key "key" holds 31 bytes, not 32" (descriptions are
// listed as "<description> (<file>)", so none ends with a full stop).
QString invalidCard(QString detail)
{
    const QString record = QStringLiteral("User: ");
    if (detail.startsWith(record))
        detail.remove(0, record.size());
    return QCoreApplication::translate("CardFiles", "Not a valid user card: %1").arg(detail);
}

QString lastComponent(const QString& path) { return QFileInfo(path).fileName(); }

}  // namespace

QString keyFingerprint(const QByteArray& key)
{
    static constexpr char digits[] = "0123456789abcdef";
    QString text;
    text.reserve(key.size() / 2 * 5);
    for (qsizetype i = 0; i + 1 < key.size(); i += 2) {
        if (i > 0)
            text += QLatin1Char(' ');
        for (qsizetype j = i; j < i + 2; ++j) {
            const auto byte = static_cast<unsigned char>(key[j]);
            text += QLatin1Char(digits[byte >> 4]);
            text += QLatin1Char(digits[byte & 0xf]);
        }
    }
    return text;
}

QString cardFileName(const QString& userName)
{
    QString name = userName;
    name.replace(QLatin1Char('/'), QLatin1Char(':'));
    return name + QStringLiteral(".bcard");
}

QString displayName(const QString& name)
{
    constexpr qsizetype kMaxShown = 80;
    const QString shown = vortan::withoutBidiControls(name);
    return shown.size() <= kMaxShown ? shown : shown.left(kMaxShown) + QStringLiteral("…");
}

std::optional<std::uint16_t> portFromText(const QString& text)
{
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    unsigned value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c.unicode() - '0');
    }
    if (value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

CardBatch readCardFiles(const QStringList& paths, const QByteArray& ownKey)
{
    CardBatch batch;
    for (const QString& path : paths) {
        const WholeFile file = readWholeRegularFile(path, kMaxCardSize, true);
        if (!file.ok()) {
            batch.failures.append({path, sentence(file.problem(kMaxCardSize))});
            continue;
        }
        User user;
        try {
            user = decodeCard(file.bytes);
        } catch (const CardError& e) {
            batch.failures.append({path, invalidCard(e.message())});
            continue;
        }
        if (!ownKey.isEmpty() && user.key == ownKey) {
            batch.failures.append(
                {path, QCoreApplication::translate("CardFiles",
                                                   "This is your own card: import it on the other machine instead")});
            continue;
        }
        auto known = std::find_if(batch.users.begin(), batch.users.end(),
                                  [&](const User& u) { return u.key == user.key; });
        if (known != batch.users.end())
            *known = std::move(user);
        else
            batch.users.append(std::move(user));
    }
    return batch;
}

AlertText importFailureAlert(const QList<CardFailure>& failures)
{
    if (failures.isEmpty())
        return {};
    if (failures.size() == 1) {
        const CardFailure& f = failures.first();
        return {QCoreApplication::translate("CardFiles", "Failed to import file %1.").arg(lastComponent(f.path)),
                f.description};
    }
    QStringList lines;
    for (const CardFailure& f : failures)
        lines.append(f.description + QStringLiteral(" (") + lastComponent(f.path) + QLatin1Char(')'));
    return {QCoreApplication::translate("CardFiles", "Failed to import %n files.", nullptr, int(failures.size())),
            lines.join(QLatin1Char('\n'))};
}

std::optional<QString> writeCardFile(const User& user, const QString& path)
{
    QByteArray bytes;
    try {
        bytes = encodeCard(user);
    } catch (const CardError& e) {
        return sentence(e.message());
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString().isEmpty() ? QCoreApplication::translate("CardFiles", "The file could not be written.")
                                            : file.errorString();
    return std::nullopt;
}

WrittenCard writeCardInto(const User& user, const QString& directory)
{
    QDir().mkpath(directory);  // a failure shows when writing
    const QString path = QDir(directory).filePath(cardFileName(user.name));
    if (std::optional<QString> error = writeCardFile(user, path))
        return {path, *error};
    return {path, {}};
}

}  // namespace brenvo
