#include "app/shell/windowactions.h"

#include "app/cards/cardactions.h"
#include "app/files/filelistview.h"
#include "app/shell/appactions.h"
#include "app/shell/appdelegate.h"
#include "app/shell/icons.h"
#include "app/shell/mainwindow.h"

#include <QAction>
#include <QMenuBar>

namespace brenvo {

namespace {

QAction* command(QObject* owner, const char* name, const QString& text, const QKeySequence& keys = {})
{
    auto* action = new QAction(text, owner);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(keys);
    return action;
}

}  // namespace

WindowActions::WindowActions(MainWindow& window, AppDelegate& app)
    : QObject(&window),
      newWindow(command(this, "newWindow", MainWindow::tr("&New Window"), QKeySequence::New)),
      shareMyCard(command(this, "shareMyCard", MainWindow::tr("&Share My Card…"))),
      importCards(command(this, "importCards", MainWindow::tr("&Import Cards…"), QKeySequence::Open)),
      settings(command(this, "settings", MainWindow::tr("S&ettings…"), QKeySequence(Qt::CTRL | Qt::Key_Comma))),
      uninstall(command(this, "uninstall", MainWindow::tr("&Uninstall…"))),
      quit(command(this, "quit", MainWindow::tr("&Quit"), QKeySequence::Quit)),
      // The lists own the Delete key (a second owner would make it
      // ambiguous): the menu only shows it.
      deleteSelection(command(this, "delete",
                              MainWindow::tr("&Delete") + QLatin1Char('\t') +
                                  QKeySequence(QKeySequence::Delete).toString(QKeySequence::NativeText))),
      selectAll(command(this, "selectAll", MainWindow::tr("Select &All"), QKeySequence::SelectAll)),
      showSidebar(command(this, "showSidebar", MainWindow::tr("Show &Sidebar"),
                          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S))),
      about(command(this, "about", MainWindow::tr("&About Brenvo"))),
      checkForUpdates(command(this, "checkForUpdates", MainWindow::tr("&Check for Updates…")))
{
    MainWindow* w = &window;
    AppDelegate* a = &app;
    shareMyCard->setIcon(themeIcon(icons::share));
    deleteSelection->setIcon(themeIcon(icons::erase));
    quit->setMenuRole(QAction::QuitRole);
    showSidebar->setCheckable(true);
    showSidebar->setChecked(true);

    connect(newWindow, &QAction::triggered, a, [a] { a->newWindow(); });
    connect(shareMyCard, &QAction::triggered, a, [a, w] { a->cards().shareMyCard(w); });
    connect(importCards, &QAction::triggered, a, [a, w] { a->cards().importCards(w); });
    connect(settings, &QAction::triggered, a, [a, w] { a->actions().showSettings(w); });
    connect(uninstall, &QAction::triggered, a, [a, w] { a->actions().uninstall(w); });
    connect(quit, &QAction::triggered, a, [a] { a->quit(); });
    connect(deleteSelection, &QAction::triggered, w, [w] { w->deleteSelection(); });
    connect(selectAll, &QAction::triggered, w, [w] { w->fileList()->selectAll(); });
    connect(showSidebar, &QAction::triggered, w, [w] { w->toggleSidebar(); });
    connect(about, &QAction::triggered, a, [a, w] { a->actions().showAbout(w); });
    connect(checkForUpdates, &QAction::triggered, a, [a, w] { a->actions().checkForUpdates(w); });
}

void WindowActions::addToMenuBar(QMenuBar* bar) const
{
    QMenu* file = bar->addMenu(MainWindow::tr("&File"));
    file->addActions({newWindow, shareMyCard, importCards});
    file->addSeparator();
    file->addAction(settings);
    file->addSeparator();
    file->addActions({uninstall, quit});

    QMenu* edit = bar->addMenu(MainWindow::tr("&Edit"));
    edit->addActions({deleteSelection, selectAll});

    QMenu* view = bar->addMenu(MainWindow::tr("&View"));
    view->addAction(showSidebar);

    QMenu* help = bar->addMenu(MainWindow::tr("&Help"));
    help->addActions({about, checkForUpdates});
}

void WindowActions::setPersonShown(bool shown)
{
    deleteSelection->setEnabled(shown);
    selectAll->setEnabled(shown);
}

}  // namespace brenvo
