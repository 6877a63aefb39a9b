#pragma once

#include "app/shell/scenecontroller.h"

#include <QMainWindow>
#include <QTimer>

class QLabel;
class QPushButton;
class QStackedWidget;
class QToolBar;

namespace brenvo {

class AppDelegate;
class FileListView;
class InfoBar;
class SidebarView;
class WindowActions;
class WelcomeView;

// One main window: the people on the left, the selected person's files (or
// the welcome text) on the right, the connection of that person in the
// toolbar and the title. Redrawn from the controller's change signals.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(AppDelegate& app, QWidget* parent = nullptr);
    ~MainWindow() override;

    SceneController& scene() { return m_scene; }
    SidebarView* sidebar() const { return m_sidebar; }
    // The detail's file list.
    FileListView* fileList() const { return m_files; }

    // Edit → Delete: removes what the focused list has selected.
    void deleteSelection();
    void toggleSidebar();
    // Shows the window in front of the others and gives it the focus, back
    // from minimised when it was, keeping it maximised when it is.
    void bringToFront();
    InfoBar* infoBar() const { return m_infoBar; }
    // The window's commands (the menu bar's entries).
    WindowActions* actions() const { return m_actions; }

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void redraw();
    void updatePhase();
    void connectButtonClicked();
    // Shows the reason, shortened to fit.
    void fitError();

    AppDelegate& m_app;
    SceneController m_scene;
    SidebarView* m_sidebar = nullptr;
    QStackedWidget* m_detail = nullptr;
    WelcomeView* m_welcome = nullptr;
    QLabel* m_noUser = nullptr;
    FileListView* m_files = nullptr;
    QToolBar* m_toolbar = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_error = nullptr;
    QPushButton* m_connect = nullptr;
    QAction* m_errorAction = nullptr;
    QTimer m_reasonTimer;
    QString m_errorText;    // the reason in full
    QString m_errorDetail;  // with the system's words  // when the shown reason's countdown moves on
    InfoBar* m_infoBar = nullptr;
    WindowActions* m_actions = nullptr;
};

}  // namespace brenvo
