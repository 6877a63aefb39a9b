#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <memory>

namespace vortan {
class Controller;
struct FileRow;
}  // namespace vortan

namespace brenvo {

class AppSettings;
class Notifier;
class StatusIcon;

// What the status icon and the background asks of the program.
struct BackgroundActions {
    std::function<void()> showWindow;                     // raise a window, or open one
    std::function<void(const QList<QUuid>&)> showFiles;  // a window selecting these files
    std::function<void()> quit;
    std::function<bool()> windowShown;                    // a main window is shown
};

// Running without windows: while "Keep running when the window is closed"
// is on and a panel shows the status icon, closing the last window leaves
// the program running (said once, in a notification); otherwise closing it
// quits as Qt does by default. The icon's tooltip tells what is
// transferring, it asks for attention while new offers wait, and its menu
// shows a window, the people whose offers wait, pauses or resumes
// everything and quits. The program never runs on unseen: when the panel
// goes away while no window is shown, a window opens.
class Background : public QObject {
    Q_OBJECT
public:
    // How long a launch without a window waits for a panel (at login it
    // may start after the program) before it opens a window after all.
    static constexpr int kPanelWaitMs = 20000;

    Background(vortan::Controller& controller, AppSettings& settings, Notifier& notifier, BackgroundActions actions,
               const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~Background() override;

    // At launch, after the controller started. withoutWindow: --background.
    void start(bool withoutWindow, int panelWaitMs = kPanelWaitMs);
    // The last main window was closed: announce the background the first time.
    void lastWindowClosed();
    // New offers: the icon asks for attention until a window is active.
    void didReceiveFiles(const QList<vortan::FileRow>& files);
    void windowActivated();

    bool keepsRunning() const;
    StatusIcon* statusIcon() const { return m_icon.get(); }

private:
    void settingsChanged(const QString& key);
    void followSetting();
    void availabilityChanged();
    void applyQuitRule();
    void scheduleUpdate();
    void update();

    vortan::Controller& m_controller;
    AppSettings& m_settings;
    Notifier& m_notifier;
    BackgroundActions m_actions;
    QDBusConnection m_bus;
    std::unique_ptr<StatusIcon> m_icon;
    QSet<QUuid> m_offered;
    QStringList m_menuShape;  // the menu as last sent, to send it again only when it changed
    QTimer m_panelWait;
    bool m_updateQueued = false;
    bool m_started = false;
};

}  // namespace brenvo
