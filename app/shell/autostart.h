#pragma once

#include <QString>

#include <optional>

namespace brenvo {

// The XDG autostart entry that starts the program at login, in the
// background ($XDG_CONFIG_HOME/autostart/com.halvinor.brenvo.desktop).
class Autostart {
public:
    static QString defaultEntryPath();

    explicit Autostart(QString entryPath = defaultEntryPath(), QString programPath = {});

    const QString& entryPath() const { return m_entryPath; }
    // The entry is there and not switched off (Hidden, X-GNOME-Autostart-enabled).
    bool enabled() const;
    // Writes or removes the entry; the error's text when that failed.
    std::optional<QString> setEnabled(bool on) const;

    // The entry for a program file; nothing when the path cannot be written
    // in an Exec line (control characters).
    static std::optional<QString> entryText(const QString& programPath);

private:
    QString m_entryPath;
    QString m_programPath;
};

}  // namespace brenvo
