// What a folder may hold, met by the real program under an X server of its
// own as a person meets it: FIFOs, devices and huge files under pictures'
// names, a maker note of sixteen million lines, a broken link, names that
// are not UTF-8, a link to the root, a folder 1,000 levels deep. The program
// must show what it can, give its error message for the rest, go on, and
// end when a signal asks it to. Each test fails on a program that freezes,
// crashes or floods on its row; none times the program (the benchmark
// bench_hostile_folders does). The info tool's rows are in tests/tools.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <csignal>

#include "support/hostile_rows.h"

namespace {

class HostileFolders : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!x_.start())
            GTEST_SKIP() << "Xvfb or xdotool missing";
        ASSERT_TRUE(dir_.isValid());
        // Another build (an older one, to see a row fail) may be named.
        setup_.program = qEnvironmentVariable("DAREDAZI_PROGRAM_UNDER_TEST", QStringLiteral(DAREDAZI_PROGRAM));
        setup_.info = QStringLiteral(DAREDAZI_INFO_PROGRAM);
        setup_.x = &x_;
        setup_.folder = dir_.path();
    }

    testsupport::RowResult row(int n) { return testsupport::runRow(n, setup_); }

    // Alive until asked to end, and then ended at once and cleanly.
    static void expectEndsOnRequest(const testsupport::RowResult& r)
    {
        EXPECT_TRUE(r.survived) << "the program had already ended (crashed)";
        EXPECT_GE(r.endMs, 0) << "the program did not end within 5 s of the signal";
        EXPECT_TRUE(r.endedCleanly);
    }

    testsupport::XServer x_;
    QTemporaryDir dir_;
    testsupport::RowSetup setup_;
};

}  // namespace

TEST_F(HostileFolders, AMakerNoteAskingForSixteenMillionLinesIsShownAtOnceAndTheToolEnds)
{
    const testsupport::RowResult r = row(1);
    EXPECT_TRUE(r.reached) << "the picture was not shown within 20 s";
    expectEndsOnRequest(r);
    // The Make line and the note's lines up to its budget.
    EXPECT_TRUE(r.detail.startsWith(QStringLiteral("daredazi-info: ended, 1001 lines"))) << r.detail.toStdString();
}

TEST_F(HostileFolders, PicturesLargerThanMemoryBesideTheShownOneGiveTheErrorMessage)
{
    const testsupport::RowResult r = row(2);
    EXPECT_TRUE(r.reached) << "no error message for the 8 GB file, or the program ended";
    expectEndsOnRequest(r);
}

TEST_F(HostileFolders, ARelatedSoundThatIsAFifoLeavesTheShowAlone)
{
    const testsupport::RowResult r = row(3);
    EXPECT_TRUE(r.reached) << "the picture naming the FIFO was not shown";
    expectEndsOnRequest(r);
}

TEST_F(HostileFolders, APictureReplacedByAFifoGivesTheErrorMessageAndTheShowGoesOn)
{
    const testsupport::RowResult r = row(4);
    EXPECT_TRUE(r.reached) << r.detail.toStdString();
    expectEndsOnRequest(r);
}

TEST_F(HostileFolders, ASearchMeetingAFifoEndsWithItsMessage)
{
    const testsupport::RowResult r = row(5);
    EXPECT_TRUE(r.reached) << r.detail.toStdString();
    expectEndsOnRequest(r);
}

TEST_F(HostileFolders, APictureReplacedByADeviceOrGrownTo8GBGivesTheErrorMessage)
{
    const testsupport::RowResult r = row(6);
    EXPECT_TRUE(r.reached) << r.detail.toStdString();
    expectEndsOnRequest(r);
}

TEST_F(HostileFolders, EverySignalEndsTheProgramWhileTheFirstPicturesErrorBoxIsUp)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        QTemporaryDir folder;
        setup_.folder = folder.path();
        setup_.signal = signal;
        const testsupport::RowResult r = row(8);
        EXPECT_TRUE(r.reached) << "no error box for the first picture";
        expectEndsOnRequest(r);
    }
}

TEST_F(HostileFolders, ABrokenLinkLeavesTheRestOfTheFolderToShow)
{
    const testsupport::RowResult r = row(9);
    EXPECT_TRUE(r.reached) << r.detail.toStdString();
    expectEndsOnRequest(r);
}

TEST_F(HostileFolders, AShiftJisNameIsShownAsJapaneseAndItsPictureOpens)
{
    const testsupport::RowResult r = row(10);
    if (!r.skipped.isEmpty())
        GTEST_SKIP() << r.skipped.toStdString();
    EXPECT_TRUE(r.reached) << r.detail.toStdString();
    expectEndsOnRequest(r);
}

TEST_F(HostileFolders, ALinkToTheRootIsNotWalkedWithTheSubFolders)
{
    const testsupport::RowResult r = row(11);
    EXPECT_TRUE(r.reached) << r.detail.toStdString();
    expectEndsOnRequest(r);
}

TEST_F(HostileFolders, APictureAThousandFoldersDeepIsShown)
{
    const testsupport::RowResult r = row(12);
    EXPECT_TRUE(r.reached) << "the picture was not shown within 25 s";
    expectEndsOnRequest(r);
}

TEST_F(HostileFolders, ASignalEndsTheProgramInADialogAWalkASearchAndADecode)
{
    setup_.pictures = 5000;
    for (const char* state : {"dialog", "walk", "search", "decode"}) {
        SCOPED_TRACE(state);
        QTemporaryDir folder;
        setup_.folder = folder.path();
        const testsupport::RowResult r = testsupport::runSignalCase(QString::fromLatin1(state), setup_);
        EXPECT_TRUE(r.reached) << r.detail.toStdString();
        expectEndsOnRequest(r);
    }
}
