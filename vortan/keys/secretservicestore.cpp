#include "vortan/keys/secretservicestore.h"

#include "vortan/keys/glibcall.h"

#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include <QByteArray>
#include <QFile>

#include <sys/stat.h>

namespace vortan {

using glib::ErrorPtr;
using glib::ObjectPtr;

namespace {

constexpr const char* kContentType = "application/octet-stream";

struct SecretValueUnref {
    void operator()(SecretValue* value) const
    {
        if (value)
            secret_value_unref(value);
    }
};
using SecretValuePtr = std::unique_ptr<SecretValue, SecretValueUnref>;

// Items are matched on the schema name (xdg:schema) and the account.
const SecretSchema* schema()
{
    static const SecretSchema kSchema = [] {
        SecretSchema s{};
        s.name = SecretServiceStore::kSchemaName;
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0].name = "account";
        s.attributes[0].type = SECRET_SCHEMA_ATTRIBUTE_STRING;
        return s;
    }();
    return &kSchema;
}

glib::HashTablePtr attributesFor(const QString& account)
{
    const QByteArray utf8 = account.toUtf8();
    return glib::HashTablePtr(secret_attributes_build(schema(), "account", utf8.constData(), nullptr));
}

SecretStatus failure(int code, const GError* error)
{
    return SecretStatus{code, glib::errorText(error)};
}

// One operation on the service: its own bus reference, service proxy and
// main context. Every step returns a status; the first failing one ends the
// operation.
class ServiceCall {
public:
    explicit ServiceCall(const SecretServiceOptions& options) : m_options(options) {}

    SecretStatus open()
    {
        if (SecretServiceStore::sessionBusAddress().isEmpty()) {
            return {SecretStatus::kNotAvailable,
                    QStringLiteral("No D-Bus session bus (DBUS_SESSION_BUS_ADDRESS is not set and there is no "
                                   "$XDG_RUNTIME_DIR/bus)")};
        }
        auto result = run([](GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
            g_bus_get(G_BUS_TYPE_SESSION, c, cb, data);
        });
        if (!result)
            return timedOut();
        GError* error = nullptr;
        m_bus.reset(g_bus_get_finish(result.get(), &error));
        ErrorPtr owned(error);
        if (!m_bus)
            return failure(SecretStatus::kNotAvailable, error);
        // The shared session connection must not end the process if the bus
        // goes away while a call is in flight.
        g_dbus_connection_set_exit_on_close(m_bus.get(), FALSE);

        result = run([](GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
            secret_service_open(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION, c, cb, data);
        });
        if (!result)
            return timedOut();
        m_service.reset(secret_service_open_finish(result.get(), &error));
        owned.reset(error);
        if (!m_service)
            return failure(SecretStatus::kNotAvailable, error);
        return {};
    }

    // The item of account, or nothing (with success) when there is none.
    SecretStatus find(const QString& account, ObjectPtr<SecretItem>& item)
    {
        auto attributes = attributesFor(account);
        auto result = run([&](GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
            secret_service_search(m_service.get(), schema(), attributes.get(), SECRET_SEARCH_NONE, c, cb, data);
        });
        if (!result)
            return timedOut();
        GError* error = nullptr;
        glib::ObjectListPtr items(secret_service_search_finish(m_service.get(), result.get(), &error));
        ErrorPtr owned(error);
        if (error)
            return failure(SecretStatus::kIoError, error);
        if (items)
            item.reset(SECRET_ITEM(g_object_ref(items->data)));
        return {};
    }

    // Unlocks an item or a collection; the keyring may show its password
    // prompt meanwhile. An unanswered prompt is left to the keyring rather
    // than dismissed (see OnTimeout::abandon); it goes when this process does.
    SecretStatus unlock(gpointer object)
    {
        std::unique_ptr<GList, decltype(&g_list_free)> objects(g_list_prepend(nullptr, object), g_list_free);
        auto result = m_calls.run(
            [&](GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
                secret_service_unlock(m_service.get(), objects.get(), c, cb, data);
            },
            m_options.unlockTimeout, glib::OnTimeout::abandon);
        if (!result)
            return timedOut(m_options.unlockTimeout);
        GError* error = nullptr;
        GList* unlocked = nullptr;
        const gint count = secret_service_unlock_finish(m_service.get(), result.get(), &unlocked, &error);
        glib::ObjectListPtr ownedList(unlocked);
        ErrorPtr owned(error);
        if (error)
            return failure(SecretStatus::kInteractionNotAllowed, error);
        if (count < 1)
            return {SecretStatus::kInteractionNotAllowed, QStringLiteral("The keyring was not unlocked")};
        return {};
    }

    SecretStatus loadSecret(SecretItem* item, QByteArray& value)
    {
        auto result = run([&](GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
            secret_item_load_secret(item, c, cb, data);
        });
        if (!result)
            return timedOut();
        GError* error = nullptr;
        const bool loaded = secret_item_load_secret_finish(item, result.get(), &error);
        ErrorPtr owned(error);
        if (!loaded)
            return failure(SecretStatus::kIoError, error);
        SecretValuePtr secret(secret_item_get_secret(item));
        if (!secret)
            return {SecretStatus::kIoError, QStringLiteral("The item has no secret")};
        gsize length = 0;
        const gchar* bytes = secret_value_get(secret.get(), &length);
        value = QByteArray(bytes, static_cast<qsizetype>(length));
        return {};
    }

    SecretStatus defaultCollection(ObjectPtr<SecretCollection>& collection)
    {
        auto result = run([&](GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
            secret_collection_for_alias(m_service.get(), SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, c, cb,
                                        data);
        });
        if (!result)
            return timedOut();
        GError* error = nullptr;
        collection.reset(secret_collection_for_alias_finish(result.get(), &error));
        ErrorPtr owned(error);
        if (error)
            return failure(SecretStatus::kIoError, error);
        if (!collection)
            return {SecretStatus::kNoDefaultKeychain, QStringLiteral("The Secret Service has no default collection")};
        return {};
    }

    SecretStatus create(SecretCollection* collection, const QString& account, const QString& label,
                        const QByteArray& bytes)
    {
        auto attributes = attributesFor(account);
        const QByteArray labelUtf8 = label.toUtf8();
        SecretValuePtr value(secret_value_new(bytes.constData(), bytes.size(), kContentType));
        auto result = run([&](GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
            secret_item_create(collection, schema(), attributes.get(), labelUtf8.constData(), value.get(),
                               SECRET_ITEM_CREATE_NONE, c, cb, data);
        });
        if (!result)
            return timedOut();
        GError* error = nullptr;
        ObjectPtr<SecretItem> item(secret_item_create_finish(result.get(), &error));
        ErrorPtr owned(error);
        if (!item)
            return failure(SecretStatus::kIoError, error);
        return {};
    }

    SecretStatus clear(const QString& account)
    {
        auto attributes = attributesFor(account);
        auto result = run([&](GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
            secret_service_clear(m_service.get(), schema(), attributes.get(), c, cb, data);
        });
        if (!result)
            return timedOut();
        GError* error = nullptr;
        const bool removed = secret_service_clear_finish(m_service.get(), result.get(), &error);
        ErrorPtr owned(error);
        if (error)
            return failure(SecretStatus::kIoError, error);
        if (!removed)
            return {SecretStatus::kItemNotFound, QStringLiteral("The item was not found")};
        return {};
    }

private:
    glib::ObjectPtr<GAsyncResult> run(const glib::AsyncStart& start)
    {
        return m_calls.run(start, m_options.timeout);
    }
    SecretStatus timedOut() const { return timedOut(m_options.timeout); }
    static SecretStatus timedOut(std::chrono::milliseconds timeout)
    {
        return {SecretStatus::kNotAvailable,
                QStringLiteral("The Secret Service did not answer within %1 ms").arg(timeout.count())};
    }

    const SecretServiceOptions& m_options;
    // Declared first so that it outlives the objects below.
    glib::BoundedCalls m_calls;
    ObjectPtr<GDBusConnection> m_bus;
    ObjectPtr<SecretService> m_service;
};

}  // namespace

SecretServiceStore::SecretServiceStore(SecretServiceOptions options) : m_options(options) {}

QString SecretServiceStore::name() const
{
    return QStringLiteral("Secret Service");
}

QString SecretServiceStore::sessionBusAddress()
{
    // GLib would fall back to "autolaunch:" (dbus-launch, possibly with an X11
    // prompt) when neither is present; that is exactly what must not happen.
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")) {
        const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        if (address.contains(QLatin1String("autolaunch:")))
            return {};
        return address;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return {};
    const QByteArray path = QFile::encodeName(runtime + QStringLiteral("/bus"));
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISSOCK(st.st_mode))
        return {};
    return QStringLiteral("unix:path=") + QString::fromLocal8Bit(path);
}

SecretStatus SecretServiceStore::read(const QString& account, QByteArray& value)
{
    ServiceCall call(m_options);
    SecretStatus status = call.open();
    ObjectPtr<SecretItem> item;
    if (status.ok())
        status = call.find(account, item);
    if (!status.ok())
        return status;
    if (!item)
        return {SecretStatus::kItemNotFound, QStringLiteral("The item was not found")};
    if (secret_item_get_locked(item.get())) {
        status = call.unlock(item.get());
        if (!status.ok())
            return status;
    }
    return call.loadSecret(item.get(), value);
}

SecretStatus SecretServiceStore::add(const QString& account, const QString& label, const QByteArray& value)
{
    ServiceCall call(m_options);
    SecretStatus status = call.open();
    ObjectPtr<SecretItem> existing;
    if (status.ok())
        status = call.find(account, existing);
    if (!status.ok())
        return status;
    if (existing)
        return {SecretStatus::kDuplicateItem, QStringLiteral("An item for this account already exists")};
    ObjectPtr<SecretCollection> collection;
    status = call.defaultCollection(collection);
    if (!status.ok())
        return status;
    if (secret_collection_get_locked(collection.get())) {
        status = call.unlock(collection.get());
        if (!status.ok())
            return status;
    }
    return call.create(collection.get(), account, label, value);
}

SecretStatus SecretServiceStore::remove(const QString& account)
{
    ServiceCall call(m_options);
    SecretStatus status = call.open();
    if (!status.ok())
        return status;
    return call.clear(account);
}

SecretStatus SecretServiceStore::probe()
{
    ServiceCall call(m_options);
    SecretStatus status = call.open();
    if (!status.ok())
        return status;
    ObjectPtr<SecretCollection> collection;
    return call.defaultCollection(collection);
}

}  // namespace vortan
