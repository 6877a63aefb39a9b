#include "cli/text.h"

#include <cerrno>
#include <limits>
#include <unistd.h>

namespace brenvo::cli {

QString printable(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        const QChar::Category category = c.category();
        const bool hidden = category == QChar::Other_Control || category == QChar::Other_Format
                            || category == QChar::Separator_Line || category == QChar::Separator_Paragraph;
        result.append(hidden ? QChar(u'?') : c);
    }
    return result;
}

QString formatSize(std::int64_t bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    const double kib = double(bytes) / 1024.0;
    if (kib < 1024.0)
        return QStringLiteral("%1 KiB").arg(kib, 0, 'f', 1);
    const double mib = kib / 1024.0;
    if (mib < 1024.0)
        return QStringLiteral("%1 MiB").arg(mib, 0, 'f', 1);
    return QStringLiteral("%1 GiB").arg(mib / 1024.0, 0, 'f', 2);
}

QString formatRate(double bytesPerSecond)
{
    return QStringLiteral("%1 MiB/s").arg(bytesPerSecond / 1048576.0, 0, 'f', 1);
}

QString formatDuration(std::int64_t seconds)
{
    if (seconds < 0 || seconds >= 100 * 3600)
        return QStringLiteral("--:--");
    const auto two = [](std::int64_t n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    if (seconds < 3600)
        return QStringLiteral("%1:%2").arg(seconds / 60).arg(two(seconds % 60));
    return QStringLiteral("%1:%2:%3").arg(seconds / 3600).arg(two(seconds / 60 % 60), two(seconds % 60));
}

std::optional<std::int64_t> parseSize(const QString& text)
{
    QString digits = text.trimmed();
    std::int64_t multiplier = 1;
    const struct {
        const char* suffix;
        std::int64_t multiplier;
    } suffixes[] = {{"KiB", 1LL << 10}, {"MiB", 1LL << 20}, {"GiB", 1LL << 30},
                    {"K", 1LL << 10},   {"M", 1LL << 20},   {"G", 1LL << 30}};
    for (const auto& s : suffixes) {
        if (digits.endsWith(QLatin1String(s.suffix), Qt::CaseInsensitive)) {
            digits.chop(qsizetype(qstrlen(s.suffix)));
            multiplier = s.multiplier;
            break;
        }
    }
    if (digits.isEmpty())
        return std::nullopt;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok);
    if (!ok || value > qulonglong(std::numeric_limits<std::int64_t>::max() / multiplier))
        return std::nullopt;
    return std::int64_t(value) * multiplier;
}

void writeBytes(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;  // a closed pipe or a full disk: nothing better to do with the text
        }
        data += n;
        left -= n;
    }
}

void writeOut(const QString& text)
{
    writeBytes(STDOUT_FILENO, text.toUtf8());
}

void writeErr(const QString& text)
{
    writeBytes(STDERR_FILENO, text.toUtf8());
}

}  // namespace brenvo::cli
