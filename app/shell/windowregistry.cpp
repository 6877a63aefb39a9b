#include "app/shell/windowregistry.h"

#include "app/settings/appsettings.h"
#include "app/shell/mainwindow.h"

#include <utility>

namespace brenvo {

WindowRegistry::WindowRegistry(QObject* parent) : QObject(parent) {}

WindowRegistry::~WindowRegistry()
{
    // A window going away updates m_windows: walk a list of our own.
    const QList<MainWindow*> windows = std::exchange(m_windows, {});
    for (MainWindow* window : windows)
        delete window;
}

void WindowRegistry::add(MainWindow& window)
{
    m_windows.append(&window);
    SceneController* scene = &window.scene();
    m_scenes.append(scene);
    // By address only: when destroyed() comes, the window is a QObject no more.
    MainWindow* gone = &window;
    connect(&window, &QObject::destroyed, this, [this, scene, gone] {
        m_scenes.removeOne(scene);
        m_windows.removeOne(gone);
        emit sceneRemoved(scene);
    });
    emit sceneAdded(scene);
}

void WindowRegistry::closing(MainWindow& window)
{
    m_scenes.removeOne(&window.scene());
}

QList<MainWindow*> WindowRegistry::shown() const
{
    QList<MainWindow*> shown;
    for (MainWindow* window : m_windows)
        if (window && window->isVisible())
            shown.append(window);
    return shown;
}

MainWindow* WindowRegistry::active() const
{
    MainWindow* last = nullptr;
    for (MainWindow* window : shown()) {
        if (window->isActiveWindow())
            return window;
        last = window;
    }
    return last;
}

MainWindow* WindowRegistry::windowOf(const SceneController* scene) const
{
    for (MainWindow* window : m_windows)
        if (window && &window->scene() == scene)
            return window;
    return nullptr;
}

MainWindow* WindowRegistry::windowOf(const QWidget* widget) const
{
    for (MainWindow* window : m_windows)
        if (window && window == widget)
            return window;
    return nullptr;
}

void WindowRegistry::remember(AppSettings& settings, const QList<MainWindow*>& windows)
{
    QList<AppSettings::Window> states;
    for (MainWindow* window : windows)
        states.append({window->saveGeometry(), window->scene().selectedUser()});
    settings.windows.set(states);
    settings.sync();
}

}  // namespace brenvo
