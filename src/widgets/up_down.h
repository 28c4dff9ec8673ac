#pragma once
// An up-down control: two arrow buttons over a bounded position that moves
// by a fixed increment. clicked(up) fires after each step.
#include <QWidget>

class QToolButton;

namespace widgets {

class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr);

    int minimum() const { return min_; }
    int maximum() const { return max_; }
    int increment() const { return increment_; }
    int position() const { return position_; }
    void setRange(int min, int max);
    void setIncrement(int inc) { increment_ = inc; }
    void setPosition(int pos);

    // Steps as a click on the upper (up = true) or lower arrow does.
    void step(bool up);

signals:
    void clicked(bool up);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* upButton_;
    QToolButton* downButton_;
    int min_ = 0;
    int max_ = 100;
    int increment_ = 1;
    int position_ = 0;
};

}  // namespace widgets
