#pragma once
// A label that reports clicks, presses and the mouse entering or leaving,
// as the viewer's hot zones and info labels need.
#include <QLabel>

namespace widgets {

class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(QWidget* parent = nullptr) : QLabel(parent) {}
    explicit ClickLabel(const QString& text, QWidget* parent = nullptr) : QLabel(text, parent) {}

signals:
    void clicked();
    void mousePressed(QMouseEvent* event);
    void entered();
    void left();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
};

}  // namespace widgets
