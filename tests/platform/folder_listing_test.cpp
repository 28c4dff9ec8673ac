// The file list by mask and the sub-folder walk over real temporary folders.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "folder/masks.h"
#include "widgets/file_list_box.h"
#include "widgets/folder_tree.h"
#include "platform/file_names.h"
#include "platform/folder_listing.h"
#include "platform/folder_walk.h"
#include "platform/regular_file.h"

#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

namespace {

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
}

QStringList relative(const QString& root, const QStringList& paths)
{
    QStringList out;
    for (const QString& p : paths)
        out << QDir(root).relativeFilePath(p);
    return out;
}

}  // namespace

TEST(FileListBoxTest, MatchesMaskWithoutCaseSortsByNameAndLeavesOutHiddenFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"b.JPG", "A.jpeg", "c.Png", "d.emf", "e.txt", ".hidden.jpg", "f.jpg.bak",
                             "G.gif", "h.ico", "i.wmf", "j.bmp"})
        touch(dir.filePath(QString::fromLatin1(name)));
    QDir().mkpath(dir.filePath(QStringLiteral("sub.jpg")));  // a folder, not a file

    struct Row {
        QString mask;
        QStringList expected;
    };
    const Row rows[] = {
        {folder::kFullMask,
         {"A.jpeg", "b.JPG", "c.Png", "d.emf", "G.gif", "h.ico", "i.wmf", "j.bmp"}},
        {folder::kExifMask, {"A.jpeg", "b.JPG"}},
        {QStringLiteral("?.gif; *.BMP"), {"G.gif", "j.bmp"}},
        {QStringLiteral("*"), {"A.jpeg", "b.JPG", "c.Png", "d.emf", "e.txt", "f.jpg.bak", "G.gif", "h.ico",
                               "i.wmf", "j.bmp"}},
    };
    widgets::FileListBox box;
    ASSERT_TRUE(box.setDirectory(dir.path() + QStringLiteral("/")));
    EXPECT_EQ(box.directory(), QDir::toNativeSeparators(dir.path())) << "no trailing separator";
    for (const Row& r : rows) {
        box.setMask(r.mask);
        EXPECT_EQ(box.items(), r.expected) << r.mask.toStdString();
    }
}

TEST(FileListBoxTest, AsciiAndOtherNamesSortAsTheirCaseFoldsDo)
{
    // ASCII names are folded inline, others beforehand: together they must
    // keep the order of the folded names, ties broken by the name.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList names = {"写真.JPG", "Éa.jpg", "ea.jpg", "éa.JPG", "Straße.jpg", "STRASSE.jpg", "strasse.jpg",
                               "strassea.jpg", "Z.jpg", "_a.jpg", "a.jpg", "A.JPG", "ａ.jpg", "Ａb.jpeg"};
    for (const QString& n : names)
        touch(dir.filePath(n));
    QStringList expected = names;
    std::sort(expected.begin(), expected.end(), [](const QString& a, const QString& b) {
        const QString fa = a.toCaseFolded(), fb = b.toCaseFolded();
        return fa != fb ? fa < fb : a < b;
    });
    widgets::FileListBox box;
    box.setMask(folder::kExifMask);
    ASSERT_TRUE(box.setDirectory(dir.path()));
    EXPECT_EQ(box.items(), expected);
}

TEST(FileListBoxTest, FolderThatCannotBeListedGivesFalseAndAnEmptyList)
{
    QTemporaryDir dir;
    touch(dir.filePath(QStringLiteral("a.jpg")));
    widgets::FileListBox box;
    ASSERT_TRUE(box.setDirectory(dir.path()));
    EXPECT_EQ(box.count(), 1);
    EXPECT_FALSE(box.setDirectory(dir.filePath(QStringLiteral("missing"))));
    EXPECT_EQ(box.count(), 0);
    EXPECT_FALSE(box.setDirectory(dir.filePath(QStringLiteral("a.jpg")))) << "a file is no folder";
}

TEST(FolderWalkTest, NumbersFoldersDepthFirstInTreeOrderWithoutHiddenFolders)
{
    QTemporaryDir dir;
    for (const char* d : {"b", "A/z", "A/y/deep", "C", ".git/objects", "b/.cache"})
        QDir().mkpath(dir.filePath(QString::fromLatin1(d)));
    touch(dir.filePath(QStringLiteral("file.jpg")));  // files are not nodes

    platform::FolderWalk walk;
    walk.setRoot(dir.path());
    EXPECT_EQ(walk.nodeCount(), 1) << "only the root before expanding";
    walk.expandAll();
    // Siblings in case-insensitive order (b before C), each folder followed
    // by its own sub-folders.
    EXPECT_EQ(relative(dir.path(), walk.paths()), (QStringList{".", "A", "A/y", "A/y/deep", "A/z", "b", "C"}));
}

TEST(FolderWalkTest, LinkCyclesEndAndEveryRealFolderIsVisitedOnce)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("a/b")));
    QDir().mkpath(dir.filePath(QStringLiteral("c")));
    // a/b/up -> a (a cycle), c/toa -> a (a second route), a/self -> .
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("a")), dir.filePath(QStringLiteral("a/b/up"))));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("a")), dir.filePath(QStringLiteral("c/toa"))));
    ASSERT_TRUE(QFile::link(dir.path(), dir.filePath(QStringLiteral("a/self"))));
    // A link within the tree to a folder met nowhere else is followed; one
    // out of the tree is not (a link to "/" walked the whole system, /proc
    // too, for seconds, and listed every folder it could not read).
    QDir().mkpath(dir.filePath(QStringLiteral("d/.hidden/x")));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("d/.hidden")), dir.filePath(QStringLiteral("c/in"))));
    QTemporaryDir outside;
    QDir().mkpath(outside.filePath(QStringLiteral("x")));
    ASSERT_TRUE(QFile::link(outside.path(), dir.filePath(QStringLiteral("c/out"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("/"), dir.filePath(QStringLiteral("c/root"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc"), dir.filePath(QStringLiteral("c/proc"))));

    platform::FolderWalk walk;
    walk.setRoot(dir.path());
    walk.expandAll();
    EXPECT_EQ(relative(dir.path(), walk.paths()), (QStringList{".", "a", "a/b", "c", "c/in", "c/in/x", "d"}));
}

TEST(FolderListingTest, ABrokenLinkOrANameThatIsNotUtf8DoesNotSpoilTheFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    touch(dir.filePath(QStringLiteral("a.jpg")));
    touch(dir.filePath(QStringLiteral("sub/c.jpg")));
    // A dangling link, of a picture's name and of another, beside them: its
    // failed stat once made the whole folder unreadable.
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("gone.jpg")), dir.filePath(QStringLiteral("broken.jpg"))));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(QStringLiteral("sub/zz"))));
    // Shift-JIS names from an old archive: 写真.jpg and a folder 旅行.
    const QByteArray root = QFile::encodeName(dir.path());
    const QByteArray sjisFile = root + "/\x8e\xca\x90\x5e.jpg";
    const QByteArray sjisFolder = root + "/\x97\xb7\x8d\x73";
    // The temporary folder's own removal cannot name them.
    struct RemoveByBytes {
        QByteArray file, folder;
        ~RemoveByBytes()
        {
            ::unlink(file.constData());
            ::unlink((folder + "/d.jpg").constData());
            ::rmdir(folder.constData());
        }
    } removeByBytes{sjisFile, sjisFolder};
    ASSERT_EQ(::mkdir(sjisFolder.constData(), 0700), 0);
    for (const QByteArray& f : {sjisFile, sjisFolder + "/d.jpg"}) {
        FILE* out = std::fopen(f.constData(), "wb");
        ASSERT_TRUE(out);
        std::fputs("picture", out);
        std::fclose(out);
    }

    QStringList folders, files;
    ASSERT_TRUE(platform::listFolder(dir.path(), &folders, &files));
    files.sort();
    ASSERT_EQ(files.size(), 2) << files.join(u' ').toStdString();
    EXPECT_EQ(files[0], QStringLiteral("a.jpg"));
    // The name opens the very file, and reads as the Japanese it is.
    const QString sjisName = files[1];
    EXPECT_EQ(platform::encodeFileName(dir.path() + u'/' + sjisName), sjisFile);
    EXPECT_EQ(platform::displayFileName(sjisName), QStringLiteral("写真.jpg"));
    platform::RegularFile opened(dir.path() + u'/' + sjisName);
    QByteArray bytes;
    ASSERT_TRUE(opened.readAll(bytes));
    EXPECT_EQ(bytes, QByteArray("picture"));

    // The walk goes into the folder of such a name and reads it, and a
    // folder holding a broken link is read like any other.
    platform::FolderWalk walk;
    walk.setRoot(dir.path());
    walk.expandAll();
    ASSERT_EQ(walk.nodeCount(), 3);
    for (int p = 0; p < walk.nodeCount(); ++p)
        EXPECT_TRUE(walk.readable(p)) << walk.path(p).toStdString();
    const int travel = walk.paths().indexOf(dir.path() + u'/' + platform::decodeFileName(QByteArray("\x97\xb7\x8d\x73")));
    const int sub = walk.paths().indexOf(dir.path() + QStringLiteral("/sub"));
    ASSERT_GT(travel, 0);
    ASSERT_GT(sub, 0);
    EXPECT_EQ(platform::displayFileName(walk.path(travel)), dir.path() + QStringLiteral("/旅行"));
    EXPECT_EQ(walk.files(travel), QStringList{QStringLiteral("d.jpg")});
    EXPECT_EQ(walk.files(sub), QStringList{QStringLiteral("c.jpg")});
    widgets::FileListBox box;
    EXPECT_TRUE(box.setDirectory(walk.path(travel)));
    EXPECT_EQ(box.items(), QStringList{QStringLiteral("d.jpg")});
}

TEST(FolderWalkTest, AThousandLevelsDeepAreAllWalked)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray path = QFile::encodeName(dir.path());
    for (int i = 0; i < 1000; ++i) {
        path += "/d";
        ASSERT_EQ(::mkdir(path.constData(), 0700), 0) << i;
    }
    platform::FolderWalk walk;
    walk.setRoot(dir.path());
    walk.expandAll();
    EXPECT_EQ(walk.nodeCount(), 1001);
    EXPECT_TRUE(walk.readable(1000));
}

TEST(FolderWalkTest, JoiningAfterTheRootDoesNotDoubleTheSeparator)
{
    EXPECT_EQ(platform::joinPath(QStringLiteral("/"), QStringLiteral("a.jpg")), QStringLiteral("/a.jpg"));
    EXPECT_EQ(platform::joinPath(QStringLiteral("/p"), QStringLiteral("a.jpg")),
              QStringLiteral("/p") + QDir::separator() + QStringLiteral("a.jpg"));
    platform::FolderWalk walk;
    walk.setRoot(QStringLiteral("/"));
    EXPECT_EQ(walk.path(0), QStringLiteral("/"));
}

TEST(FolderTreeTest, TopRowPutsTheSelectedFolderFourth)
{
    struct Row {
        int i, j;
        bool ofParent;
        int index;
    };
    // Rows shown from the top row down: the selected folder is the fourth.
    const Row rows[] = {
        {3, 0, false, 0},  // three siblings above it
        {7, 4, false, 4},
        {0, 5, true, 3},   // parent's siblings 3 and 4, the parent, the folder
        {1, 5, true, 4},   // parent's sibling 4, the parent, sibling 0, the folder
        {2, 5, true, 5},   // the parent, siblings 0 and 1, the folder
        {0, 1, true, 0},   // too near the top: the parent's first sibling
        {1, 0, true, 0},
    };
    for (const Row& r : rows) {
        const widgets::TopRow t = widgets::fourthRowTopRow(r.i, r.j);
        EXPECT_EQ(t.ofParent, r.ofParent) << r.i << "," << r.j;
        EXPECT_EQ(t.index, r.index) << r.i << "," << r.j;
    }
}

TEST(FolderTreeTest, SelectsAndReportsAFolderPath)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("one/two")));
    widgets::FolderTree tree;
    EXPECT_TRUE(tree.selectedPath().isEmpty());
    int changes = 0;
    QObject::connect(&tree, &widgets::FolderTree::selectedFolderChanged, [&] { ++changes; });
    ASSERT_TRUE(tree.selectPath(dir.filePath(QStringLiteral("one/two"))));
    EXPECT_EQ(tree.selectedPath(), QDir::toNativeSeparators(dir.filePath(QStringLiteral("one/two"))));
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(tree.selectPath(dir.filePath(QStringLiteral("none"))));
    tree.clearSelectionPath();
    EXPECT_TRUE(tree.selectedPath().isEmpty());
}

TEST(FileListBoxTest, ARawFileBesideItsCamerasJpegOrHeicIsListedOnce)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"IMG_0001.JPG", "IMG_0001.CR2", "IMG_0002.CR3", "img_0003.heic", "IMG_0003.NEF",
                             "P1000004.RW2", "p1000004.jpg", "DSC_0005.dng", "DSC_0005.png", "x.jpg.nef"})
        touch(dir.filePath(QString::fromLatin1(name)));
    widgets::FileListBox box;
    ASSERT_TRUE(box.setDirectory(dir.path()));
    // A raw file alone stays; beside a PNG of its name it is no twin.
    EXPECT_EQ(box.items(), (QStringList{"DSC_0005.dng", "DSC_0005.png", "IMG_0001.JPG", "IMG_0002.CR3",
                                        "img_0003.heic", "p1000004.jpg", "x.jpg.nef"}));
    // The date order's narrower list leaves the twins out as well.
    box.setMask(folder::kExifMask);
    EXPECT_EQ(box.items(), (QStringList{"DSC_0005.dng", "IMG_0001.JPG", "IMG_0002.CR3", "img_0003.heic",
                                        "p1000004.jpg", "x.jpg.nef"}));
}
