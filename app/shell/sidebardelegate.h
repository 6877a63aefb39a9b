#pragma once

#include <QList>
#include <QPersistentModelIndex>
#include <QRect>
#include <QStyledItemDelegate>

#include <utility>

namespace brenvo {

// Draws a sidebar row: the person symbol, the name with the connection state
// below it, then at the right end the count of new files, the green mark of a
// connected person and the row's buttons (the pencil; for the local user the
// pencil and the share button). The buttons are painted, not widgets; a click
// on one is reported by buttonClicked(), and each has a context-menu entry as
// its keyboard path. Tooltips are plain text whatever the names contain.
class SidebarDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    enum class Button { editMe, shareMe, editUser };

    using QStyledItemDelegate::QStyledItemDelegate;

    // The buttons of a row, right to left, with their rectangles in rect.
    static QList<std::pair<Button, QRect>> buttons(const QModelIndex& index, const QRect& rect);
    static QString buttonText(Button button, const QModelIndex& index);
    // The tooltip at position in a row drawn in rect, ready for QToolTip
    // (plain text turned into markup, so names never act as markup).
    static QString toolTip(const QModelIndex& index, const QRect& rect, const QPoint& position);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

signals:
    void buttonClicked(const QModelIndex& index, brenvo::SidebarDelegate::Button button);

private:
    QPersistentModelIndex m_pressed;
    int m_pressedButton = -1;
};

}  // namespace brenvo
