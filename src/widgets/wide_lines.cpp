#include "widgets/wide_lines.h"

#include <algorithm>

namespace widgets {

QSize WideLines::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setWidth(std::max(size.width(), width_));
    return size;
}

}  // namespace widgets
