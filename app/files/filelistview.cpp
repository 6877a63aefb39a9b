#include "app/files/filelistview.h"

#include "app/files/filelistmodel.h"
#include "app/files/fileoffer.h"
#include "app/files/filerowdelegate.h"
#include "app/files/thumbnailscache.h"
#include "vortan/controller.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

using vortan::Controller;
using vortan::FileRow;

namespace brenvo {

namespace {

QToolButton* iconButton(const char* iconName, const QString& name, const QString& tip, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setIcon(QIcon::fromTheme(QString::fromLatin1(iconName)));
    button->setAutoRaise(true);
    button->setToolTip(tip);
    button->setAccessibleName(name);
    return button;
}

}  // namespace

FileListView::FileListView(Controller& controller, AppSettings& settings, ThumbnailsCache& thumbnails,
                           FileListServices services, QWidget* parent)
    : QWidget(parent),
      m_controller(controller),
      m_model(new FileListModel(controller, &thumbnails, this)),
      m_list(new QTreeView(this)),
      m_empty(new QLabel(tr("No shared files. Click the + button below to share files."), this)),
      m_pages(new QStackedWidget(this)),
      m_add(iconButton(kAddIconName, tr("Share Files"), tr("Share files…"), this)),
      m_addFolder(iconButton(kAddFolderIconName, tr("Share Folder"), tr("Share a folder…"), this)),
      m_remove(iconButton(kRemoveIconName, tr("Remove"), tr("Remove the selected files"), this)),
      m_downloadAllButton(new QToolButton(this)),
      m_actions(new FileActions(controller, settings, std::move(services), this, [this] { return commandTargets(); },
                                [this] { return m_model->user(); })),
      m_menu(new QMenu(this))
{
    auto* delegate = new FileRowDelegate(*m_model, thumbnails, this);
    m_list->setModel(m_model);
    m_list->setItemDelegate(delegate);
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setExpandsOnDoubleClick(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setMouseTracking(true);
    m_list->viewport()->installEventFilter(this);
    m_list->setAccessibleName(tr("Files"));
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setWordWrap(true);
    m_empty->setAccessibleName(m_empty->text());
    m_pages->addWidget(m_list);
    m_pages->addWidget(m_empty);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(4, 2, 4, 2);
    buttons->addWidget(m_add);
    buttons->addWidget(m_addFolder);
    buttons->addWidget(m_remove);
    buttons->addStretch();
    buttons->addWidget(m_downloadAllButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_pages, 1);
    layout->addLayout(buttons);
    setAcceptDrops(true);
    setFocusProxy(m_list);

    // One action per command: its key works on the selection, the context
    // menu shows it for the menu's targets.
    QList<QAction*> commands;
    for (const auto& [command, action] : m_actions->commands())
        commands.append(action);
    for (QAction* action : commands << m_actions->deleteAction()) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        m_list->addAction(action);
        m_menu->addAction(action);
    }
    connect(m_menu, &QMenu::aboutToHide, this, [this] {
        // The chosen entry runs after the menu hides: forget its targets after that.
        QMetaObject::invokeMethod(this, [this] {
            m_menuTargets.clear();
            updateActions();
        }, Qt::QueuedConnection);
    });

    // For the person: below the list, its key anywhere in the list.
    QAction* downloadAll = m_actions->downloadAll();
    downloadAll->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    QWidget::addAction(downloadAll);
    m_downloadAllButton->setDefaultAction(downloadAll);
    m_downloadAllButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_downloadAllButton->setAutoRaise(true);
    m_downloadAllButton->setAccessibleName(downloadAll->text());

    auto* menuKey = new QAction(tr("Context Menu"), this);
    menuKey->setObjectName(QStringLiteral("fileContextMenu"));
    menuKey->setShortcuts({QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)});
    menuKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(menuKey, &QAction::triggered, this, &FileListView::showContextMenuFromKeyboard);
    m_list->addAction(menuKey);
    m_list->installEventFilter(this);

    connect(m_add, &QToolButton::clicked, this, &FileListView::chooseFilesToOffer);
    connect(m_addFolder, &QToolButton::clicked, this, &FileListView::chooseFolderToOffer);
    connect(m_remove, &QToolButton::clicked, this, &FileListView::removeSelected);
    connect(delegate, &FileRowDelegate::buttonClicked, this, [this](const QModelIndex& index, RowButton button) {
        const QList<QUuid> ids = m_model->idsAt(index);
        if (!ids.isEmpty())
            m_actions->run(button, ids);
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, &FileListView::updateState);
    // Sections stay open; folders open on request (Right, +, a click on the arrow).
    const auto expandSections = [this] {
        for (int row = 0; row < m_model->rowCount(); ++row)
            m_list->expand(m_model->index(row, 0));
    };
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this, expandSections](const QModelIndex& parent) {
        if (!parent.isValid())
            expandSections();
        updateState();
    });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &FileListView::updateState);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &FileListView::updateActions);
    connect(m_model, &FileListModel::filesAdded, this, [this](const QModelIndex& first) {
        if (first.isValid())
            m_list->scrollTo(first);
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this, expandSections] {
        expandSections();
        updateState();
    });
    updateState();
}

FileListView::~FileListView() = default;

void FileListView::setUser(const QByteArray& key)
{
    m_model->setUser(key);
}

QByteArray FileListView::user() const
{
    return m_model->user();
}

QSet<QUuid> FileListView::selectedFiles() const
{
    return m_selected;
}

void FileListView::updateState()
{
    m_pages->setCurrentWidget(m_model->isEmpty() ? static_cast<QWidget*>(m_empty) : m_list);
    QSet<QUuid> selected;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows()) {
        for (const QUuid& id : m_model->idsAt(index))
            selected.insert(id);
    }
    m_remove->setEnabled(!selected.isEmpty());
    const bool changed = selected != m_selected;
    m_selected = selected;
    updateActions();
    if (changed)
        emit selectedFilesChanged(m_selected);
}

void FileListView::updateActions()
{
    const bool inMenu = !m_menuTargets.isEmpty();
    const QList<QUuid> ids = commandTargets();
    QList<const FileRow*> targets;
    for (const QUuid& id : ids) {
        const qsizetype index = m_controller.fileRow(id);
        const FileRow* row = index < 0 ? nullptr : &m_controller.fileRows()[index];  // read right here
        if (row && (!inMenu || row->download == m_menuSectionDownloads))
            targets.append(row);
    }
    m_actions->update(targets, ids, inMenu);
}

void FileListView::selectFiles(const QSet<QUuid>& ids)
{
    QItemSelection selection;
    QModelIndex first;
    for (const QUuid& id : ids) {
        QModelIndex index = m_model->indexOf(id);
        if (!index.isValid())
            continue;
        // A folder all of whose files are chosen is chosen as its row.
        if (const QList<QUuid> all = m_model->idsAt(index.parent());
            m_model->isFolder(index.parent()) &&
            std::all_of(all.cbegin(), all.cend(), [&ids](const QUuid& each) { return ids.contains(each); }))
            index = index.parent();
        selection.select(index, index);
        if (!first.isValid() || index.parent().row() < first.parent().row() ||
            (index.parent().row() == first.parent().row() && index.row() < first.row()))
            first = index;
    }
    m_list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (first.isValid()) {
        m_list->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
        m_list->scrollTo(first);
    }
}

void FileListView::selectAll()
{
    QItemSelection selection;
    for (FileListModel::Section section : {FileListModel::Section::downloads, FileListModel::Section::uploads}) {
        const QModelIndex parent = m_model->sectionIndex(section);
        const int count = m_model->rowCount(parent);
        if (parent.isValid() && count > 0)
            selection.select(m_model->index(0, 0, parent), m_model->index(count - 1, 0, parent));
    }
    m_list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void FileListView::removeSelected()
{
    const QSet<QUuid> selected = selectedFiles();
    if (!selected.isEmpty())
        m_actions->remove(selected.values());
}

QList<QUuid> FileListView::selectedInOrder() const
{
    // In the list's order, so that dialogs and calls follow what is shown.
    QList<QUuid> ids = m_selected.values();
    std::sort(ids.begin(), ids.end(),
              [this](const QUuid& a, const QUuid& b) { return m_controller.fileRow(a) < m_controller.fileRow(b); });
    return ids;
}

QList<QUuid> FileListView::commandTargets() const
{
    return m_menuTargets.isEmpty() ? selectedInOrder() : m_menuTargets;
}

QList<QUuid> FileListView::targets(const QModelIndex& clicked) const
{
    const QList<QUuid> ids = m_model->idsAt(clicked);
    if (ids.isEmpty())
        return {};
    if (m_selected.contains(ids.front()))
        return selectedInOrder();
    return ids;
}

bool FileListView::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == m_list->viewport() || watched == m_list) && event->type() == QEvent::ContextMenu) {
        const auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        if (menuEvent->reason() == QContextMenuEvent::Mouse && watched == m_list->viewport())
            showContextMenu(menuEvent->pos());
        else
            showContextMenuFromKeyboard();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FileListView::showContextMenuFromKeyboard()
{
    // The menu of the current row, wherever the pointer is; else of the
    // first selected row.
    QModelIndex at = m_list->currentIndex();
    if (m_model->idsAt(at).isEmpty()) {
        const QList<QUuid> selected = selectedInOrder();
        at = selected.isEmpty() ? QModelIndex() : m_model->indexOf(selected.front());
    }
    if (m_model->idsAt(at).isEmpty())
        return;
    m_list->scrollTo(at);
    showContextMenu(m_list->visualRect(at).center());
}

void FileListView::showContextMenu(const QPoint& position)
{
    const QModelIndex clicked = m_list->indexAt(position);
    const QList<QUuid> ids = targets(clicked);
    const FileRow* clickedRow = m_model->fileAt(clicked);
    if (ids.isEmpty() || !clickedRow)
        return;
    // The entries follow the targets in the clicked row's section.
    m_menuTargets = ids;
    m_menuSectionDownloads = clickedRow->download;
    updateActions();
    m_menu->popup(m_list->viewport()->mapToGlobal(position));
}

void FileListView::offerFiles(const QList<QUrl>& urls)
{
    m_actions->offerFiles(urls);
}

void FileListView::chooseFilesToOffer()
{
    m_actions->chooseFilesToOffer();
}

void FileListView::chooseFolderToOffer()
{
    m_actions->chooseFolderToOffer();
}

void FileListView::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void FileListView::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void FileListView::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls())
        return;
    event->acceptProposedAction();
    const QList<QUrl> files = droppedFiles(event->mimeData()->urls());
    if (!files.isEmpty())
        offerFiles(files);
}

}  // namespace brenvo
