#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>

namespace vortan {

// One announcement seen on the local network, as the responder names it:
// the same service is seen once per interface and protocol.
struct ServiceItem {
    int interface = -1;
    int protocol = -1;
    QString name;
    friend bool operator==(const ServiceItem&, const ServiceItem&) = default;
    QString id() const { return QStringLiteral("%1/%2/%3").arg(interface).arg(protocol).arg(name); }
};

// What resolving an announcement gave.
struct Resolution {
    QString host;        // the address; a link-local IPv6 one with its scope ("fe80::1%eth0")
    bool ipv4 = false;   // host is an IPv4 address
    bool local = false;  // the announcement is of this machine
    std::uint16_t port = 0;
    QList<QByteArray> txt;
};

// The local network's mDNS responder as presence uses it: one announcement
// of our own, browsing for the service type, and resolving the
// announcements asked for. The Avahi D-Bus client is the program's; tests
// drive a fake one.
class PresenceResponder : public QObject {
    Q_OBJECT
public:
    enum class State { off, on, noResponder };

    using QObject::QObject;

    // Starts following the responder and browsing.
    virtual void start() = 0;
    virtual State state() const = 0;
    // Announces name (the responder may add " #n" after a collision) on
    // port with these TXT strings; an empty name withdraws the announcement.
    virtual void announce(const QString& name, std::uint16_t port, const QList<QByteArray>& txt) = 0;
    // The name announced (empty when none).
    virtual QString announcedName() const = 0;
    // Resolves the item, and again whenever its answer changes, until
    // stopResolving() or the item goes. Failed lookups are retried.
    virtual void resolve(const ServiceItem& item) = 0;
    virtual void stopResolving(const ServiceItem& item) = 0;

signals:
    void stateChanged();
    // An announcement appeared (never our own).
    void itemNew(const ServiceItem& item);
    void itemRemoved(const ServiceItem& item);
    void resolved(const ServiceItem& item, const Resolution& resolution);
};

}  // namespace vortan
