#include "app/texts/librarytexts.h"

#include <QList>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>

namespace brenvo {

namespace {

// The library's texts that can reach the window, as it writes them (%1, %2:
// the parts it quotes, in that order). Keep in step with the library.
constexpr const char* kForms[] = {
    // The router (the port mapping).
    QT_TRANSLATE_NOOP("LibraryTexts", "No gateway answered"),
    QT_TRANSLATE_NOOP("LibraryTexts", "The gateway refused to forward port %1: %2"),
    // Connections.
    QT_TRANSLATE_NOOP("LibraryTexts", "%1 answered at %2"),
    QT_TRANSLATE_NOOP("LibraryTexts", "dns error: %1"),
    QT_TRANSLATE_NOOP("LibraryTexts", "network error: %1"),
    // Downloads and offers.
    QT_TRANSLATE_NOOP("LibraryTexts", "The partial file %1 is gone"),
    QT_TRANSLATE_NOOP("LibraryTexts", "The finished download is still at %1: it could not be moved into place"),
    QT_TRANSLATE_NOOP("LibraryTexts", "%1 is not a local file"),
    QT_TRANSLATE_NOOP("LibraryTexts", "%1 is not a local directory"),
    QT_TRANSLATE_NOOP("LibraryTexts", "\"%1\" cannot name a file"),
    QT_TRANSLATE_NOOP("LibraryTexts", "no free name for %1"),
    QT_TRANSLATE_NOOP("LibraryTexts", "not a local file: %1"),
    QT_TRANSLATE_NOOP("LibraryTexts", "not a regular file: %1"),
    QT_TRANSLATE_NOOP("LibraryTexts", "no download location for %1"),
    QT_TRANSLATE_NOOP("LibraryTexts", "block %1 is out of range"),
    QT_TRANSLATE_NOOP("LibraryTexts", "block %1 is not part of %2"),
    QT_TRANSLATE_NOOP("LibraryTexts", "a block read returned fewer bytes than asked"),
};

struct Form {
    const char* source;
    QRegularExpression pattern;
};

const QList<Form>& forms()
{
    static const QList<Form> compiled = [] {
        QList<Form> list;
        static const QRegularExpression placeholder(QStringLiteral("%[1-9]"));
        for (const char* source : kForms) {
            // The text between the placeholders as it is, each placeholder any text.
            const QString text = QString::fromUtf8(source);
            QString pattern;
            qsizetype from = 0;
            for (QRegularExpressionMatchIterator it = placeholder.globalMatch(text); it.hasNext();) {
                const QRegularExpressionMatch match = it.next();
                pattern += QRegularExpression::escape(text.mid(from, match.capturedStart() - from));
                pattern += QStringLiteral("(.*)");
                from = match.capturedEnd();
            }
            pattern += QRegularExpression::escape(text.mid(from));
            list.append({source, QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                                                    QRegularExpression::DotMatchesEverythingOption)});
        }
        return list;
    }();
    return compiled;
}

// The POSIX errors a connection or a file meets, in the program's words.
QString posixText(int code)
{
    switch (code) {
    case ECONNREFUSED: return LibraryTexts::tr("Connection refused");
    case EHOSTUNREACH: return LibraryTexts::tr("No route to host");
    case ENETUNREACH: return LibraryTexts::tr("Network is unreachable");
    case ETIMEDOUT: return LibraryTexts::tr("Connection timed out");
    case ECONNRESET: return LibraryTexts::tr("Connection reset by peer");
    case EPIPE: return LibraryTexts::tr("Broken pipe");
    case EADDRINUSE: return LibraryTexts::tr("Address already in use");
    case EADDRNOTAVAIL: return LibraryTexts::tr("Cannot assign requested address");
    case EACCES: return LibraryTexts::tr("Permission denied");
    case EPERM: return LibraryTexts::tr("Operation not permitted");
    case ENOENT: return LibraryTexts::tr("No such file or directory");
    case ENOSPC: return LibraryTexts::tr("No space left on device");
    case EDQUOT: return LibraryTexts::tr("Disk quota exceeded");
    case EROFS: return LibraryTexts::tr("Read-only file system");
    case EIO: return LibraryTexts::tr("Input/output error");
    case ENOTDIR: return LibraryTexts::tr("Not a directory");
    case EISDIR: return LibraryTexts::tr("Is a directory");
    case EEXIST: return LibraryTexts::tr("File exists");
    default: return {};
    }
}

}  // namespace

QString libraryText(const QString& english)
{
    for (const Form& form : forms()) {
        const QRegularExpressionMatch match = form.pattern.match(english);
        if (!match.hasMatch())
            continue;
        const QString translated = QCoreApplication::translate("LibraryTexts", form.source);
        switch (match.lastCapturedIndex()) {
        case 0: return translated;
        case 1: return translated.arg(match.captured(1));
        default: return translated.arg(match.captured(1), match.captured(2));
        }
    }
    return english;
}

QString errorText(const vortan::VortanError& error)
{
    if (const vortan::NetworkError* network = error.networkError();
        network && network->kind == vortan::NetworkError::Kind::posix) {
        if (const QString text = posixText(network->code); !text.isEmpty())
            return text;
    }
    // A file error carries the system's text with its number.
    if (const vortan::OtherError* other = error.otherError(); other && other->posixCode) {
        const QString text = posixText(*other->posixCode);
        if (!text.isEmpty() && other->description == QString::fromLocal8Bit(std::strerror(*other->posixCode)))
            return text;
    }
    return libraryText(error.localizedDescription());
}

}  // namespace brenvo
