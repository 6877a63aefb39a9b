#include "vortan/controller/downloadtarget.h"

#include "vortan/records/file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vortan {

std::optional<QString> safeFileName(const QString& name)
{
    // Bidirectional controls go first: what is left must name a file too.
    const QString visible = withoutBidiControls(name);
    if (visible.isEmpty() || visible == QLatin1String(".") || visible == QLatin1String(".."))
        return std::nullopt;
    QString safe;
    safe.reserve(visible.size());
    for (const QChar c : visible) {
        const char16_t u = c.unicode();
        if (u == u'/')
            safe.append(QLatin1Char(':'));
        else if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            safe.append(QLatin1Char('_'));
        else
            safe.append(c);
    }
    return safe;
}

std::optional<QStringList> safeRelativePath(const QString& name)
{
    const QStringList parts = name.split(QLatin1Char('/'));
    if (parts.size() > kMaxFolderDepth + 1)
        return std::nullopt;
    QStringList components;
    components.reserve(parts.size());
    for (const QString& part : parts) {
        // An empty part is a leading, doubled or trailing "/".
        std::optional<QString> safe = safeFileName(part);
        if (!safe)
            return std::nullopt;
        components.append(std::move(*safe));
    }
    return components;
}

std::optional<QString> safeReceivedName(const QString& name)
{
    if (const std::optional<QStringList> path = safeRelativePath(name))
        return path->join(QLatin1Char('/'));
    return safeFileName(name);
}

QString printableName(const QString& name)
{
    QString shown;
    shown.reserve(name.size());
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            shown.append(QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0')));
        else if (isBidiControl(c))
            shown.append(QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0')));
        else
            shown.append(c);
    }
    return shown;
}

QString numberedPath(const QString& path, int n)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype nameStart = slash + 1;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    // A dot that starts the name (".profile") is not an extension.
    const qsizetype at = dot > nameStart ? dot : path.size();
    return path.left(at) + QStringLiteral(" (%1)").arg(n) + path.mid(at);
}

std::optional<QString> firstFreePath(const QString& path, const std::function<bool(const QString&)>& taken)
{
    if (!taken(path))
        return path;
    for (int n = 2; n < 10000; ++n) {
        const QString candidate = numberedPath(path, n);
        if (!taken(candidate))
            return candidate;
    }
    return std::nullopt;
}

namespace {

// The first characters of text that encode to at most maxBytes of UTF-8,
// never splitting a surrogate pair.
QString utf8Prefix(const QString& text, qsizetype maxBytes)
{
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const qsizetype units = pair ? 2 : 1;
        const qsizetype width = QStringView(text).mid(i, units).toUtf8().size();
        if (bytes + width > maxBytes)
            break;
        bytes += width;
        i += units;
    }
    return text.left(i);
}

}  // namespace

QString fitNameLength(const QString& path, qsizetype reserve)
{
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    const QString name = path.mid(nameStart);
    const qsizetype room = kMaxNameBytes - reserve;
    if (name.toUtf8().size() <= room)
        return path;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    QString extension = dot > 0 ? name.mid(dot) : QString();
    if (extension.toUtf8().size() > room / 2)
        extension.clear();  // a "stem" of a few bytes would not name the file
    const QString stem = name.left(name.size() - extension.size());
    return path.left(nameStart) + utf8Prefix(stem, room - extension.toUtf8().size()) + extension;
}

bool isFolder(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

// The canonical path (all links resolved) of an existing path; empty when it
// cannot be resolved.
QString realPath(const QString& path)
{
    char* real = ::realpath(QFile::encodeName(path).constData(), nullptr);
    if (!real)
        return QString();
    const QString result = QFile::decodeName(real);
    ::free(real);
    return result;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

std::optional<QString> makeFolders(const QString& base, const QStringList& folders,
                                   const std::function<bool(const QString&)>& taken, QString& problem)
{
    const QString realBase = realPath(base);
    if (realBase.isEmpty() || !QFileInfo(realBase).isDir()) {
        problem = QStringLiteral("%1 is not a folder").arg(base);
        return std::nullopt;
    }
    QString current = QDir(base).absolutePath();
    for (const QString& folder : folders) {
        // Like a file's name, a folder's is shortened to fit and numbered
        // when something else is there already: a file, a symbolic link
        // (wherever it points) or what a download is to become.
        const QString wanted = fitNameLength(current + QLatin1Char('/') + folder, qsizetype(sizeof " (9999)") - 1);
        const std::optional<QString> free = firstFreePath(wanted, [&](const QString& path) {
            return (pathExists(path) && !isFolder(path)) || taken(path);
        });
        if (!free) {
            problem = QStringLiteral("no free name for %1").arg(wanted);
            return std::nullopt;
        }
        if (::mkdir(QFile::encodeName(*free).constData(), 0755) != 0 && errno != EEXIST) {
            problem = QStringLiteral("cannot create %1: %2").arg(*free, systemError(errno));
            return std::nullopt;
        }
        if (!isFolder(*free)) {
            problem = QStringLiteral("%1 is not a folder").arg(*free);
            return std::nullopt;
        }
        current = *free;
    }
    // Whatever happened meanwhile, the folder must be inside base.
    const QString real = realPath(current);
    const QString inside = realBase.endsWith(QLatin1Char('/')) ? realBase : realBase + QLatin1Char('/');
    if (real.isEmpty() || (!folders.isEmpty() && !real.startsWith(inside))) {
        problem = QStringLiteral("%1 leads outside %2").arg(current, base);
        return std::nullopt;
    }
    return current;
}

bool pathExists(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

bool isRegularFile(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool moveToTrash(const QString& path)
{
    // Qt puts the Trash under the generic data folder and, when that folder
    // is missing, reports success while moving the file somewhere else.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || !QDir().mkpath(data))
        return false;
    return QFile::moveToTrash(path);
}

int moveNoReplace(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    const int error = errno;
    if (error != EINVAL && error != ENOSYS)
        return error;
    // No RENAME_NOREPLACE on this file system: link() never replaces either.
    if (::link(source.constData(), target.constData()) != 0)
        return errno;
    ::unlink(source.constData());
    return 0;
}

}  // namespace vortan
