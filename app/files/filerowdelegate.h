#pragma once

#include "app/files/fileactions.h"

#include <QStyledItemDelegate>

namespace brenvo {

class FileListModel;
class ThumbnailsCache;

// Draws the rows of a FileListModel: section titles, and for each file its
// thumbnail, name, size (with a progress bar while in progress), its
// problem in red, and the row buttons at the right end.
//
// The buttons are drawn, not widgets: a list of thousands of rows stays one
// widget. A click on one is reported by buttonClicked(); the same commands
// are reachable from the keyboard through the list's shortcuts and context
// menu, and each row's accessible text names them (FileListModel).
class FileRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    FileRowDelegate(FileListModel& model, ThumbnailsCache& thumbnails, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    // Where each button of the row in rect is drawn.
    static QList<std::pair<RowButton, QRect>> buttonRects(const vortan::FileRow& row, const QRect& rect);

signals:
    void buttonClicked(const QModelIndex& index, brenvo::RowButton button);

private:
    void paintSection(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    std::optional<RowButton> buttonAt(const QModelIndex& index, const QRect& rect, const QPoint& point) const;

    FileListModel& m_model;
    ThumbnailsCache& m_thumbnails;
    QPersistentModelIndex m_pressed;
    std::optional<RowButton> m_pressedButton;
};

}  // namespace brenvo
