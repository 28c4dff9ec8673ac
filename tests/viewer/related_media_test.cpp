// The player of a picture's companion sound or movie: real files made here
// (sox for the sound, exiftool to name it in a JPEG), the real media back end
// and the real viewer and folder windows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QImage>
#include <QMediaPlayer>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <vector>

#include "app/app_state.h"
#include "folder/tfrm_sub.h"
#include "platform/external_player.h"
#include "platform/media_playback.h"
#include "viewer/related_media.h"
#include "viewer/tfrm_main.h"

namespace {

// Runs a program with arguments; true when it ran and exited with 0.
bool run(const QString& program, const QStringList& args)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return false;
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool makeTone(const QString& path, double seconds = 4.0)
{
    return run(QStringLiteral("sox"), {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("22050"),
                                       QStringLiteral("-c"), QStringLiteral("1"), path, QStringLiteral("synth"),
                                       QString::number(seconds), QStringLiteral("sine"), QStringLiteral("440")});
}

// Points the desktop's XDG folders somewhere else for one test.
struct XdgOverride {
    explicit XdgOverride(const QString& config, const QString& data)
    {
        for (const char* name : kNames)
            saved.push_back(qgetenv(name));
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
            qputenv(name, config.toLocal8Bit());
        qputenv("XDG_DATA_HOME", data.toLocal8Bit());
        // The system folders stay behind ours: they hold the MIME database.
        const QByteArray system = saved[3].isEmpty() ? QByteArray("/usr/local/share:/usr/share") : saved[3];
        qputenv("XDG_DATA_DIRS", data.toLocal8Bit() + ':' + system);
    }
    ~XdgOverride()
    {
        for (size_t i = 0; i < 4; ++i)
            saved[i].isEmpty() ? void(qunsetenv(kNames[i])) : void(qputenv(kNames[i], saved[i]));
    }
    static constexpr const char* kNames[4] = {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS"};
    std::vector<QByteArray> saved;
};

// The back end's own player behind the viewer's.
QMediaPlayer* qtPlayer(const RelatedMedia& media)
{
    return media.player() ? qobject_cast<QMediaPlayer*>(media.player()->backend()) : nullptr;
}

bool waitPlaying(QMediaPlayer* player)
{
    // Playing means the back end consumes samples: the position moves on.
    return QTest::qWaitFor([&] {
        return player->playbackState() == QMediaPlayer::PlayingState && player->position() > 100;
    }, 8000);
}

class RelatedMediaTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Machines without a sound device still get a sink from the
        // GStreamer back end (it falls back to a null sink), so the
        // position runs as it would when heard.
        if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
            qputenv("QT_MEDIA_BACKEND", "gstreamer");
        ASSERT_TRUE(dir_.isValid());
        pictures_ = dir_.filePath(QStringLiteral("pictures"));
        ASSERT_TRUE(QDir().mkpath(pictures_));
        if (!makeTone(pictures_ + QStringLiteral("/tone.wav")))
            GTEST_SKIP() << "sox not available";
        state_.FolderList = {pictures_};
        state_.FileList = {QStringLiteral("a.jpg"), QStringLiteral("b.jpg")};
        state_.FolderIndexList = {QStringLiteral("0"), QStringLiteral("0")};
        state_.CurrentIndex = 0;
    }

    QTemporaryDir dir_;
    QString pictures_;
    AppState state_;
};

}  // namespace

TEST(RelatedMediaNames, PlainNamesOnly)
{
    struct Row {
        const char* name;
        bool plain;
    };
    const Row rows[] = {
        {"tone.wav", true},
        {"DSCF0001.WAV", true},
        {"録音 1.wav", true},
        {"", false},
        {"../tone.wav", false},
        {"..\\tone.wav", false},
        {"sub/tone.wav", false},
        {"sub\\tone.wav", false},
        {"/etc/passwd", false},
        {"C:tone.wav", false},
        {"C:\\tone.wav", false},
        {"..", false},
        {".", false},
        {"tone\n.wav", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(isPlainRelatedName(QString::fromUtf8(row.name)), row.plain) << row.name;
}

TEST(DesktopExec, FieldCodesAndQuoting)
{
    const QString file = QStringLiteral("/p/a b.mov");
    const QString url = QUrl::fromLocalFile(file).toString();
    struct Row {
        const char* exec;
        QStringList expected;
    };
    const Row rows[] = {
        {"vlc %U", {"vlc", url}},
        {"mpv --player-operation-mode=pseudo-gui -- %f", {"mpv", "--player-operation-mode=pseudo-gui", "--", file}},
        {"\"/opt/My Player/play\" --file=%f %i %c", {"/opt/My Player/play", "--file=" + file}},
        {"play \"quoted \\\"x\\\"\" %F", {"play", "quoted \"x\"", file}},
        {"totem", {"totem", file}},  // no field code: the file goes last
        {"", {}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(platform::expandDesktopExec(QString::fromUtf8(row.exec), file), row.expected) << row.exec;
}

TEST_F(RelatedMediaTest, RefusedNamesTouchNothingOutsideTheFolder)
{
    // A file beside the picture folder that a crafted name would reach.
    ASSERT_TRUE(makeTone(dir_.filePath(QStringLiteral("outside.wav")), 1));
    QWidget viewer;
    RelatedMedia media(state_, &viewer);
    const QString absolute = dir_.filePath(QStringLiteral("outside.wav"));
    for (const QString& name : {QStringLiteral("../outside.wav"), QStringLiteral("..\\outside.wav"), absolute}) {
        media.PlayRelatedFile(name);
        EXPECT_FALSE(state_.MovieOpen) << name.toStdString();
        EXPECT_EQ(media.player(), nullptr) << name.toStdString();
    }
}

TEST_F(RelatedMediaTest, PictureNamingASoundPlaysItUntilTheNextAdvance)
{
    // A real picture whose Exif names the sound, shown by the real viewer.
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    for (const char* name : {"a.jpg", "b.jpg"})
        ASSERT_TRUE(image.save(pictures_ + u'/' + QString::fromLatin1(name), "JPEG"));
    if (!run(QStringLiteral("exiftool"), {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                                          QStringLiteral("-RelatedSoundFile=tone.wav"),
                                          pictures_ + QStringLiteral("/a.jpg")}))
        GTEST_SKIP() << "exiftool not available";

    TfrmMain viewer(state_);
    state_.frmMain = &viewer;
    state_.ViewerReady = true;
    viewer.Image1Click(nullptr);  // shows a.jpg
    ASSERT_TRUE(state_.MovieOpen);
    QMediaPlayer* player = qtPlayer(*viewer.MPlayer);
    ASSERT_NE(player, nullptr);
    // The player gets the very file checked, by its open descriptor.
    EXPECT_EQ(QFileInfo(player->source().toLocalFile()).canonicalFilePath(),
              QFileInfo(pictures_ + QStringLiteral("/tone.wav")).canonicalFilePath());
    EXPECT_TRUE(waitPlaying(player));

    viewer.Image1Click(nullptr);  // b.jpg names nothing
    EXPECT_FALSE(state_.MovieOpen);
    EXPECT_EQ(player->playbackState(), QMediaPlayer::StoppedState);
    EXPECT_TRUE(player->source().isEmpty());
    state_.frmMain = nullptr;
}

TEST_F(RelatedMediaTest, FolderWindowPausesAndCancelResumes)
{
    TfrmMain viewer(state_);
    TfrmSub folder(state_);
    state_.frmMain = &viewer;
    state_.frmSub = &folder;
    viewer.MPlayer->PlayRelatedFile(QStringLiteral("tone.wav"));
    ASSERT_TRUE(state_.MovieOpen);
    QMediaPlayer* player = qtPlayer(*viewer.MPlayer);
    ASSERT_TRUE(waitPlaying(player));

    folder.FormShow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return player->playbackState() == QMediaPlayer::PausedState; }, 3000));
    const qint64 pausedAt = player->position();
    QTest::qWait(400);
    EXPECT_LE(player->position() - pausedAt, 50) << "a paused sound must not run on";

    folder.btCancelClick();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return player->playbackState() == QMediaPlayer::PlayingState && player->position() > pausedAt + 100;
    }, 5000));
    EXPECT_TRUE(state_.MovieOpen);
    state_.frmMain = nullptr;
    state_.frmSub = nullptr;
}

TEST_F(RelatedMediaTest, DeviceErrorShowsThePlayersOwnMessageAndCloses)
{
    QFile broken(pictures_ + QStringLiteral("/broken.wav"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray(4096, '\x5a'));
    broken.close();

    QWidget viewer;
    RelatedMedia media(state_, &viewer);
    media.PlayRelatedFile(QStringLiteral("tone.wav"));
    ASSERT_NE(media.player(), nullptr);

    // Each file gets a player of its own: the broken one's reports the error.
    media.PlayRelatedFile(QStringLiteral("broken.wav"));
    ASSERT_NE(media.player(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return media.errorBox() != nullptr; }, 8000));
    const QString message = media.player()->errorString();
    EXPECT_FALSE(message.isEmpty());
    EXPECT_EQ(media.errorBox()->text(), message);
    EXPECT_FALSE(state_.MovieOpen);
    EXPECT_TRUE(media.player()->source().isEmpty());
    media.errorBox()->close();
}

TEST_F(RelatedMediaTest, MoviesGoToTheDesktopPlayerOnlyWithTheMarker)
{
    // A sound under a movie name: the back end finds its type by content,
    // so the movie path plays it like a film's sound track.
    ASSERT_TRUE(QFile::copy(pictures_ + QStringLiteral("/tone.wav"), pictures_ + QStringLiteral("/clip.MOV")));

    // A desktop of our own whose default player for QuickTime files is a
    // program that keeps the file open until asked to end.
    const QString config = dir_.filePath(QStringLiteral("config"));
    const QString data = dir_.filePath(QStringLiteral("data"));
    ASSERT_TRUE(QDir().mkpath(config) && QDir().mkpath(data + QStringLiteral("/applications")));
    QFile list(config + QStringLiteral("/mimeapps.list"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("[Default Applications]\nvideo/quicktime=testplayer.desktop;\n");
    list.close();
    QFile entry(data + QStringLiteral("/applications/testplayer.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Test player\nExec=tail -f %f\n");
    entry.close();
    XdgOverride desktop(config, data);

    QWidget viewer;
    RelatedMedia media(state_, &viewer);
    const QString moviePath = QDir::toNativeSeparators(pictures_ + QStringLiteral("/clip.MOV"));

    // No marker folder: the viewer's own player takes the movie.
    media.setExternalPlayerMarker(dir_.filePath(QStringLiteral("no-such-folder")));
    media.PlayRelatedFile(QStringLiteral("clip.MOV"));
    EXPECT_TRUE(state_.MovieOpen);
    EXPECT_FALSE(state_.ExternalPlayerStarted);
    ASSERT_NE(media.player(), nullptr);
    EXPECT_TRUE(waitPlaying(qtPlayer(media)));
    media.stopForNextPicture();
    EXPECT_FALSE(state_.MovieOpen);

    // With it, the desktop's player gets the file, and the next advance
    // asks it to end.
    media.setExternalPlayerMarker(dir_.path());
    media.PlayRelatedFile(QStringLiteral("clip.MOV"));
    EXPECT_FALSE(state_.MovieOpen);
    EXPECT_TRUE(state_.ExternalPlayerStarted);
    ASSERT_NE(media.externalPlayer(), nullptr);
    QProcess* process = media.externalPlayer()->process();
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(process->arguments(), (QStringList{QStringLiteral("-f"), moviePath}));
    EXPECT_EQ(process->state(), QProcess::Running);
    QSignalSpy finished(process, &QProcess::finished);
    media.stopForNextPicture();
    EXPECT_FALSE(state_.ExternalPlayerStarted);
    EXPECT_TRUE(finished.wait(5000) || finished.count() == 1);
}
