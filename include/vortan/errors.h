#pragma once

#include "vortan/vortan_export.h"

#include <QString>

#include <optional>
#include <stdexcept>
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

class VORTAN_EXPORT VortanError {
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

// A failure of a file operation (status query, open, read, write). Callers
// store it in a record as VortanError::other through toVortanError().
class VORTAN_EXPORT IoError : public std::runtime_error {
public:
    explicit IoError(const QString& description, std::optional<int> posixCode = {});

    const QString& description() const { return m_error.description; }
    VortanError toVortanError() const { return VortanError::other(m_error); }

private:
    OtherError m_error;
};

// A system call failed with this errno; the description is strerror's text.
class VORTAN_EXPORT PosixError : public IoError {
public:
    explicit PosixError(int code);
    int code() const { return m_code; }

private:
    int m_code;
};

// A FileError raised as an exception.
class VORTAN_EXPORT FileErrorException : public IoError {
public:
    explicit FileErrorException(FileError error);
    FileError error() const { return m_error; }

private:
    FileError m_error;
};

}  // namespace vortan
