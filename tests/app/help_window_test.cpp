// The help button where the desktop has no program for help files, or its
// program fails: the help opens in a window of our own, with the table of
// contents beside the pages, and the button finds that window again. A help
// file that is missing or unreadable opens nothing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>

#include "app/app_state.h"
#include "app/aux_windows.h"
#include "app/help_window.h"
#include "folder/tfrm_sub.h"
#include "support/fake_opener.h"

namespace {

// A PATH without xdg-open and xdg-mime, and no X display to search, while
// it lives: a desktop without a program for help files.
class NoDesktopHandler {
public:
    NoDesktopHandler() : path_(qgetenv("PATH")), display_(qgetenv("DISPLAY"))
    {
        qputenv("PATH", QFile::encodeName(dir_.path()));
        qunsetenv("DISPLAY");
    }
    ~NoDesktopHandler()
    {
        qputenv("PATH", path_);
        if (!display_.isEmpty())
            qputenv("DISPLAY", display_);
    }

private:
    QTemporaryDir dir_;
    QByteArray path_, display_;
};

QList<app::HelpWindow*> helpWindows()
{
    QList<app::HelpWindow*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* h = qobject_cast<app::HelpWindow*>(w); h && h->isVisible())
            out << h;
    return out;
}

bool anyMessageBox()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(w) && w->isVisible())
            return true;
    return false;
}

// Clicks the link whose text this is in the browser's page.
void clickLink(QTextBrowser* browser, const QString& text)
{
    const QTextCursor found = browser->document()->find(text);
    ASSERT_FALSE(found.isNull()) << text.toStdString();
    QTextCursor inside(browser->document());
    inside.setPosition(found.selectionStart() + 1);
    browser->setTextCursor(inside);
    browser->ensureCursorVisible();
    const QRect caret = browser->cursorRect(inside);
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, caret.center() + QPoint(2, 0));
}

QColor colourOf(QTextBrowser* browser, const QString& text)
{
    QTextCursor c = browser->document()->find(text);
    return c.isNull() ? QColor() : c.charFormat().foreground().color();
}

}  // namespace

TEST(HelpWindow, OpensFromTheHelpButtonWithContentsPagesAndLinks)
{
    if (!QFile::exists(QStringLiteral(DAREDAZI_HELP_FILE)))
        GTEST_SKIP() << "the help file was not built (chmcmd missing)";
    NoDesktopHandler noHandler;
    AppState state;
    state.HelpFilePath = QStringLiteral(DAREDAZI_HELP_FILE);
    TfrmSub sub(state);
    sub.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sub));

    QTest::mouseClick(sub.btHelp, Qt::LeftButton);
    const auto windows = helpWindows();
    ASSERT_EQ(windows.size(), 1);
    app::HelpWindow* w = windows.front();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("「Daredazi」のヘルプ"));
    EXPECT_EQ(w->parentWidget(), &sub) << "owned by the (modal) folder window, so it takes input";

    // The table of contents, and the first page marked in it.
    QStringList names;
    for (int i = 0; i < w->tvContents->topLevelItemCount(); ++i)
        names << w->tvContents->topLevelItem(i)->text(0);
    EXPECT_EQ(names, (QStringList{"Daredazi について", "起動と終了", "フォルダの選択と表示の設定", "画像の表示と操作",
                                  "撮影情報の表示と地図", "標題とコメントで画像を検索する", "画像の印刷",
                                  "関連する音声と動画の再生"}));
    EXPECT_EQ(w->browser->page(), QStringLiteral("/index.html"));
    EXPECT_TRUE(w->browser->toPlainText().startsWith(QStringLiteral("「Daredazi」のヘルプ")));
    EXPECT_EQ(w->tvContents->currentItem(), w->tvContents->topLevelItem(0));
    // The page's style sheet came out of the help file too.
    EXPECT_EQ(colourOf(w->browser, QStringLiteral("「Daredazi」のヘルプ")), QColor(0x2b, 0x5d, 0x8a));

    // A click on an entry of the contents shows its page.
    QTreeWidgetItem* viewerTopic = w->tvContents->topLevelItem(3);
    QTest::mouseClick(w->tvContents->viewport(), Qt::LeftButton, {},
                      w->tvContents->visualItemRect(viewerTopic).center());
    EXPECT_EQ(w->browser->page(), QStringLiteral("/viewer.html"));
    EXPECT_TRUE(w->browser->toPlainText().startsWith(QStringLiteral("画像の表示と操作")));

    // A link between pages, then back.
    clickLink(w->browser, QStringLiteral("画像を印刷"));
    EXPECT_EQ(w->browser->page(), QStringLiteral("/print.html"));
    EXPECT_EQ(w->tvContents->currentItem(), w->tvContents->topLevelItem(6)) << "the contents follow the page";
    ASSERT_TRUE(w->btBack->isEnabled());
    QTest::mouseClick(w->btBack, Qt::LeftButton);
    EXPECT_EQ(w->browser->page(), QStringLiteral("/viewer.html"));

    // The second click finds the same window, also when it was minimised.
    w->showMinimized();
    ASSERT_TRUE(w->isMinimized());
    QTest::mouseClick(sub.btHelp, Qt::LeftButton);
    EXPECT_EQ(helpWindows(), QList<app::HelpWindow*>{w});
    EXPECT_FALSE(w->isMinimized());
    EXPECT_EQ(w->browser->page(), QStringLiteral("/viewer.html")) << "where the reader was";

    w->close();
    QTest::qWait(0);
    EXPECT_TRUE(helpWindows().isEmpty());
    EXPECT_FALSE(anyMessageBox());
}

TEST(HelpWindow, FollowsWhenTheDesktopsHandlerFails)
{
    if (!QFile::exists(QStringLiteral(DAREDAZI_HELP_FILE)))
        GTEST_SKIP() << "the help file was not built (chmcmd missing)";
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    {
        FakeOpener opener(3);  // xdg-open's "a required tool is missing"
        AppState state;
        state.HelpFilePath = QStringLiteral(DAREDAZI_HELP_FILE);
        EXPECT_EQ(app::openHelp(state), app::HelpOutcome::Opened);
        EXPECT_EQ(opener.opened(), QStringList{state.HelpFilePath});
        EXPECT_TRUE(QTest::qWaitFor([] { return helpWindows().size() == 1; }, 5000));
        for (app::HelpWindow* w : helpWindows())
            w->close();
        QTest::qWait(0);
    }
    if (!display.isEmpty())
        qputenv("DISPLAY", display);
}

TEST(HelpWindow, MissingOrUnreadableHelpFileOpensNothing)
{
    NoDesktopHandler noHandler;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString broken = dir.filePath(QStringLiteral("Daredazi.chm"));
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("ITSF");
    f.close();
    const QString rows[] = {dir.filePath(QStringLiteral("missing/Daredazi.chm")), QString(), broken};
    for (const QString& path : rows) {
        SCOPED_TRACE(path.toStdString());
        AppState state;
        state.HelpFilePath = path;
        TfrmSub sub(state);
        sub.show();
        QTest::mouseClick(sub.btHelp, Qt::LeftButton);
        QTest::qWait(50);
        EXPECT_TRUE(helpWindows().isEmpty());
        EXPECT_FALSE(anyMessageBox());
    }
}
