#include "vortan/usercard.h"

#include "vortan/plist/value.h"
#include "vortan/records/coding.h"

namespace vortan {

CardError::CardError(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}

QByteArray encodeCard(const User& user)
{
    try {
        return toBytes(user);
    } catch (const plist::FormatError& e) {
        throw CardError(QString::fromUtf8(e.what()));
    }
}

User decodeCard(const QByteArray& bytes)
{
    if (bytes.size() > kMaxCardSize)
        throw CardError(QStringLiteral("larger than %1 bytes").arg(kMaxCardSize));
    try {
        User user = fromBytes<User>(bytes);
        user.state = User::State::notConnected;
        user.error.reset();
        return user;
    } catch (const DecodeError& e) {
        throw CardError(QString::fromUtf8(e.what()));
    } catch (const plist::FormatError& e) {
        throw CardError(QString::fromUtf8(e.what()));
    }
}

}  // namespace vortan
