#pragma once
// The viewer's picture control: holds the shown picture and draws it
// centred, fitted proportionally or stretched, as its three flags say.
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
    void setPicture(const QImage& image);
    void clear();

signals:
    void clicked();
    void mousePressed(QMouseEvent* event);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    bool center_ = true;
    bool proportional_ = true;
    bool stretch_ = false;
};
