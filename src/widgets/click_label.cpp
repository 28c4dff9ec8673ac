#include "widgets/click_label.h"

#include <QMouseEvent>

namespace widgets {

void ClickLabel::mousePressEvent(QMouseEvent* event)
{
    emit mousePressed(event);
    QLabel::mousePressEvent(event);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void ClickLabel::enterEvent(QEnterEvent* event)
{
    emit entered();
    QLabel::enterEvent(event);
}

void ClickLabel::leaveEvent(QEvent* event)
{
    emit left();
    QLabel::leaveEvent(event);
}

}  // namespace widgets
