#include "vortan/peer/hints.h"

#include "vortan/records/coding.h"
#include "vortan/util/machineaddresses.h"

#include <QHostAddress>

namespace vortan {

namespace {

// A numeric address in its usual form (an IPv4-mapped IPv6 address as the
// IPv4 address), so that an address is one endpoint however it is written
// and is called once; anything else as it is.
QString usualForm(const std::string& host)
{
    const QString text = QString::fromStdString(host);
    QHostAddress address;
    if (!address.setAddress(text))
        return text;
    return plainAddress(address).toString();
}

}  // namespace

QByteArray Hints::encode(const QList<Endpoint>& endpoints)
{
    plist::Array array;
    for (const Endpoint& endpoint : endpoints.first(std::min(endpoints.size(), kMax)))
        array.push_back(plist::Dictionary{{"host", endpoint.host.toStdString()}, {"port", int(endpoint.port)}});
    return plistToBytes(array);
}

Hints Hints::decode(const QByteArray& payload)
{
    const plist::Value root = plistFromBytes(payload);
    const plist::Array* array = root.as<plist::Array>();
    if (!array)
        throw DecodeError(QStringLiteral("A hints message holds no array"));
    Hints hints;
    for (const plist::Value& entry : *array) {
        const plist::Dictionary* dict = entry.as<plist::Dictionary>();
        const plist::Value* host = dict ? plist::find(*dict, "host") : nullptr;
        const plist::Value* port = dict ? plist::find(*dict, "port") : nullptr;
        const std::string* hostText = host ? host->as<std::string>() : nullptr;
        const std::int64_t* portNumber = port ? port->as<std::int64_t>() : nullptr;
        if (hints.endpoints.size() >= kMax || !hostText || hostText->empty() || hostText->size() > 64 || !portNumber
            || *portNumber <= 0 || *portNumber > 65535) {
            ++hints.ignored;
            continue;
        }
        hints.endpoints.append(Endpoint{usualForm(*hostText), std::uint16_t(*portNumber)});
    }
    return hints;
}

}  // namespace vortan
