#include "widgets/radio_group.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

namespace widgets {

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)), layout_(new QVBoxLayout(this))
{
    layout_->setContentsMargins(4, 0, 2, 0);
    layout_->setSpacing(0);
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, &RadioGroup::clicked);
    setItems(items);
}

void RadioGroup::setItems(const QStringList& items)
{
    const auto old = group_->buttons();
    for (QAbstractButton* b : old) {
        group_->removeButton(b);
        delete b;
    }
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items.at(i), this);
        group_->addButton(b, i);
        layout_->addWidget(b);
    }
}

QStringList RadioGroup::items() const
{
    QStringList out;
    for (int i = 0; i < count(); ++i)
        out << button(i)->text();
    return out;
}

int RadioGroup::count() const { return static_cast<int>(group_->buttons().size()); }

QRadioButton* RadioGroup::button(int index) const
{
    return qobject_cast<QRadioButton*>(group_->button(index));
}

int RadioGroup::itemIndex() const { return group_->checkedId(); }

void RadioGroup::setItemIndex(int index)
{
    if (QRadioButton* b = button(index)) {
        b->setChecked(true);
        return;
    }
    // No item chosen: an exclusive group cannot uncheck its last button.
    group_->setExclusive(false);
    for (QAbstractButton* b : group_->buttons())
        b->setChecked(false);
    group_->setExclusive(true);
}

}  // namespace widgets
