#include "app/files/filelistview.h"

#include "app/files/filelistmodel.h"
#include "app/files/fileoffer.h"
#include "app/files/filerowdelegate.h"
#include "app/files/thumbnailscache.h"
#include "app/settings/appsettings.h"
#include "vortan/controller/controller.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace vortan {

namespace {

void chooseFilesWithDialog(QWidget* window, std::function<void(QList<QUrl>)> done)
{
    auto* dialog = new QFileDialog(window, QFileDialog::tr("Share Files"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done = std::move(done)](int result) {
        if (result == QDialog::Accepted)
            done(dialog->selectedUrls());
    });
    dialog->open();
}

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
      m_settings(settings),
      m_thumbnails(thumbnails),
      m_services(std::move(services)),
      m_model(new FileListModel(controller, &thumbnails, this)),
      m_list(new QTreeView(this)),
      m_empty(new QLabel(tr("No shared files. Click the + button below to share files."), this)),
      m_pages(new QStackedWidget(this)),
      m_add(iconButton(kAddIconName, tr("Share Files"), tr("Share files…"), this)),
      m_remove(iconButton(kRemoveIconName, tr("Remove"), tr("Remove the selected files"), this))
{
    if (!m_services.downloadDialogs.saveFile || !m_services.downloadDialogs.chooseFolder)
        m_services.downloadDialogs = systemDownloadDialogs();
    if (!m_services.chooseFiles)
        m_services.chooseFiles = chooseFilesWithDialog;

    auto* delegate = new FileRowDelegate(*m_model, thumbnails, this);
    m_list->setModel(m_model);
    m_list->setItemDelegate(delegate);
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
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
    buttons->addWidget(m_remove);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_pages, 1);
    layout->addLayout(buttons);
    setAcceptDrops(true);
    setFocusProxy(m_list);

    // Keys for every command, on the selection; the context menu shows them.
    for (RowButton command : {RowButton::download, RowButton::upload, RowButton::pause, RowButton::preview,
                              RowButton::reveal}) {
        auto* action = new QAction(rowButtonText(command), m_list);
        action->setShortcut(rowButtonShortcut(command));
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, [this, command] { runOnSelection(command); });
        m_list->addAction(action);
    }
    auto* deleteAction = new QAction(tr("Delete"), m_list);
    deleteAction->setShortcut(QKeySequence::Delete);
    deleteAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(deleteAction, &QAction::triggered, this, &FileListView::removeSelected);
    m_list->addAction(deleteAction);

    connect(m_add, &QToolButton::clicked, this, [this] {
        m_services.chooseFiles(window(), [self = QPointer(this)](const QList<QUrl>& urls) {
            if (self && !urls.isEmpty())
                self->offerFiles(urls);
        });
    });
    connect(m_remove, &QToolButton::clicked, this, &FileListView::removeSelected);
    connect(delegate, &FileRowDelegate::buttonClicked, this, [this](const QModelIndex& index, RowButton button) {
        const QUuid id = m_model->idAt(index);
        if (!id.isNull())
            runCommand(button, {id});
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, &FileListView::updateState);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent, int first, int last) {
        if (!parent.isValid()) {
            for (int row = first; row <= last; ++row)
                m_list->expand(m_model->index(row, 0));
        }
        updateState();
    });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &FileListView::updateState);
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_list->expandAll();
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
        const QUuid id = m_model->idAt(index);
        if (!id.isNull())
            selected.insert(id);
    }
    m_remove->setEnabled(!selected.isEmpty());
    if (selected != m_selected) {
        m_selected = selected;
        emit selectedFilesChanged(m_selected);
    }
}

void FileListView::selectFiles(const QSet<QUuid>& ids)
{
    QItemSelection selection;
    QModelIndex first;
    for (const QUuid& id : ids) {
        const QModelIndex index = m_model->indexOf(id);
        if (!index.isValid())
            continue;
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
        remove(selected.values());
}

QList<QUuid> FileListView::targets(const QModelIndex& clicked) const
{
    const QUuid id = m_model->idAt(clicked);
    if (id.isNull())
        return {};
    if (m_selected.contains(id)) {
        // In the list's order, so that dialogs and calls follow what is shown.
        QList<QUuid> ids;
        for (const QModelIndex& index : m_list->selectionModel()->selectedRows())
            ids.append(m_model->idAt(index));
        std::sort(ids.begin(), ids.end(), [this](const QUuid& a, const QUuid& b) {
            return m_controller.fileRow(a) < m_controller.fileRow(b);
        });
        return ids;
    }
    return {id};
}

QList<FileRow> FileListView::rows(const QList<QUuid>& ids) const
{
    QList<FileRow> result;
    for (const QUuid& id : ids) {
        if (const FileRow* row = m_controller.findFile(id))
            result.append(*row);
    }
    return result;
}

bool FileListView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list->viewport() && event->type() == QEvent::ContextMenu) {
        const auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        QPoint position = menuEvent->pos();
        // The menu key aims at the current row, wherever the pointer is.
        if (menuEvent->reason() != QContextMenuEvent::Mouse && m_list->currentIndex().isValid())
            position = m_list->visualRect(m_list->currentIndex()).center();
        showContextMenu(position);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FileListView::showContextMenu(const QPoint& position)
{
    const QModelIndex clicked = m_list->indexAt(position);
    const QList<QUuid> ids = targets(clicked);
    const FileRow* clickedRow = m_model->fileAt(clicked);
    if (ids.isEmpty() || !clickedRow)
        return;
    // The flags look at the targets in the clicked row's section.
    const bool download = clickedRow->download;
    QList<const FileRow*> sectionTargets;
    for (const QUuid& id : ids) {
        const FileRow* row = m_controller.findFile(id);
        if (row && row->download == download)
            sectionTargets.append(row);
    }
    const FileActionFlags flags = fileActionFlags(sectionTargets);

    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const auto add = [&](RowButton command) {
        QAction* action = menu->addAction(QIcon::fromTheme(rowButtonIconName(command)), rowButtonText(command));
        action->setShortcut(rowButtonShortcut(command));
        connect(action, &QAction::triggered, this, [this, command, ids] { runCommand(command, ids); });
    };
    if (flags.download)
        add(RowButton::download);
    if (flags.upload)
        add(RowButton::upload);
    if (flags.pause)
        add(RowButton::pause);
    if (flags.previewAndReveal) {
        add(RowButton::preview);
        add(RowButton::reveal);
    }
    QAction* remove = menu->addAction(QIcon::fromTheme(QString::fromLatin1(kDeleteIconName)), tr("Delete"));
    remove->setShortcut(QKeySequence::Delete);
    connect(remove, &QAction::triggered, this, [this, ids] { this->remove(ids); });
    menu->popup(m_list->viewport()->mapToGlobal(position));
}

void FileListView::runOnSelection(RowButton command)
{
    QList<QUuid> ids = selectedFiles().values();
    std::sort(ids.begin(), ids.end(),
              [this](const QUuid& a, const QUuid& b) { return m_controller.fileRow(a) < m_controller.fileRow(b); });
    QList<const FileRow*> selected;
    for (const QUuid& id : ids) {
        if (const FileRow* row = m_controller.findFile(id))
            selected.append(row);
    }
    const FileActionFlags flags = fileActionFlags(selected);
    const bool allowed = (command == RowButton::download && flags.download) ||
                         (command == RowButton::upload && flags.upload) ||
                         (command == RowButton::pause && flags.pause) ||
                         ((command == RowButton::preview || command == RowButton::reveal) && flags.previewAndReveal);
    if (allowed)
        runCommand(command, ids);
}

void FileListView::runCommand(RowButton command, const QList<QUuid>& ids)
{
    switch (command) {
    case RowButton::pause: m_controller.pause(ids); return;
    case RowButton::download:
    case RowButton::upload: resume(ids); return;
    case RowButton::preview:
        if (m_services.preview)
            m_services.preview(localPaths(ids));
        return;
    case RowButton::reveal:
        if (m_services.reveal)
            m_services.reveal(localPaths(ids));
        return;
    case RowButton::done: return;
    }
}

void FileListView::resume(const QList<QUuid>& ids)
{
    // Finished transfers have nothing left to resume: they neither get a
    // location asked for nor count towards "one file or several".
    QList<ResumeItem> uploads;
    QList<FileRow> downloads;
    for (const FileRow& row : rows(ids)) {
        if (row.transferred())
            continue;
        if (row.download)
            downloads.append(row);
        else
            uploads.append(ResumeItem{row.id, std::nullopt});
    }
    if (!uploads.isEmpty())
        m_controller.resume(uploads);
    resolveDownloads(downloads, m_settings.downloadLocation(), window(), m_services.downloadDialogs,
                     [self = QPointer(this)](const QList<ResumeItem>& items) {
                         if (self)
                             self->m_controller.resume(items);
                     });
}

void FileListView::remove(const QList<QUuid>& ids)
{
    if (!ids.isEmpty() && !m_model->user().isEmpty())
        m_controller.removeFiles(ids, m_model->user());
}

QStringList FileListView::localPaths(const QList<QUuid>& ids) const
{
    QStringList paths;
    for (const FileRow& row : rows(ids)) {
        if (row.local() && row.location && row.location->isLocalFile())
            paths.append(row.location->toLocalFile());
    }
    return paths;
}

void FileListView::offerFiles(const QList<QUrl>& urls)
{
    OfferedFiles offered = describeFiles(urls);
    const std::optional<FailureAlert> alert = failureAlert(offered.failures);
    if (!alert) {
        share(offered.files);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, alert->text, alert->text, QMessageBox::Ok, window());
    box->setInformativeText(alert->informativeText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QMessageBox::finished, this, [this, files = offered.files] { share(files); });
    box->open();
}

void FileListView::share(const QList<File2>& files)
{
    if (files.isEmpty() || !m_services.chooseRecipients)
        return;
    m_services.chooseRecipients(window(), m_model->user(),
                                [self = QPointer(this), files](const QList<QByteArray>& keys) {
                                    if (self && !keys.isEmpty())
                                        self->m_controller.shareFiles(files, keys);
                                });
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

}  // namespace vortan
