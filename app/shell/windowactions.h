#pragma once

#include <QObject>

class QAction;
class QMenuBar;

namespace brenvo {

class AppDelegate;
class MainWindow;

// The window's commands: each one named QAction, made once with its text,
// keys and icon, shown in the menu bar (File, Edit, View, Help) and enabled
// from the window's state. Their keys work anywhere in the window.
class WindowActions : public QObject {
    Q_OBJECT
public:
    WindowActions(MainWindow& window, AppDelegate& app);

    void addToMenuBar(QMenuBar* bar) const;
    // Delete and Select All act on the shown person (the sidebar's row or
    // that person's files): off while nobody is shown.
    void setPersonShown(bool shown);

    QAction* const newWindow;
    QAction* const shareMyCard;
    QAction* const importCards;
    QAction* const settings;
    QAction* const uninstall;
    QAction* const quit;
    QAction* const deleteSelection;
    QAction* const selectAll;
    QAction* const showSidebar;
    QAction* const about;
    QAction* const checkForUpdates;
};

}  // namespace brenvo
