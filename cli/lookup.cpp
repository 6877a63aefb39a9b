#include "cli/lookup.h"

#include "cli/cards.h"
#include "cli/clierror.h"
#include "cli/text.h"

#include <QStringList>

#include <algorithm>

namespace brenvo::cli {

namespace {

QString describeUsers(const QList<const vortan::User*>& users)
{
    QStringList names;
    for (const vortan::User* user : users)
        names.append(QStringLiteral("%1 (%2)").arg(printable(user->name), fingerprint(user->key).left(14)));
    return names.join(QStringLiteral(", "));
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

}  // namespace

QByteArray findUserKey(const QList<vortan::User>& users, const QString& query)
{
    const auto pick = [&](const QList<const vortan::User*>& matches) -> QByteArray {
        if (matches.size() == 1)
            return matches.first()->key;
        throw failure(QStringLiteral("\"%1\" matches several users: %2; give more of a fingerprint")
                          .arg(printable(query), describeUsers(matches)));
    };

    // The same name may be typed with composed or decomposed accents.
    const QString wanted = query.normalized(QString::NormalizationForm_C);
    // Qt folds one character to one; going through upper case first also
    // folds those that become several ("ß" -> "SS" -> "ss").
    const auto fold = [](const QString& text) {
        return text.toUpper().toCaseFolded().normalized(QString::NormalizationForm_C);
    };
    const QString wantedFolded = fold(wanted);
    QList<const vortan::User*> exact;
    QList<const vortan::User*> folded;
    for (const vortan::User& user : users) {
        const QString name = user.name.normalized(QString::NormalizationForm_C);
        if (name == wanted)
            exact.append(&user);
        else if (fold(name) == wantedFolded)
            folded.append(&user);
    }
    if (!exact.isEmpty())
        return pick(exact);
    if (!folded.isEmpty())
        return pick(folded);

    QString digits = query;
    digits.remove(QLatin1Char(' '));
    const bool hex = digits.size() >= 4 && std::all_of(digits.cbegin(), digits.cend(), isHexDigit);
    if (hex) {
        digits = digits.toLower();
        QList<const vortan::User*> prefixed;
        for (const vortan::User& user : users) {
            if (fingerprintDigits(user.key).startsWith(digits))
                prefixed.append(&user);
        }
        if (!prefixed.isEmpty())
            return pick(prefixed);
    }
    throw failure(QStringLiteral("no user named \"%1\" or with a fingerprint starting so").arg(printable(query)));
}

QUuid findRecordId(const QList<vortan::FileRow>& files, const QString& query)
{
    QString wanted = query.trimmed().toLower();
    if (wanted.startsWith(QLatin1Char('{')))
        wanted.remove(0, 1);
    if (wanted.endsWith(QLatin1Char('}')))
        wanted.chop(1);
    if (wanted.isEmpty())
        throw usageError(QStringLiteral("an empty record id"));
    QList<QUuid> matches;
    for (const vortan::FileRow& file : files) {
        const QString id = idString(file.id);
        if (id == wanted)
            return file.id;
        if (id.startsWith(wanted) && !matches.contains(file.id))
            matches.append(file.id);
    }
    if (matches.size() == 1)
        return matches.first();
    if (matches.isEmpty())
        throw failure(QStringLiteral("no record with id %1").arg(printable(query)));
    throw failure(QStringLiteral("the id %1 matches %2 records; give more of it").arg(printable(query)).arg(matches.size()));
}

QString userLabel(const QList<vortan::User>& users, const QByteArray& key)
{
    for (const vortan::User& user : users) {
        if (user.key == key)
            return printable(user.name);
    }
    return QStringLiteral("(unknown %1)").arg(fingerprint(key).left(9));
}

QString idString(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toLower();
}

}  // namespace brenvo::cli
