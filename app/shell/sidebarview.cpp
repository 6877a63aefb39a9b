#include "app/shell/sidebarview.h"

#include "app/shell/personactions.h"
#include "app/shell/sidebardelegate.h"
#include "app/shell/sidebarmodel.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

using vortan::FileRow;
using vortan::User;

namespace brenvo {

namespace {

QList<QUrl> localUrls(const QMimeData* data)
{
    QList<QUrl> urls;
    if (!data)
        return urls;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            urls.append(url);
    return urls;
}

}  // namespace

SidebarView::SidebarView(QWidget* parent)
    : QListView(parent),
      m_model(new SidebarModel(this)),
      m_delegate(new SidebarDelegate(this)),
      m_actions(new PersonActions(this))
{
    setObjectName(QStringLiteral("sidebar"));
    setAccessibleName(tr("People"));
    setModel(m_model);
    setItemDelegate(m_delegate);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setMinimumWidth(180);
    setUniformItemSizes(true);
    setMouseTracking(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DropOnly);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &SidebarView::selectionMoved);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { showContextMenu(indexAt(position), position); });
    connect(m_delegate, &SidebarDelegate::buttonClicked, this,
            [this](const QModelIndex& index, SidebarDelegate::Button button) {
                switch (button) {
                case SidebarDelegate::Button::editMe: emit editMeRequested(); break;
                case SidebarDelegate::Button::shareMe: emit shareMeRequested(); break;
                case SidebarDelegate::Button::editUser:
                    emit editUserRequested(index.data(SidebarModel::KeyRole).toByteArray());
                    break;
                }
            });
    // The commands act on the selected row (their actions are off without one).
    const auto onUser = [this](void (SidebarView::*request)(const QByteArray&)) {
        return [this, request] {
            const QByteArray key = selectedKey();
            if (!key.isEmpty())
                emit(this->*request)(key);
        };
    };
    connect(m_actions->connection, &QAction::triggered, this, onUser(&SidebarView::connectionToggleRequested));
    connect(m_actions->shareFiles, &QAction::triggered, this, onUser(&SidebarView::shareFilesRequested));
    connect(m_actions->shareFolder, &QAction::triggered, this, onUser(&SidebarView::shareFolderRequested));
    connect(m_actions->remove, &QAction::triggered, this, onUser(&SidebarView::removeUserRequested));
    connect(m_actions->shareMyCard, &QAction::triggered, this, &SidebarView::shareMeRequested);
    connect(m_actions->edit, &QAction::triggered, this, [this, onUser] {
        if (m_actions->row() == PersonActions::Row::me)
            emit editMeRequested();
        else
            onUser(&SidebarView::editUserRequested)();
    });
    updateActions();
}

void SidebarView::updateActions()
{
    const QModelIndex index = selectionModel()->selectedIndexes().value(0);
    if (!index.isValid())
        m_actions->setRow(PersonActions::Row::none);
    else if (index.data(SidebarModel::IsMeRole).toBool())
        m_actions->setRow(PersonActions::Row::me);
    else
        m_actions->setRow(PersonActions::Row::user, User::State(index.data(SidebarModel::StateRole).toInt()));
}

void SidebarView::selectionMoved()
{
    if (m_updating)
        return;
    updateActions();
    const QByteArray key = selectedKey();
    if (key != m_lastKey) {
        m_lastKey = key;
        emit selectedKeyChanged(key);
    }
}

void SidebarView::setUsers(const std::optional<User>& me, const QList<User>& users)
{
    const QByteArray selected = selectedKey();
    m_updating = true;
    m_model->setUsers(me, users);
    // The view would move the selection to a neighbour of a removed row.
    if (!selected.isEmpty() && !m_model->indexOf(selected).isValid())
        selectionModel()->clear();
    m_updating = false;
    selectionMoved();
}

void SidebarView::setFileRows(const QList<FileRow>& rows)
{
    m_updating = true;
    m_model->setNewFiles(SidebarModel::newFiles(rows));
    m_updating = false;
    selectionMoved();
}

void SidebarView::selectKey(const QByteArray& key)
{
    const QModelIndex index = m_model->indexOf(key);
    if (!index.isValid()) {
        clearSelection();
        return;
    }
    if (selectionModel()->isSelected(index) && currentIndex() == index)
        return;
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
}

QByteArray SidebarView::selectedKey() const
{
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? QByteArray() : rows.first().data(SidebarModel::KeyRole).toByteArray();
}

bool SidebarView::isCardFile(const QString& path) { return path.endsWith(QLatin1String(".bcard"), Qt::CaseInsensitive); }

void SidebarView::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex current = selectionModel()->selectedIndexes().value(0);
    // Delete's action is off here (nothing or the own card selected).
    if (event->matches(QKeySequence::Delete) || event->key() == Qt::Key_Backspace) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Menu || (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        const QModelIndex target = current.isValid() ? current : currentIndex();
        if (target.isValid())
            showContextMenu(target, visualRect(target).center());
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void SidebarView::showContextMenu(const QModelIndex& clicked, const QPoint& position)
{
    const QModelIndex index = clicked.isValid() ? clicked : selectionModel()->selectedIndexes().value(0);
    if (!index.isValid())
        return;
    // The commands act on the selected row: the menu's row becomes it.
    selectKey(index.data(SidebarModel::KeyRole).toByteArray());
    if (QMenu* menu = m_actions->menu())
        menu->popup(viewport()->mapToGlobal(position));
}

void SidebarView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!localUrls(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void SidebarView::dragMoveEvent(QDragMoveEvent* event)
{
    if (!localUrls(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void SidebarView::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = localUrls(event->mimeData());
    if (urls.isEmpty())
        return;
    event->acceptProposedAction();
    QStringList cards;
    QList<QUrl> files;
    for (const QUrl& url : urls) {
        if (isCardFile(url.toLocalFile()))
            cards.append(url.toLocalFile());
        else
            files.append(url);
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!files.isEmpty() && index.isValid() && !index.data(SidebarModel::IsMeRole).toBool())
        emit filesDroppedOnUser(index.data(SidebarModel::KeyRole).toByteArray(), files);
    if (!cards.isEmpty())
        emit cardsDropped(cards);
}

}  // namespace brenvo
