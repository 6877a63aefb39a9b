#include "app/shell/sidebardelegate.h"

#include "app/shell/icons.h"
#include "app/shell/sidebarmodel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QTextDocument>
#include <QToolTip>

#include <algorithm>

namespace brenvo {

namespace {

constexpr int kMargin = 6;
constexpr int kSpacing = 4;
constexpr int kButton = 24;
constexpr int kIcon = 20;
constexpr int kDot = 10;

// The state line: a green readable on the base for someone there, else the
// text colour softened only as far as it keeps a contrast of about 7:1.
QColor stateColor(const QPalette& palette, bool available, bool selected)
{
    if (selected)
        return palette.color(QPalette::HighlightedText);
    const QColor text = palette.color(QPalette::Text);
    const QColor base = palette.color(QPalette::Base);
    if (available)
        return base.lightness() > 128 ? QColor(0x1a, 0x7f, 0x37) : QColor(0x57, 0xd3, 0x6e);
    return QColor::fromRgbF(text.redF() * 0.65f + base.redF() * 0.35f, text.greenF() * 0.65f + base.greenF() * 0.35f,
                            text.blueF() * 0.65f + base.blueF() * 0.35f);
}

QFont smaller(const QFont& font)
{
    QFont small = font;
    small.setWeight(QFont::Normal);
    if (small.pointSizeF() > 0)
        small.setPointSizeF(small.pointSizeF() * 0.85);
    else
        small.setPixelSize(std::max(9, int(small.pixelSize() * 0.85)));
    return small;
}

QString badgeText(int count)
{
    const QLocale locale;
    return count > 999 ? locale.toString(999) + QLatin1Char('+') : locale.toString(count);
}

// The count, then the green mark, left of the buttons.
QRect badgeRect(const QModelIndex& index, const QRect& rect, const QFontMetrics& metrics)
{
    const int count = index.data(SidebarModel::NewFilesRole).toInt();
    if (count <= 0)
        return {};
    const int buttonsWidth = int(SidebarDelegate::buttons(index, rect).size()) * (kButton + kSpacing);
    const int width = std::max(metrics.height() + 4, metrics.horizontalAdvance(badgeText(count)) + 10);
    const int height = metrics.height() + 2;
    const int dot = index.data(SidebarModel::AvailableRole).toBool() ? kDot + kSpacing : 0;
    return {rect.right() - kMargin - buttonsWidth - dot - width, rect.top() + (rect.height() - height) / 2, width,
            height};
}

}  // namespace

QList<std::pair<SidebarDelegate::Button, QRect>> SidebarDelegate::buttons(const QModelIndex& index, const QRect& rect)
{
    QList<std::pair<Button, QRect>> result;
    const int y = rect.top() + (rect.height() - kButton) / 2;
    int x = rect.right() - kMargin - kButton + 1;
    const QList<Button> kinds = index.data(SidebarModel::IsMeRole).toBool() ? QList{Button::shareMe, Button::editMe}
                                                                              : QList{Button::editUser};
    for (Button button : kinds) {
        result.append({button, QRect(x, y, kButton, kButton)});
        x -= kButton + kSpacing;
    }
    return result;
}

QString SidebarDelegate::buttonText(Button button, const QModelIndex& index)
{
    switch (button) {
    case Button::editMe:
    case Button::editUser: return index.data(SidebarModel::EditTextRole).toString();
    case Button::shareMe: return tr("Share My Card");
    }
    return {};
}

QString SidebarDelegate::toolTip(const QModelIndex& index, const QRect& rect, const QPoint& position)
{
    QString text = index.data(Qt::ToolTipRole).toString();
    for (const auto& [button, area] : buttons(index, rect))
        if (area.contains(position))
            text = buttonText(button, index);
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNoWrap);
}

QSize SidebarDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const QFontMetrics small(smaller(option.font));
    return {0, std::max(kButton + 2 * kSpacing, option.fontMetrics.height() + small.height() + 2 * kSpacing)};
}

void SidebarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // The background: selection, hover and focus as the style draws them.
    opt.text.clear();
    opt.icon = QIcon();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    const QRect rect = option.rect;
    const QList<std::pair<Button, QRect>> rowButtons = buttons(index, rect);
    const QFontMetrics smallMetrics(smaller(option.font));
    QRect badge = badgeRect(index, rect, smallMetrics);
    int right = rowButtons.isEmpty() ? rect.right() - kMargin : rowButtons.back().second.left() - kSpacing;

    const QIcon person = index.data(Qt::DecorationRole).value<QIcon>();
    const QRect iconRect(rect.left() + kMargin, rect.top() + (rect.height() - kIcon) / 2, kIcon, kIcon);
    person.paint(painter, iconRect, Qt::AlignCenter, selected ? QIcon::Selected : QIcon::Normal);

    if (index.data(SidebarModel::AvailableRole).toBool()) {
        const QRect dot(right - kDot + 1, rect.top() + (rect.height() - kDot) / 2, kDot, kDot);
        painter->setRenderHint(QPainter::Antialiasing);
        // Outlined on a selected row, where the highlight would swallow it.
        painter->setPen(selected ? QPen(option.palette.color(QPalette::HighlightedText), 1.5) : QPen(Qt::NoPen));
        painter->setBrush(QColor(0x2e, 0xa0, 0x43));
        painter->drawEllipse(QRectF(dot).adjusted(1, 1, -1, -1));
        right = dot.left() - kSpacing;
    }
    if (badge.isValid()) {
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(selected ? option.palette.color(QPalette::HighlightedText)
                                   : option.palette.color(QPalette::Highlight));
        painter->drawRoundedRect(badge, badge.height() / 2.0, badge.height() / 2.0);
        QFont font = smaller(option.font);
        font.setWeight(QFont::DemiBold);
        painter->setFont(font);
        painter->setPen(selected ? option.palette.color(QPalette::Highlight)
                                 : option.palette.color(QPalette::HighlightedText));
        painter->drawText(badge, Qt::AlignCenter, badgeText(index.data(SidebarModel::NewFilesRole).toInt()));
        right = badge.left() - kSpacing;
    }
    for (const auto& [button, area] : rowButtons) {
        const QIcon icon = themeIcon(button == Button::shareMe ? icons::share : icons::edit);
        icon.paint(painter, area.adjusted(4, 4, -4, -4), Qt::AlignCenter,
                   selected ? QIcon::Selected : QIcon::Normal);
    }

    const int textLeft = iconRect.right() + 1 + kMargin;
    const QRect textRect(textLeft, rect.top() + kSpacing, std::max(0, right - textLeft), rect.height() - 2 * kSpacing);
    const QFont nameFont = opt.font;
    const QFontMetrics nameMetrics(nameFont);
    const int lines = nameMetrics.height() + smallMetrics.height();
    const int top = textRect.top() + (textRect.height() - lines) / 2;
    painter->setFont(nameFont);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(QRect(textLeft, top, textRect.width(), nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, textRect.width()));
    painter->setFont(smaller(option.font));
    painter->setPen(stateColor(option.palette, index.data(SidebarModel::AvailableRole).toBool(), selected));
    painter->drawText(QRect(textLeft, top + nameMetrics.height(), textRect.width(), smallMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      smallMetrics.elidedText(index.data(SidebarModel::StateTextRole).toString(), Qt::ElideRight,
                                              textRect.width()));
    painter->restore();
}

bool SidebarDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                  const QModelIndex& index)
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease &&
        event->type() != QEvent::MouseButtonDblClick)
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton)
        return false;
    int hit = -1;
    for (const auto& [button, area] : buttons(index, option.rect))
        if (area.contains(mouse->position().toPoint()))
            hit = int(button);
    if (event->type() == QEvent::MouseButtonRelease) {
        const bool clicked = hit >= 0 && m_pressed == index && m_pressedButton == hit;
        m_pressed = QPersistentModelIndex();
        m_pressedButton = -1;
        if (clicked)
            emit buttonClicked(index, Button(hit));
        return clicked;
    }
    if (hit < 0)
        return false;
    m_pressed = index;
    m_pressedButton = hit;
    return true;  // a button press does not select the row
}

bool SidebarDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                const QModelIndex& index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QToolTip::showText(event->globalPos(), toolTip(index, option.rect, event->pos()), view->viewport(),
                       option.rect);
    return true;
}

}  // namespace brenvo
