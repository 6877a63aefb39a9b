#pragma once

#include <QString>

#include <optional>
#include <variant>

namespace vortan {

// An error of the network layer: a POSIX error number, a DNS (getaddrinfo)
// code or a TLS status.
struct NetworkError {
    enum class Kind { posix, dns, tls };
    Kind kind = Kind::posix;
    int code = 0;
    QString text;  // the TLS status's own description; unused otherwise

    static NetworkError posix(int code) { return {Kind::posix, code, {}}; }
    static NetworkError dns(int code) { return {Kind::dns, code, {}}; }
    static NetworkError tls(int code, QString text) { return {Kind::tls, code, std::move(text)}; }

    friend bool operator==(const NetworkError&, const NetworkError&) = default;
};

// Any other error, carried by its description (and its POSIX number when it has one).
struct OtherError {
    QString description;
    std::optional<int> posixCode;

    friend bool operator==(const OtherError&, const OtherError&) = default;
};

class VortanError {
public:
    static VortanError network(NetworkError error) { return VortanError(std::move(error)); }
    static VortanError other(OtherError error) { return VortanError(std::move(error)); }
    static VortanError other(QString description) { return VortanError(OtherError{std::move(description), {}}); }

    bool isNetwork() const { return std::holds_alternative<NetworkError>(m_value); }
    const NetworkError* networkError() const { return std::get_if<NetworkError>(&m_value); }
    const OtherError* otherError() const { return std::get_if<OtherError>(&m_value); }

    // strerror for POSIX codes, "dns error: N", "network error: <text>", or
    // the wrapped error's description.
    QString localizedDescription() const;

    friend bool operator==(const VortanError&, const VortanError&) = default;

private:
    explicit VortanError(std::variant<NetworkError, OtherError> value) : m_value(std::move(value)) {}
    std::variant<NetworkError, OtherError> m_value;
};

// A block read returned fewer bytes than asked.
enum class FileError { failedToRead };

}  // namespace vortan
