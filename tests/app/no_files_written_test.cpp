// The real program, started on a picture that names a related sound, plays
// it and ends without leaving a file in the user's home, runtime folder,
// temporary folder or shared memory.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool run(const QString& program, const QStringList& args)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return false;
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Every path below a folder, relative to it.
QStringList contents(const QString& folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(folder).relativeFilePath(it.next());
    out.sort();
    return out;
}

}  // namespace

TEST(NoFilesWritten, PlayingARelatedSoundLeavesHomeRuntimeAndSharedMemoryAsTheyWere)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString home = root.filePath(QStringLiteral("home")), runtime = root.filePath(QStringLiteral("runtime")),
                  tmp = root.filePath(QStringLiteral("tmp")), pictures = root.filePath(QStringLiteral("pictures"));
    for (const QString& d : {home, runtime, tmp, pictures})
        ASSERT_TRUE(QDir().mkpath(d));
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QString picture = pictures + QStringLiteral("/a.jpg");
    ASSERT_TRUE(image.save(picture, "JPEG"));
    if (!run(QStringLiteral("sox"), {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("22050"),
                                     QStringLiteral("-c"), QStringLiteral("1"), pictures + QStringLiteral("/tone.wav"),
                                     QStringLiteral("synth"), QStringLiteral("6"), QStringLiteral("sine"),
                                     QStringLiteral("440")}))
        GTEST_SKIP() << "sox not available";
    if (!run(QStringLiteral("exiftool"), {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                                          QStringLiteral("-RelatedSoundFile=tone.wav"), picture}))
        GTEST_SKIP() << "exiftool not available";

    // What a killed earlier run left; the next start removes it.
    ASSERT_TRUE(QDir(tmp).mkpath(QStringLiteral("daredazi-media-4194305-Ab12Cd/pulse")));
    const QStringList shmBefore = QDir(QStringLiteral("/dev/shm")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "PULSE_SERVER",
                             "PULSE_RUNTIME_PATH", "GST_REGISTRY", "GST_REGISTRY_1_0", "QT_LOGGING_RULES"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("TMPDIR"), tmp);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_MEDIA_BACKEND"), QStringLiteral("gstreamer"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QStringLiteral(DAREDAZI_PROGRAM), {picture});
    ASSERT_TRUE(program.waitForStarted(10000));
    // The back end has loaded once its registry is in the program's own
    // folder; then let the sound play a while.
    const bool loaded = QTest::qWaitFor(
        [&] {
            QDirIterator it(tmp, {QStringLiteral("registry.bin")}, QDir::Files, QDirIterator::Subdirectories);
            return it.hasNext();
        },
        20000);
    EXPECT_TRUE(loaded);
    QTest::qWait(1500);
    program.terminate();  // asked to end, as by a logout
    ASSERT_TRUE(program.waitForFinished(15000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    // Nor does it print anything, though no sound server answers here.
    EXPECT_EQ(program.readAll().toStdString(), "");

    EXPECT_EQ(contents(home), QStringList());
    EXPECT_EQ(contents(tmp), QStringList());
    const QStringList left = contents(runtime);
    EXPECT_EQ(left, QStringList()) << left.join(QLatin1Char(' ')).toStdString();
    // Started without a picture the folder window is up (and refuses to be
    // closed): asked to end, the program still ends and takes its folder.
    QProcess idle;
    idle.setProcessEnvironment(env);
    idle.setProcessChannelMode(QProcess::MergedChannels);
    idle.start(QStringLiteral(DAREDAZI_PROGRAM), {});
    ASSERT_TRUE(idle.waitForStarted(10000));
    QTest::qWait(1500);
    idle.terminate();
    ASSERT_TRUE(idle.waitForFinished(15000));
    EXPECT_EQ(idle.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(contents(tmp), QStringList());
    EXPECT_EQ(contents(home), QStringList());

    QStringList newShm;
    for (const QString& n : QDir(QStringLiteral("/dev/shm")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
        if (!shmBefore.contains(n) && (n.contains(QLatin1String("jack")) || n.contains(QLatin1String("pulse"))))
            newShm << n;
    EXPECT_EQ(newShm, QStringList());
}
