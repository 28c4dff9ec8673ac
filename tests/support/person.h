#pragma once
// What a person does to a window, as input events at the places a person
// points at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace person {

// A click in the middle of w, or at `at`; it lands on whatever child lies
// under the pointer there.
inline void click(QWidget* w, Qt::MouseButton b = Qt::LeftButton, QPoint at = QPoint())
{
    ASSERT_TRUE(w->isVisible()) << w->objectName().toStdString();
    QPoint p = at.isNull() ? w->rect().center() : at;
    QWidget* target = w;
    if (QWidget* child = w->childAt(p)) {
        p = child->mapFrom(w, p);
        target = child;
    }
    QTest::mouseClick(target, b, {}, p);
}

// Acts on the next modal window of type T as soon as its own loop runs.
template <typename T>
void whenModal(std::function<void(T*)> act)
{
    auto* t = new QTimer;
    t->setInterval(20);
    QObject::connect(t, &QTimer::timeout, [t, act] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget()); w && w->isVisible()) {
            t->stop();
            t->deleteLater();
            act(w);
        }
    });
    t->start();
}

}  // namespace person
