#include <gtest/gtest.h>

#include <QDir>

#include "app/app_state.h"

TEST(AppStateTest, FullPathAndShownIndexFollowTheShowList)
{
    AppState s;
    EXPECT_EQ(s.shownIndex(), -1);
    s.FolderList << QStringLiteral("/photos") << QStringLiteral("/photos/trip");
    s.FileList << QStringLiteral("a.jpg") << QStringLiteral("b.jpg") << QStringLiteral("c.jpg");
    s.FolderIndexList << QStringLiteral("0") << QStringLiteral("000001") << QStringLiteral("7");
    EXPECT_EQ(s.fullPath(0), QStringLiteral("/photos") + QDir::separator() + QStringLiteral("a.jpg"));
    EXPECT_EQ(s.fullPath(1), QStringLiteral("/photos/trip") + QDir::separator() + QStringLiteral("b.jpg"));
    EXPECT_TRUE(s.fullPath(2).isEmpty()) << "a folder number outside FolderList has no path";
    EXPECT_TRUE(s.fullPath(3).isEmpty());
    s.CurrentIndex = 0;
    EXPECT_EQ(s.shownIndex(), 2);
    s.CurrentIndex = 2;
    EXPECT_EQ(s.shownIndex(), 1);
}
