#pragma once
// An item delegate whose lines are at least a given width. In a list whose
// lines share one size (uniform item sizes), every line then has the room of
// the widest: no name is cut short, and the list scrolls sideways that far.
#include <QStyledItemDelegate>

namespace widgets {

class WideLines : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setWidth(int width) { width_ = width; }
    int width() const { return width_; }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int width_ = 0;
};

}  // namespace widgets
