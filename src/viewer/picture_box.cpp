#include "viewer/picture_box.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

#include "viewer/viewer_logic.h"

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setCenter(bool on) { center_ = on; update(); }
void PictureBox::setProportional(bool on) { proportional_ = on; update(); }
void PictureBox::setStretch(bool on) { stretch_ = on; update(); }

void PictureBox::setPicture(const QImage& image) { setPicture(image, image.size()); }

void PictureBox::setPicture(const QImage& image, QSize fullSize)
{
    picture_ = image;
    fullSize_ = image.isNull() ? QSize() : fullSize;
    scaled_ = QImage();
    update();
}

void PictureBox::clear()
{
    picture_ = QImage();
    fullSize_ = QSize();
    scaled_ = QImage();
    update();
}

QRect PictureBox::drawRect() const
{
    if (picture_.isNull())
        return QRect();
    return viewer::pictureRect(size(), fullSize_, center_, proportional_, stretch_);
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    const QColor background = window()->palette().color(QPalette::Window);
    if (picture_.isNull()) {
        p.fillRect(event->rect(), background);
        return;
    }
    const QRect r = drawRect();
    // An opaque picture covers its rectangle: only the margins around it
    // are filled, not the whole screen twice.
    if (picture_.hasAlphaChannel()) {
        p.fillRect(event->rect(), background);
    } else {
        for (const QRect& margin : QRegion(event->rect()).subtracted(QRegion(r)))
            p.fillRect(margin, background);
    }
    if (r.size() == picture_.size()) {
        p.drawImage(r.topLeft(), picture_);
        return;
    }
    if (scaled_.size() != r.size())
        scaled_ = picture_.scaled(r.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    p.drawImage(r.topLeft(), scaled_);
}

void PictureBox::mousePressEvent(QMouseEvent* event)
{
    emit mousePressed(event);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}
