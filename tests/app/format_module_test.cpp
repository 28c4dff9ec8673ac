// The readers of HEIF, WebP, JPEG XL, raw development and WMF come with
// their libraries in a module the viewer loads the first time a picture
// needs one; the media back end likewise. The real program, under an X
// server of its own: a WebP in a show is shown through the module; a
// program without its modules (a broken install) gives the error message
// for the WebP, the player's error box for a sound, and shows the rest.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "support/hostile_rows.h"

namespace {

class FormatModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!x_.start())
            GTEST_SKIP() << "Xvfb or xdotool missing";
        ASSERT_TRUE(folder_.isValid());
        setup_.program = QStringLiteral(DAREDAZI_PROGRAM);
        setup_.x = &x_;
        setup_.folder = folder_.path();
    }

    // A copy of the program in a folder of its own, without its modules.
    QString programAlone(const QTemporaryDir& bin) const
    {
        const QString alone = bin.filePath(QStringLiteral("daredazi"));
        EXPECT_TRUE(QFile::copy(setup_.program, alone));
        EXPECT_FALSE(QFileInfo::exists(bin.filePath(QStringLiteral("daredazi-formats.so"))));
        EXPECT_FALSE(QFileInfo::exists(bin.filePath(QStringLiteral("daredazi-media.so"))));
        return alone;
    }

    static void expectShown(const testsupport::RowResult& r)
    {
        ASSERT_TRUE(r.skipped.isEmpty()) << r.skipped.toStdString();
        EXPECT_TRUE(r.reached) << r.detail.toStdString();
        EXPECT_TRUE(r.survived) << "the program had ended (crashed)";
        EXPECT_TRUE(r.endedCleanly) << r.detail.toStdString();
    }

    testsupport::XServer x_;
    QTemporaryDir folder_;
    testsupport::RowSetup setup_;
};

}  // namespace

TEST_F(FormatModule, AWebpInAShowIsShownThroughTheModule)
{
    expectShown(testsupport::runLibraryFormatShow(setup_, false));
}

TEST_F(FormatModule, WithoutTheModuleAWebpGivesTheErrorMessageAndTheShowGoesOn)
{
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    setup_.program = programAlone(bin);
    expectShown(testsupport::runLibraryFormatShow(setup_, true));
}

TEST_F(FormatModule, WithoutTheMediaModuleASoundGivesThePlayersErrorBoxAndTheShowGoesOn)
{
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    setup_.program = programAlone(bin);
    expectShown(testsupport::runRelatedSoundShow(setup_));
}
