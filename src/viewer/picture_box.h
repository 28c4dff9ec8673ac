#pragma once
// The viewer's picture control: holds the shown picture and draws it
// centred, fitted proportionally or stretched, as its three flags say.
// The held image may be a reduced copy; placement always uses the
// picture's full pixel size.
#include <QImage>
#include <QWidget>

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    bool center() const { return center_; }
    bool proportional() const { return proportional_; }
    bool stretch() const { return stretch_; }
    void setCenter(bool on);
    void setProportional(bool on);
    void setStretch(bool on);

    const QImage& picture() const { return picture_; }
    // The picture at its own size.
    void setPicture(const QImage& image);
    // A picture whose full size is `fullSize`; image may be smaller.
    void setPicture(const QImage& image, QSize fullSize);
    void clear();
    bool isEmpty() const { return picture_.isNull(); }

    // The picture's full pixel size (empty when there is none).
    QSize pictureSize() const { return fullSize_; }
    // Where the picture is drawn inside the control.
    QRect drawRect() const;

signals:
    void clicked();
    void mousePressed(QMouseEvent* event);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    QSize fullSize_;
    QImage scaled_;  // picture_ at the last drawn size
    bool center_ = true;
    bool proportional_ = true;
    bool stretch_ = false;
};
