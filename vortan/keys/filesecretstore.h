#pragma once

#include "vortan/keys/secretstore.h"

namespace vortan {

// The item of one account kept in one file, like an SSH private key: the raw
// value bytes, mode 0600, owned by the user. Written once (adding never
// replaces an existing file) through a temporary file in the same folder that
// is synced and then renamed into place, so that a crash leaves either no
// file or the whole one. The folder is created when missing.
//
// Reading refuses anything but a regular file of the user (no links, no
// devices) and files larger than kMaxFileSize. A file that other users could
// read is put back to 0600, with a log line, and read.
class FileSecretStore : public SecretStore {
public:
    static constexpr const char* kFileName = "identity.key";
    static constexpr qint64 kMaxFileSize = 4096;

    FileSecretStore(QString path, QString account);

    QString name() const override;
    SecretStatus read(const QString& account, QByteArray& value) override;
    SecretStatus add(const QString& account, const QString& label, const QByteArray& value) override;
    SecretStatus remove(const QString& account) override;

    const QString& path() const { return m_path; }

private:
    SecretStatus otherAccount() const;

    QString m_path;
    QString m_account;
};

}  // namespace vortan
