#include "app/files/filerowdelegate.h"

#include "app/files/filelistmodel.h"
#include "app/files/thumbnailscache.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

using vortan::FileRow;

namespace brenvo {

namespace {

constexpr int kMargin = 6;
constexpr int kSpacing = 4;
constexpr int kButton = 24;
constexpr int kBarHeight = 6;

QFont nameFont(const QFont& base)
{
    QFont font = base;
    font.setPixelSize(16);
    return font;
}

QFont problemFont(const QFont& base)
{
    QFont font = base;
    font.setPixelSize(12);
    return font;
}

}  // namespace

FileRowDelegate::FileRowDelegate(FileListModel& model, ThumbnailsCache& thumbnails, QObject* parent)
    : QStyledItemDelegate(parent), m_model(model), m_thumbnails(thumbnails)
{
}

QSize FileRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (index.data(FileListModel::IsSectionRole).toBool())
        return {0, option.fontMetrics.height() + 2 * kMargin};
    return {0, m_thumbnails.size() + 2 * kMargin};
}

QList<std::pair<RowButton, QRect>> FileRowDelegate::buttonRects(const FileRow& row, const QRect& rect)
{
    const QList<RowButton> buttons = rowButtons(row);
    QList<std::pair<RowButton, QRect>> rects;
    int x = rect.right() - kMargin - int(buttons.size()) * (kButton + kSpacing) + kSpacing;
    const int y = rect.top() + (rect.height() - kButton) / 2;
    for (RowButton button : buttons) {
        rects.append({button, QRect(x, y, kButton, kButton)});
        x += kButton + kSpacing;
    }
    return rects;
}

void FileRowDelegate::paintSection(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const
{
    QFont font = option.font;
    font.setBold(true);
    painter->setFont(font);
    painter->setPen(option.palette.color(QPalette::Text));
    painter->drawText(option.rect.adjusted(kMargin, 0, -kMargin, 0), Qt::AlignLeft | Qt::AlignVCenter,
                      index.data(Qt::DisplayRole).toString());
}

void FileRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    if (index.data(FileListModel::IsSectionRole).toBool()) {
        paintSection(painter, option, index);
        painter->restore();
        return;
    }
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, option.widget);
    if (!(option.state & QStyle::State_Selected) && index.data(FileListModel::RecentRole).toBool()) {
        // Just added: tinted for a moment, so it is seen where it landed.
        QColor tint = option.palette.color(QPalette::Highlight);
        tint.setAlpha(48);
        painter->fillRect(option.rect, tint);
    }

    const FileRow* row = m_model.fileAt(index);
    if (!row) {
        painter->restore();
        return;
    }
    const QRect rect = option.rect;
    const int edge = m_thumbnails.size();
    const QRect thumb(rect.left() + kMargin, rect.top() + (rect.height() - edge) / 2, edge, edge);
    const bool folder = index.data(FileListModel::IsFolderRole).toBool();
    const ThumbnailsCache::Result* result = folder ? nullptr : &m_thumbnails.thumbnail(*row);
    if (folder) {
        QIcon::fromTheme(QString::fromLatin1(kFolderIconName)).paint(painter, thumb);
    } else if (result->state == ThumbnailsCache::Result::State::available && !result->image.isNull()) {
        const QSize shown = result->image.deviceIndependentSize().toSize().scaled(edge, edge, Qt::KeepAspectRatio);
        painter->drawPixmap(QRect(thumb.center() - QPoint(shown.width() / 2, shown.height() / 2), shown),
                            result->image);
    } else {
        QIcon::fromTheme(QString::fromLatin1(kGenericFileIconName)).paint(painter, thumb);
    }

    const QList<std::pair<RowButton, QRect>> buttons = buttonRects(*row, rect);
    const int textLeft = thumb.right() + 1 + 2 * kSpacing;
    const int textRight = (buttons.isEmpty() ? rect.right() : buttons.front().second.left()) - 2 * kSpacing;
    const bool selected = option.state & QStyle::State_Selected;
    const QColor text = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    const QColor secondary = option.palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText);

    const QFont name = nameFont(option.font);
    const QFont problem = problemFont(option.font);
    const QFontMetrics nameMetrics(name);
    const QFontMetrics bodyMetrics(option.font);
    const QFontMetrics problemMetrics(problem);
    const QString problemText = FileListModel::problemText(*row);
    const bool progress = row->inProgress();
    int height = nameMetrics.height() + bodyMetrics.height();
    if (progress)
        height += kSpacing + kBarHeight;
    if (!problemText.isEmpty())
        height += problemMetrics.height();
    int y = rect.top() + (rect.height() - height) / 2;
    const int width = std::max(0, textRight - textLeft);

    painter->setFont(name);
    painter->setPen(text);
    painter->drawText(QRect(textLeft, y, width, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle, width));
    y += nameMetrics.height();

    // Most UI fonts draw digits at one width already; Qt 6.4 cannot ask for it.
    const QFont& digits = option.font;
    painter->setFont(digits);
    painter->setPen(secondary);
    painter->drawText(QRect(textLeft, y, width, bodyMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      bodyMetrics.elidedText(index.data(FileListModel::DetailRole).toString(), Qt::ElideRight, width));
    y += bodyMetrics.height();

    if (progress) {
        QStyleOptionProgressBar bar;
        bar.rect = QRect(textLeft, y + kSpacing, width, kBarHeight);
        bar.minimum = 0;
        bar.maximum = 1000;
        bar.progress = int(row->fraction() * 1000);
        bar.state = QStyle::State_Enabled | QStyle::State_Horizontal;
        bar.palette = option.palette;
        style->drawControl(QStyle::CE_ProgressBar, &bar, painter, option.widget);
        y += kSpacing + kBarHeight;
    }
    if (!problemText.isEmpty()) {
        painter->setFont(problem);
        painter->setPen(QColor(Qt::red));
        painter->drawText(QRect(textLeft, y, width, problemMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                          problemMetrics.elidedText(problemText, Qt::ElideRight, width));
    }

    for (const auto& [button, area] : buttons) {
        const QIcon icon = QIcon::fromTheme(rowButtonIconName(button));
        if (button == RowButton::done) {
            icon.paint(painter, area.adjusted(2, 2, -2, -2));
            continue;
        }
        const bool down = m_pressed == index && m_pressedButton == button;
        icon.paint(painter, area.adjusted(2, 2, -2, -2), Qt::AlignCenter, down ? QIcon::Active : QIcon::Normal);
    }
    painter->restore();
}

std::optional<RowButton> FileRowDelegate::buttonAt(const QModelIndex& index, const QRect& rect,
                                                   const QPoint& point) const
{
    const FileRow* row = m_model.fileAt(index);
    if (!row)
        return std::nullopt;
    for (const auto& [button, area] : buttonRects(*row, rect)) {
        if (area.contains(point))
            return button;
    }
    return std::nullopt;
}

bool FileRowDelegate::editorEvent(QEvent* event, QAbstractItemModel*, const QStyleOptionViewItem& option,
                                  const QModelIndex& index)
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease &&
        event->type() != QEvent::MouseButtonDblClick)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton)
        return false;
    const std::optional<RowButton> button = buttonAt(index, option.rect, mouse->position().toPoint());
    if (!button || *button == RowButton::done) {
        m_pressed = QPersistentModelIndex();
        m_pressedButton.reset();
        return false;
    }
    if (event->type() != QEvent::MouseButtonRelease) {
        // A press on a button does not change the selection.
        m_pressed = index;
        m_pressedButton = button;
        return true;
    }
    const bool clicked = m_pressed == index && m_pressedButton == button;
    m_pressed = QPersistentModelIndex();
    m_pressedButton.reset();
    if (clicked)
        emit buttonClicked(index, *button);
    return true;
}

bool FileRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                const QModelIndex& index)
{
    if (event->type() == QEvent::ToolTip) {
        if (const std::optional<RowButton> button = buttonAt(index, option.rect, event->pos())) {
            QToolTip::showText(event->globalPos(), rowButtonText(*button), view);
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

}  // namespace brenvo
