#pragma once

#include "vortan/errors.h"

#include <QMetaEnum>
#include <QObject>
#include <QString>

#include <optional>

namespace vortan {

// The states a connection reports, in the order they can occur:
// setup, preparing, ready, then failed and/or cancelled. There is no waiting
// state: a connect that cannot be made fails.
struct ConnectionState {
    Q_GADGET
public:
    enum class Kind { setup, preparing, ready, failed, cancelled };
    Q_ENUM(Kind)

    Kind kind = Kind::setup;
    std::optional<NetworkError> error;  // present for failed

    static ConnectionState setup() { return {Kind::setup, std::nullopt}; }
    static ConnectionState preparing() { return {Kind::preparing, std::nullopt}; }
    static ConnectionState ready() { return {Kind::ready, std::nullopt}; }
    static ConnectionState failed(NetworkError error) { return {Kind::failed, std::move(error)}; }
    static ConnectionState cancelled() { return {Kind::cancelled, std::nullopt}; }

    // "setup", "preparing", "ready", "failed", "cancelled".
    QString name() const { return QString::fromLatin1(QMetaEnum::fromType<Kind>().valueToKey(int(kind))); }

    friend bool operator==(const ConnectionState&, const ConnectionState&) = default;
};

}  // namespace vortan
