// One viewer per user: the real program started several times at once, and
// a later start bringing this process's viewer forward.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

#include "app/app_state.h"
#include "app/single_instance.h"
#include "viewer/tfrm_main.h"

namespace {

// A user name of our own, so no viewer the machine's user runs takes part.
QString uniqueUser()
{
    return QStringLiteral("daredazi-test-%1").arg(QRandomGenerator::global()->generate64(), 0, 16);
}

std::unique_ptr<QProcess> startProgram(const QString& user, const QString& workDir)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("USER"), user);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(workDir);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(QStringLiteral(DAREDAZI_PROGRAM), {});
    return process;
}

}  // namespace

TEST(SingleInstance, SimultaneousStartsLeaveExactlyOne)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const int starts : {2, 10}) {
        SCOPED_TRACE(starts);
        const QString user = uniqueUser();
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < starts; ++i)
            runs.push_back(startProgram(user, dir.path()));
        for (auto& run : runs)
            ASSERT_TRUE(run->waitForStarted(10000));

        // All but one hand over and end by themselves.
        QDeadlineTimer deadline(30000);
        auto running = [&] {
            int n = 0;
            for (auto& run : runs)
                n += run->state() != QProcess::NotRunning;
            return n;
        };
        while (running() > 1 && !deadline.hasExpired())
            QTest::qWait(50);
        QTest::qWait(500);  // a second survivor would still be running now
        EXPECT_EQ(running(), 1);
        for (auto& run : runs) {
            if (run->state() == QProcess::NotRunning) {
                EXPECT_EQ(run->exitStatus(), QProcess::NormalExit);
                EXPECT_EQ(run->exitCode(), 0) << run->readAll().toStdString();
            }
        }

        // The survivor keeps answering: a later start ends at once too.
        auto late = startProgram(user, dir.path());
        EXPECT_TRUE(late->waitForFinished(15000));
        EXPECT_EQ(late->exitCode(), 0);

        for (auto& run : runs) {
            run->kill();
            run->waitForFinished(5000);
        }
    }
}

TEST(SingleInstance, LaterStartRestoresTheMinimisedViewer)
{
    const QByteArray savedUser = qgetenv("USER");
    const QString user = uniqueUser();
    qputenv("USER", user.toLocal8Bit());

    AppState state;
    ASSERT_FALSE(app::forwardToRunningInstance()) << "nobody else holds a fresh name";
    TfrmMain viewer(state);
    state.frmMain = &viewer;
    viewer.showMinimized();
    ASSERT_TRUE(viewer.isMinimized());
    app::listenForLaterInstances(state);

    QTemporaryDir dir;
    auto later = startProgram(user, dir.path());
    ASSERT_TRUE(later->waitForFinished(15000));
    EXPECT_EQ(later->exitCode(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !viewer.isMinimized(); }, 5000));
    EXPECT_TRUE(viewer.isVisible());

    state.frmMain = nullptr;
    qputenv("USER", savedUser);
}
