// The readers of HEIF, WebP, JPEG XL, raw development and WMF come with
// their libraries in a module the viewer loads the first time a picture
// needs one. The real program, under an X server of its own: a WebP in a
// show is shown through the module; a program without its module (a broken
// install) gives the error message for the WebP and shows the rest.
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
    const QString alone = bin.filePath(QStringLiteral("daredazi"));
    ASSERT_TRUE(QFile::copy(setup_.program, alone));
    ASSERT_FALSE(QFileInfo::exists(bin.filePath(QStringLiteral("daredazi-formats.so"))));
    setup_.program = alone;
    expectShown(testsupport::runLibraryFormatShow(setup_, true));
}
