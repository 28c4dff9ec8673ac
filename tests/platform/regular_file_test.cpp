// The one way files are opened: whatever a folder holds under a picture's
// name, the open neither waits nor reads more than the caller allows.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "platform/file_names.h"
#include "platform/regular_file.h"
#include "support/hostile_folders.h"

using platform::OpenResult;
using platform::RegularFile;

TEST(RegularFile, OpensRegularFilesOnlyAndWithinTheCap)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto at = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
    ASSERT_TRUE(testsupport::writeFile(at("small.jpg"), QByteArray("0123456789")));
    // A FIFO nobody writes to: a plain open would wait for ever.
    ASSERT_TRUE(testsupport::makeFifo(at("fifo.jpg")));
    ASSERT_TRUE(testsupport::makeLink(QStringLiteral("/dev/zero"), at("zero.jpg")));
    ASSERT_TRUE(testsupport::makeLink(at("nothing"), at("dangling.jpg")));
    ASSERT_TRUE(testsupport::makeSparseFile(at("huge.jpg"), 8ll << 30));
    QDir().mkpath(at("folder.jpg"));

    struct Row {
        const char* name;
        qint64 cap;
        OpenResult result;
    };
    const Row rows[] = {
        {"small.jpg", -1, OpenResult::Opened},   {"small.jpg", 10, OpenResult::Opened},
        {"small.jpg", 9, OpenResult::TooLarge},  {"fifo.jpg", -1, OpenResult::NotRegular},
        {"zero.jpg", -1, OpenResult::NotRegular}, {"folder.jpg", -1, OpenResult::NotRegular},
        {"dangling.jpg", -1, OpenResult::Missing}, {"missing.jpg", -1, OpenResult::Missing},
        {"huge.jpg", 256ll << 20, OpenResult::TooLarge}, {"huge.jpg", -1, OpenResult::Opened},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const RegularFile f(at(r.name), r.cap);
        EXPECT_EQ(f.result(), r.result);
        EXPECT_EQ(f.isOpen(), r.result == OpenResult::Opened);
    }

    RegularFile small(at("small.jpg"));
    QByteArray bytes;
    std::atomic<qint64> progress{0};
    ASSERT_TRUE(small.readAll(bytes, -1, &progress));
    EXPECT_EQ(bytes, QByteArray("0123456789"));
    EXPECT_EQ(progress.load(), 10);
    EXPECT_EQ(small.size(), 10);
    EXPECT_TRUE(small.modified().isValid());
    RegularFile head(at("small.jpg"));
    ASSERT_TRUE(head.readAll(bytes, 4));
    EXPECT_EQ(bytes, QByteArray("0123"));

    // The facts by name agree, and a dangling link is no file.
    EXPECT_TRUE(platform::lookUpFile(at("small.jpg")).regular);
    EXPECT_FALSE(platform::lookUpFile(at("fifo.jpg")).regular);
    EXPECT_TRUE(platform::lookUpFile(at("fifo.jpg")).exists);
    EXPECT_FALSE(platform::lookUpFile(at("dangling.jpg")).exists);
    EXPECT_TRUE(platform::lookUpFile(at("folder.jpg")).directory);
    EXPECT_TRUE(platform::lookUpFile(dir.filePath(QStringLiteral(".hidden.jpg"))).hidden);
}

TEST(FileNames, EveryByteStringComesBackAsItWasAndShiftJisReadsAsJapanese)
{
    // Every single byte, every pair of high bytes, and random strings.
    QList<QByteArray> samples;
    for (int b = 1; b < 256; ++b)
        samples << QByteArray(1, static_cast<char>(b));
    for (int a = 0x80; a < 256; a += 3)
        for (int b = 0x80; b < 256; b += 5)
            samples << (QByteArray("x") + char(a) + char(b) + ".jpg");
    QRandomGenerator random(23);
    for (int i = 0; i < 2000; ++i) {
        QByteArray s;
        for (int n = random.bounded(1, 24); n > 0; --n)
            s += static_cast<char>(random.bounded(1, 256));
        samples << s;
    }
    // Valid UTF-8 that looks like escapes would: U+DC80 encoded is invalid.
    samples << QByteArray("\xed\xb2\x80") << QByteArray("\xf0\x9f\x93\xb7.jpg") << QByteArray("写真.jpg");
    for (const QByteArray& s : samples) {
        const QString name = platform::decodeFileName(s);
        ASSERT_EQ(platform::encodeFileName(name), s) << s.toHex().toStdString();
        EXPECT_EQ(platform::hasRawBytes(name), QString::fromUtf8(s).toUtf8() != s) << s.toHex().toStdString();
    }
    // Names that were UTF-8 are the same text; Shift-JIS ones read as such;
    // other bytes show as the replacement character.
    EXPECT_EQ(platform::decodeFileName(QByteArray("写真.jpg")), QStringLiteral("写真.jpg"));
    EXPECT_EQ(platform::displayFileName(platform::decodeFileName(QByteArray("\x8e\xca\x90\x5e.jpg"))),
              QStringLiteral("写真.jpg"));
    EXPECT_EQ(platform::displayFileName(platform::decodeFileName(QByteArray("a\xff.jpg"))),
              QStringLiteral("a\uFFFD.jpg"));
}
