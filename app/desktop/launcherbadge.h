#pragma once

#include <QDBusConnection>
#include <QString>

namespace brenvo {

// The count on the program's launcher icon, through the launcher-entry
// signal (com.canonical.Unity.LauncherEntry) that docks and panels listen to.
// Sending never waits; with no bus nothing happens.
class LauncherBadge {
public:
    static constexpr const char* kAppUri = "application://com.halvinor.brenvo.desktop";
    static constexpr const char* kInterface = "com.canonical.Unity.LauncherEntry";

    explicit LauncherBadge(const QDBusConnection& bus = QDBusConnection::sessionBus()) : m_bus(bus) {}

    // Shows `count` on the icon; 0 or less hides it.
    void setCount(qint64 count);

    // The object the signal comes from: one path for this program, the same
    // in every process.
    static QString objectPath();

private:
    QDBusConnection m_bus;
};

}  // namespace brenvo
