#include "vortan/errors.h"

#include <cstring>

namespace vortan {

QString VortanError::localizedDescription() const
{
    if (const NetworkError* net = networkError()) {
        switch (net->kind) {
        case NetworkError::Kind::posix:
            return QString::fromLocal8Bit(std::strerror(net->code));
        case NetworkError::Kind::dns:
            return QStringLiteral("dns error: %1").arg(net->code);
        case NetworkError::Kind::tls:
            return QStringLiteral("network error: %1").arg(net->text);
        }
    }
    return otherError()->description;
}

IoError::IoError(const QString& description, std::optional<int> posixCode)
    : std::runtime_error(description.toStdString()), m_error{description, posixCode}
{
}

PosixError::PosixError(int code) : IoError(QString::fromLocal8Bit(std::strerror(code)), code), m_code(code) {}

FileErrorException::FileErrorException(FileError error)
    : IoError(QStringLiteral("a block read returned fewer bytes than asked")), m_error(error)
{
}

}  // namespace vortan
