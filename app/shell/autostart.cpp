#include "app/shell/autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace brenvo {

namespace {

// One Exec argument: quoted when it holds a reserved character, with the
// quoting's own characters escaped; "%" doubled (field codes).
QString execArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\"'\\><~|&;$*?#()`");
    QString quoted;
    bool needsQuotes = argument.isEmpty();
    for (const QChar c : argument) {
        if (reserved.contains(c))
            needsQuotes = true;
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
        if (c == QLatin1Char('%'))
            quoted += c;
    }
    return needsQuotes ? QLatin1Char('"') + quoted + QLatin1Char('"') : quoted;
}

// A string value of the entry: its backslashes are escapes of their own.
QString stringValue(const QString& text)
{
    QString value = text;
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return value;
}

}  // namespace

QString Autostart::defaultEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart/com.halvinor.brenvo.desktop");
}

Autostart::Autostart(QString entryPath, QString programPath)
    : m_entryPath(std::move(entryPath)),
      m_programPath(programPath.isEmpty() ? QCoreApplication::applicationFilePath() : std::move(programPath))
{
}

std::optional<QString> Autostart::entryText(const QString& programPath)
{
    for (const QChar c : programPath)
        if (c.category() == QChar::Other_Control)
            return std::nullopt;
    // GIO looks the Exec line's first word up as a program before it expands
    // "%%": a path with "%" is started through env(1), which gets it expanded.
    // env would take a word with "=" for a variable, so such a path cannot be.
    QString command = execArgument(programPath);
    if (programPath.contains(QLatin1Char('%'))) {
        if (programPath.contains(QLatin1Char('=')))
            return std::nullopt;
        command = QStringLiteral("env ") + command;
    }
    // not translated: the entry is read by the session; its Comment is what Brenvo says in English
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Brenvo\n"
                          "Comment=Receive and send files in the background\n"
                          "Exec=%1 --background\n"
                          "Icon=com.halvinor.brenvo\n"
                          "Terminal=false\n"
                          "NoDisplay=true\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(stringValue(command));
}

bool Autostart::enabled() const
{
    QFile file(m_entryPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // An entry of a few hundred bytes; a larger one is not ours to parse far.
    const QList<QByteArray> lines = file.read(64 * 1024).split('\n');
    for (const QByteArray& line : lines) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed == "Hidden=true" || trimmed == "X-GNOME-Autostart-enabled=false")
            return false;
    }
    return true;
}

std::optional<QString> Autostart::setEnabled(bool on) const
{
    if (!on) {
        QFile file(m_entryPath);
        if (file.exists() && !file.remove())
            return file.errorString();
        return std::nullopt;
    }
    const std::optional<QString> text = entryText(m_programPath);
    if (!text)
        return QCoreApplication::translate("Autostart", "The program's path cannot be written in a desktop entry.");
    if (!QDir().mkpath(QFileInfo(m_entryPath).absolutePath()))
        return QCoreApplication::translate("Autostart", "Could not create the folder %1.")
            .arg(QFileInfo(m_entryPath).absolutePath());
    QSaveFile file(m_entryPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(text->toUtf8()) < 0 || !file.commit())
        return file.errorString();
    return std::nullopt;
}

}  // namespace brenvo
