#include "viewer/picture_box.h"

#include <QMouseEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {}

void PictureBox::setCenter(bool on) { center_ = on; update(); }
void PictureBox::setProportional(bool on) { proportional_ = on; update(); }
void PictureBox::setStretch(bool on) { stretch_ = on; update(); }

void PictureBox::setPicture(const QImage& image)
{
    picture_ = image;
    update();
}

void PictureBox::clear()
{
    picture_ = QImage();
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    if (picture_.isNull())
        return;
    QPainter p(this);
    p.drawImage(QPoint(0, 0), picture_);
}

void PictureBox::mousePressEvent(QMouseEvent* event)
{
    emit mousePressed(event);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked();
}
