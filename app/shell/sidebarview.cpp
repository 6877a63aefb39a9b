#include "app/shell/sidebarview.h"

#include "app/shell/icons.h"

#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QToolButton>

namespace vortan {

namespace {

QString stateText(User::State state)
{
    switch (state) {
    case User::State::connected: return SidebarView::tr("Connected");
    case User::State::connecting: return SidebarView::tr("Connecting…");
    case User::State::notConnected: return SidebarView::tr("Not connected");
    }
    return {};
}

QPixmap greenDot(qreal scale)
{
    const int size = 10;
    QPixmap dot(QSize(size, size) * scale);
    dot.setDevicePixelRatio(scale);
    dot.fill(Qt::transparent);
    QPainter painter(&dot);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2e, 0xa0, 0x43));
    painter.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    return dot;
}

QToolButton* iconButton(const QString& icon, const QString& action, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setIcon(themeIcon(icon));
    button->setAutoRaise(true);
    button->setToolTip(action);
    button->setAccessibleName(action);
    button->setFocusPolicy(Qt::NoFocus);  // the row's context menu is the keyboard path
    return button;
}

QStringList localFiles(const QMimeData* data)
{
    QStringList paths;
    if (!data)
        return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    return paths;
}

}  // namespace

SidebarView::SidebarView(QWidget* parent) : QListWidget(parent)
{
    setObjectName(QStringLiteral("sidebar"));
    setAccessibleName(tr("People"));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setMinimumWidth(180);
    setIconSize(QSize(20, 20));
    setUniformItemSizes(true);
    setSpacing(1);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DropOnly);
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (!m_rebuilding)
            emit selectedKeyChanged(selectedKey());
    });
    connect(this, &QWidget::customContextMenuRequested, this, &SidebarView::showContextMenu);
}

QWidget* SidebarView::rowButtons(const User& user, bool isMe)
{
    auto* box = new QWidget;
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 4, 0);
    layout->setSpacing(2);
    layout->addStretch();
    const QByteArray key = user.key;
    if (isMe) {
        connect(iconButton(icons::edit, tr("Edit My Card"), box), &QToolButton::clicked, this,
                &SidebarView::editMeRequested);
        connect(iconButton(icons::share, tr("Share My Card"), box), &QToolButton::clicked, this,
                &SidebarView::shareMeRequested);
    } else {
        if (user.state == User::State::connected) {
            auto* mark = new QLabel(box);
            mark->setPixmap(greenDot(devicePixelRatioF()));
            mark->setToolTip(tr("Connected"));
            mark->setAccessibleName(tr("Connected"));
            layout->addWidget(mark);
        }
        connect(iconButton(icons::edit, tr("Edit %1").arg(user.name), box), &QToolButton::clicked, this,
                [this, key] { emit editUserRequested(key); });
    }
    for (QToolButton* button : box->findChildren<QToolButton*>())
        layout->addWidget(button);
    return box;
}

void SidebarView::setUsers(const std::optional<User>& me, const QList<User>& users)
{
    const QByteArray selected = selectedKey();
    m_rebuilding = true;
    clear();
    auto addRow = [this](const User& user, bool isMe) {
        auto* item = new QListWidgetItem(themeIcon(icons::person), user.name, this);
        item->setData(keyRole, user.key);
        item->setData(isMeRole, isMe);
        const QString description = isMe ? tr("Me") : stateText(user.state);
        item->setData(Qt::AccessibleDescriptionRole, description);
        item->setSizeHint(QSize(0, 32));
        if (isMe) {
            QFont bold = font();
            bold.setWeight(QFont::DemiBold);
            item->setFont(bold);
        }
        item->setToolTip(isMe ? tr("%1 (me)").arg(user.name) : tr("%1 — %2").arg(user.name, description));
        setItemWidget(item, rowButtons(user, isMe));
    };
    if (me)
        addRow(*me, true);
    for (const User& user : users)
        addRow(user, false);
    selectKey(selected);
    m_rebuilding = false;
    if (selectedKey() != selected)
        emit selectedKeyChanged(selectedKey());
}

void SidebarView::selectKey(const QByteArray& key)
{
    for (int i = 0; i < count(); ++i) {
        if (!key.isEmpty() && item(i)->data(keyRole).toByteArray() == key) {
            setCurrentRow(i);
            return;
        }
    }
    clearSelection();
}

QByteArray SidebarView::selectedKey() const
{
    const QList<QListWidgetItem*> items = selectedItems();
    return items.isEmpty() ? QByteArray() : items.first()->data(keyRole).toByteArray();
}

void SidebarView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Delete) || event->key() == Qt::Key_Backspace) {
        const QList<QListWidgetItem*> items = selectedItems();
        if (!items.isEmpty() && !items.first()->data(isMeRole).toBool())
            emit removeUserRequested(items.first()->data(keyRole).toByteArray());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void SidebarView::showContextMenu(const QPoint& position)
{
    QListWidgetItem* row = itemAt(position);
    if (!row)
        row = currentItem();
    if (!row)
        return;
    const QByteArray key = row->data(keyRole).toByteArray();
    QMenu menu(this);
    if (row->data(isMeRole).toBool()) {
        menu.addAction(themeIcon(icons::edit), tr("Edit…"), this, &SidebarView::editMeRequested);
        menu.addAction(themeIcon(icons::share), tr("Share My Card…"), this, &SidebarView::shareMeRequested);
    } else {
        menu.addAction(themeIcon(icons::edit), tr("Edit…"), this, [this, key] { emit editUserRequested(key); });
        menu.addAction(themeIcon(icons::erase), tr("Delete"), this, [this, key] { emit removeUserRequested(key); });
    }
    menu.exec(viewport()->mapToGlobal(position));
}

QStringList SidebarView::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

void SidebarView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!localFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void SidebarView::dragMoveEvent(QDragMoveEvent* event)
{
    if (!localFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void SidebarView::dropEvent(QDropEvent* event)
{
    const QStringList paths = localFiles(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    emit cardsDropped(paths);
}

}  // namespace vortan
