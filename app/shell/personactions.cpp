#include "app/shell/personactions.h"

#include "app/shell/icons.h"
#include "app/shell/sidebarview.h"

#include <QAction>
#include <QMenu>

using vortan::User;

namespace brenvo {

namespace {

QAction* command(QWidget* owner, QObject* parent, const char* name, const QString& text, const QString& icon = {},
                 const QList<QKeySequence>& keys = {})
{
    auto* action = new QAction(text, parent);
    action->setObjectName(QString::fromLatin1(name));
    if (!icon.isEmpty())
        action->setIcon(themeIcon(icon));
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WidgetShortcut);
    action->setEnabled(false);
    owner->addAction(action);
    return action;
}

}  // namespace

PersonActions::PersonActions(QWidget* owner)
    : QObject(owner),
      connection(command(owner, this, "personConnection", SidebarView::tr("Connect"), {},
                         {QKeySequence(Qt::CTRL | Qt::Key_K)})),
      shareFiles(command(owner, this, "personShareFiles", SidebarView::tr("Share Files…"), icons::add)),
      shareFolder(command(owner, this, "personShareFolder", SidebarView::tr("Share Folder…"), icons::folder)),
      edit(command(owner, this, "personEdit", SidebarView::tr("Edit…"), icons::edit, {QKeySequence(Qt::Key_F2)})),
      shareMyCard(command(owner, this, "personShareMyCard", SidebarView::tr("Share My Card…"), icons::share)),
      remove(command(owner, this, "personDelete", SidebarView::tr("Delete"), icons::erase,
                     {QKeySequence(QKeySequence::Delete), QKeySequence(Qt::Key_Backspace)})),
      m_meMenu(new QMenu(owner)),
      m_userMenu(new QMenu(owner))
{
    m_meMenu->setObjectName(QStringLiteral("myCardMenu"));
    m_meMenu->addActions({edit, shareMyCard});
    m_userMenu->setObjectName(QStringLiteral("personMenu"));
    m_userMenu->addActions({connection, shareFiles, shareFolder});
    m_userMenu->addSeparator();
    m_userMenu->addActions({edit, remove});
}

void PersonActions::setRow(Row row, User::State state)
{
    m_row = row;
    const bool user = row == Row::user;
    connection->setText(!user || state == User::State::notConnected ? SidebarView::tr("Connect")
                                                                      : SidebarView::tr("Disconnect"));
    connection->setEnabled(user);
    shareFiles->setEnabled(user);
    shareFolder->setEnabled(user);
    remove->setEnabled(user);
    edit->setEnabled(row != Row::none);
    shareMyCard->setEnabled(row == Row::me);
}

QMenu* PersonActions::menu() const
{
    switch (m_row) {
    case Row::me: return m_meMenu;
    case Row::user: return m_userMenu;
    case Row::none: return nullptr;
    }
    return nullptr;
}

}  // namespace brenvo
