// The program's message boxes on a screen: a list of hundreds of skipped
// folders once made a box 8,068 pixels tall on a 1,080-pixel screen, its
// OK out of reach.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "widgets/message_box.h"

namespace {

struct Seen {
    bool modal = false;
    bool onScreen = false;
    bool okOnScreen = false;
    bool listScrolls = false;
    bool plainBox = false;
};

// Looks at the box once it is up, then clicks its OK as a person does.
void inspectAndClickOk(Seen& seen)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, &seen] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || !box->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        seen.modal = true;
        const QRect screen = box->screen()->availableGeometry();
        seen.onScreen = screen.contains(box->frameGeometry());
        seen.plainBox = qobject_cast<QMessageBox*>(box) != nullptr;
        QAbstractButton* ok = nullptr;
        for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
            if (b->isVisible() && (b->text() == QStringLiteral("OK") || b->text() == QStringLiteral("&OK")))
                ok = b;
        if (auto* list = box->findChild<QPlainTextEdit*>(QStringLiteral("messageList")))
            seen.listScrolls = list->verticalScrollBar()->maximum() > 0;
        if (ok) {
            const QRect okRect(ok->mapToGlobal(QPoint(0, 0)), ok->size());
            seen.okOnScreen = screen.contains(okRect);
            QTest::mouseClick(ok, Qt::LeftButton);
        }
        if (box->isVisible())
            box->close();
    });
    timer->start();
}

}  // namespace

TEST(MessageBox, ALongListFitsTheScreenScrollsAndKeepsItsOk)
{
    QString text = QStringLiteral("以下のフォルダは特殊なフォルダのためスキップしました。");
    for (int i = 1; i <= 400; ++i)
        text += QStringLiteral("\n/proc/%1/map_files[%2]").arg(1000 + i).arg(i);
    Seen seen;
    inspectAndClickOk(seen);
    widgets::showMessage(text);
    EXPECT_TRUE(seen.modal);
    EXPECT_TRUE(seen.onScreen);
    EXPECT_TRUE(seen.okOnScreen);
    EXPECT_TRUE(seen.listScrolls);

    // A path of thousands of characters on one line fits as well.
    Seen wide;
    inspectAndClickOk(wide);
    widgets::showMessage(QStringLiteral("フォルダを読み込めません。\n/") + QString(3000, QLatin1Char('d')));
    EXPECT_TRUE(wide.onScreen);
    EXPECT_TRUE(wide.okOnScreen);

    // A short message stays the usual box.
    Seen plain;
    inspectAndClickOk(plain);
    widgets::showMessage(QStringLiteral("エラーがありました！"));
    EXPECT_TRUE(plain.plainBox);
    EXPECT_TRUE(plain.okOnScreen);
}
