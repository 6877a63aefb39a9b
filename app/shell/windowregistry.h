#pragma once

#include "app/shell/scenecontroller.h"

#include <QList>
#include <QObject>

namespace brenvo {

class AppSettings;
class MainWindow;

// The main windows from their creation until they are destroyed, in the
// order they appeared, with their scene state; which one is active; their
// places remembered for the next start.
class WindowRegistry : public QObject {
    Q_OBJECT
public:
    explicit WindowRegistry(QObject* parent = nullptr);
    // Deletes the windows still there.
    ~WindowRegistry() override;

    // A new window: listed until it is destroyed, its scene until it closes.
    void add(MainWindow& window);
    // The window is closing: its scene is no longer shown.
    void closing(MainWindow& window);

    // The open windows' scene state, in the order the windows appeared.
    const QList<SceneController*>& scenes() const { return m_scenes; }
    // The shown windows, in the order they appeared.
    QList<MainWindow*> shown() const;
    bool anyShown() const { return !shown().isEmpty(); }
    // The active shown window, else the last shown one; none when none is shown.
    MainWindow* active() const;
    // The window of this scene, or of this widget (a window's own widget).
    MainWindow* windowOf(const SceneController* scene) const;
    MainWindow* windowOf(const QWidget* widget) const;

    // Keeps these windows' places and selected people for the next start.
    static void remember(AppSettings& settings, const QList<MainWindow*>& windows);

signals:
    // A scene came or went (a window appeared, closed or was destroyed).
    void sceneAdded(SceneController* scene);
    void sceneRemoved(SceneController* scene);

private:
    QList<SceneController*> m_scenes;
    QList<MainWindow*> m_windows;  // shown or not yet destroyed
};

}  // namespace brenvo
