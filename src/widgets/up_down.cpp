#include "widgets/up_down.h"

#include <QToolButton>

#include <algorithm>

namespace widgets {

UpDown::UpDown(QWidget* parent) : QWidget(parent)
{
    upButton_ = new QToolButton(this);
    upButton_->setArrowType(Qt::UpArrow);
    downButton_ = new QToolButton(this);
    downButton_->setArrowType(Qt::DownArrow);
    connect(upButton_, &QToolButton::clicked, this, [this] { step(true); });
    connect(downButton_, &QToolButton::clicked, this, [this] { step(false); });
}

void UpDown::setRange(int min, int max)
{
    min_ = min;
    max_ = std::max(min, max);
    position_ = std::clamp(position_, min_, max_);
}

void UpDown::setPosition(int pos)
{
    position_ = std::clamp(pos, min_, max_);
}

void UpDown::step(bool up)
{
    setPosition(position_ + (up ? increment_ : -increment_));
    emit clicked(up);
}

void UpDown::resizeEvent(QResizeEvent*)
{
    const int h = height() / 2;
    upButton_->setGeometry(0, 0, width(), h);
    downButton_->setGeometry(0, h, width(), height() - h);
}

}  // namespace widgets
