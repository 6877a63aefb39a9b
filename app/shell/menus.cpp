#include "app/shell/menus.h"

#include "app/shell/appdelegate.h"
#include "app/shell/icons.h"
#include "app/shell/mainwindow.h"

#include <QApplication>
#include <QMenuBar>

namespace brenvo {

void buildMenus(MainWindow& window, AppDelegate& app)
{
    QMenuBar* bar = window.menuBar();
    MainWindow* w = &window;
    AppDelegate* a = &app;

    QMenu* file = bar->addMenu(MainWindow::tr("&File"));
    file->addAction(MainWindow::tr("&New Window"), QKeySequence::New, a, [a] { a->newWindow(); });
    file->addAction(themeIcon(icons::share), MainWindow::tr("&Share My Card…"), a, [a, w] { a->shareMyCard(w); });
    file->addAction(MainWindow::tr("&Import Cards…"), QKeySequence::Open, a, [a, w] { a->importCards(w); });
    file->addSeparator();
    file->addAction(MainWindow::tr("S&ettings…"), QKeySequence(Qt::CTRL | Qt::Key_Comma), a,
                    [a, w] { a->showSettings(w); });
    file->addSeparator();
    file->addAction(MainWindow::tr("&Uninstall…"), a, [a, w] { a->uninstall(w); });
    QAction* quit = file->addAction(MainWindow::tr("&Quit"), QKeySequence::Quit, a, [a] { a->quit(); });
    quit->setMenuRole(QAction::QuitRole);

    QMenu* edit = bar->addMenu(MainWindow::tr("&Edit"));
    // The lists own the Delete key (a second owner would make it ambiguous):
    // the menu only shows it.
    edit->addAction(themeIcon(icons::erase),
                    MainWindow::tr("&Delete") + QLatin1Char('\t') +
                        QKeySequence(QKeySequence::Delete).toString(QKeySequence::NativeText),
                    w, [w] { w->deleteSelection(); });
    edit->addAction(MainWindow::tr("Select &All"), QKeySequence::SelectAll, a, [a, w] { a->selectAllFiles(*w); });

    QMenu* view = bar->addMenu(MainWindow::tr("&View"));
    QAction* sidebar = view->addAction(MainWindow::tr("Show &Sidebar"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
                                       w, [w] { w->toggleSidebar(); });
    sidebar->setCheckable(true);
    sidebar->setChecked(true);

    QMenu* help = bar->addMenu(MainWindow::tr("&Help"));
    help->addAction(MainWindow::tr("&About Brenvo"), a, [a, w] { a->showAbout(w); });
    help->addAction(MainWindow::tr("&Check for Updates…"), a, [a, w] { a->checkForUpdates(w); });
}

}  // namespace brenvo
