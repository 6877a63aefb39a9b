#include "cli/cards.h"

#include "cli/clierror.h"
#include "cli/text.h"
#include "vortan/usercard.h"
#include "vortan/wholefile.h"

#include <QSaveFile>

#include <exception>

namespace brenvo::cli {

QString fingerprint(const QByteArray& key)
{
    const QString digits = fingerprintDigits(key);
    QString result;
    result.reserve(digits.size() + digits.size() / 4);
    for (qsizetype i = 0; i < digits.size(); i += 4) {
        if (i > 0)
            result.append(QLatin1Char(' '));
        result.append(digits.mid(i, 4));
    }
    return result;
}

QString fingerprintDigits(const QByteArray& key)
{
    return QString::fromLatin1(key.toHex());
}

vortan::User readCard(const QString& path)
{
    // Only a regular file is read: a FIFO or a device would block or never end.
    const vortan::WholeFile file = vortan::readWholeRegularFile(path, kMaxCardSize, true);
    switch (file.outcome) {
    case vortan::WholeFile::Outcome::read:
        break;
    case vortan::WholeFile::Outcome::tooLarge:
        throw failure(QStringLiteral("%1 is not a card: it is larger than %2").arg(printable(path), formatSize(kMaxCardSize)));
    case vortan::WholeFile::Outcome::notRegular:
        throw failure(QStringLiteral("%1 is not a card: it is not a regular file").arg(printable(path)));
    case vortan::WholeFile::Outcome::missing:
    case vortan::WholeFile::Outcome::failed:
        throw failure(QStringLiteral("cannot read %1: %2").arg(printable(path), file.problem(kMaxCardSize)));
    }
    const QByteArray& bytes = file.bytes;
    try {
        return vortan::decodeCard(bytes);
    } catch (const vortan::CardError& e) {
        throw failure(QStringLiteral("%1 is not a card: %2").arg(printable(path), printable(e.message())));
    }
}

QByteArray encodeCardBytes(const vortan::User& user)
{
    try {
        return vortan::encodeCard(user);
    } catch (const vortan::CardError& e) {
        throw failure(QStringLiteral("cannot encode the card: %1").arg(printable(e.message())));
    }
}

void writeCard(const QString& path, const vortan::User& user)
{
    const QByteArray bytes = encodeCardBytes(user);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw failure(QStringLiteral("cannot write %1: %2").arg(printable(path), file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw failure(QStringLiteral("cannot write %1: %2").arg(printable(path), file.errorString()));
}

QString cardFileName(const vortan::User& user)
{
    QString name = user.name;
    name.replace(QLatin1Char('/'), QLatin1Char(':'));
    return name + QStringLiteral(".bcard");
}

}  // namespace brenvo::cli
