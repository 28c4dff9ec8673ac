// The help file reader: the project's own help file read back whole, hand-
// made files whose headers, directory or compression tables claim more than
// they hold refused, and the sitemap, link and text rules on their own.
#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/chm_file.h"

using platform::ChmFile;

namespace {

// ---------------------------------------------------------------------------
// A help file made by hand: an ITSF version 3 header, the directory header,
// one listing block, then the objects' bytes, all stored (not compressed).

void putLe(std::string& b, size_t at, uint64_t v, int width)
{
    for (int i = 0; i < width; ++i)
        b[at + size_t(i)] = char((v >> (8 * i)) & 0xff);
}

std::string number(uint64_t v)
{
    std::string out(1, char(v & 0x7f));
    while ((v >>= 7) != 0)
        out.insert(out.begin(), char(0x80 | (v & 0x7f)));
    return out;
}

struct Object {
    std::string path;
    std::string data;
    uint64_t space = 0;
};

struct Layout {
    size_t itspAt = 0x60;
    size_t blockAt = 0x60 + 0x54;
    size_t blockLength = 0x1000;
    size_t dataAt = 0;
    std::vector<size_t> dataOffsets;  // of each object, from dataAt
};

std::string buildChm(const std::vector<Object>& objects, Layout* layout = nullptr)
{
    Layout l;
    std::string entries;
    std::string data;
    for (const Object& o : objects) {
        l.dataOffsets.push_back(data.size());
        entries += number(o.path.size()) + o.path + number(o.space) + number(data.size()) + number(o.data.size());
        data += o.data;
    }
    std::string file(l.blockAt + l.blockLength, '\0');
    file.replace(0, 4, "ITSF");
    putLe(file, 4, 3, 4);
    putLe(file, 8, 0x60, 4);
    putLe(file, 0x48, l.itspAt, 8);
    putLe(file, 0x50, 0x54 + l.blockLength, 8);
    l.dataAt = file.size();
    putLe(file, 0x58, l.dataAt, 8);
    file.replace(l.itspAt, 4, "ITSP");
    putLe(file, l.itspAt + 4, 1, 4);
    putLe(file, l.itspAt + 8, 0x54, 4);
    putLe(file, l.itspAt + 0x10, l.blockLength, 4);
    putLe(file, l.itspAt + 0x28, 0xffffffff, 4);
    putLe(file, l.itspAt + 0x2C, 1, 4);
    file.replace(l.blockAt, 4, "PMGL");
    putLe(file, l.blockAt + 4, l.blockLength - 0x14 - entries.size(), 4);
    file.replace(l.blockAt + 0x14, entries.size(), entries);
    file += data;
    if (layout)
        *layout = l;
    return file;
}

std::string systemObject(const std::vector<std::pair<uint16_t, std::string>>& records)
{
    std::string out(4, '\0');
    out[0] = 3;
    for (const auto& [code, text] : records) {
        std::string r(4, '\0');
        putLe(r, 0, code, 2);
        putLe(r, 2, text.size() + 1, 2);
        out += r + text + '\0';
    }
    return out;
}

const char kControl[] = "::DataSpace/Storage/MSCompressed/ControlData";
const char kContent[] = "::DataSpace/Storage/MSCompressed/Content";
const char kReset[] =
    "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable";

// Control data of version 2: a reset every window of 2 x 32 KB.
std::string controlData(uint32_t version = 2, uint32_t resetInterval = 2, uint32_t windowSize = 2,
                        uint32_t windowsPerReset = 1)
{
    std::string c(0x1c, '\0');
    putLe(c, 0, 6, 4);
    c.replace(4, 4, "LZXC");
    putLe(c, 8, version, 4);
    putLe(c, 0xC, resetInterval, 4);
    putLe(c, 0x10, windowSize, 4);
    putLe(c, 0x14, windowsPerReset, 4);
    return c;
}

// A reset table for frames at the given offsets of a compressed stream.
std::string resetTable(const std::vector<uint64_t>& offsets, uint64_t uncompressed, uint64_t compressed,
                       uint64_t frame = 0x8000, uint32_t version = 2)
{
    std::string t(0x28 + offsets.size() * 8, '\0');
    putLe(t, 0, version, 4);
    putLe(t, 4, offsets.size(), 4);
    putLe(t, 8, 8, 4);
    putLe(t, 0xC, 0x28, 4);
    putLe(t, 0x10, uncompressed, 8);
    putLe(t, 0x18, compressed, 8);
    putLe(t, 0x20, frame, 8);
    for (size_t i = 0; i < offsets.size(); ++i)
        putLe(t, 0x28 + i * 8, offsets[i], 8);
    return t;
}

std::string projectHelpFile()
{
    QFile f(QStringLiteral(DAREDAZI_HELP_FILE));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

}  // namespace

TEST(ChmFile, ReadsStoredObjectsAndWhatTheFileSaysOfItself)
{
    const std::string toc =
        "<html><head><meta charset=\"utf-8\"></head><body><ul>"
        "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"はじめに\">"
        "<param name=\"Local\" value=\"a.html\"></object>"
        "<ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"詳しく\">"
        "<param name=\"Local\" value=\"sub/b.html#two\"></object></ul></ul></body></html>";
    const auto chm = ChmFile::fromBytes(buildChm({
        {"/#SYSTEM", systemObject({{0, "toc.hhc"}, {2, "sub/b.html"}, {3, "題名"}})},
        {"/toc.hhc", toc},
        {"/a.html", "<p>A</p>"},
        {"/sub/b.html", "<p>B</p>"},
    }));
    ASSERT_TRUE(chm);
    const platform::HelpFileInfo info = chm->info();
    EXPECT_EQ(info.title, QStringLiteral("題名"));
    EXPECT_EQ(info.contentsFile, QStringLiteral("/toc.hhc"));
    EXPECT_EQ(info.defaultTopic, QStringLiteral("/sub/b.html"));
    const auto topics = chm->topics();
    ASSERT_EQ(topics.size(), 2u);
    EXPECT_EQ(topics[0].name, QStringLiteral("はじめに"));
    EXPECT_EQ(topics[0].local, QStringLiteral("/a.html"));
    EXPECT_EQ(topics[0].depth, 0);
    EXPECT_EQ(topics[1].local, QStringLiteral("/sub/b.html#two"));
    EXPECT_EQ(topics[1].depth, 1);
    EXPECT_EQ(chm->read(QStringLiteral("/A.HTML")), std::string("<p>A</p>")) << "letters in either case";
    EXPECT_EQ(chm->read(QStringLiteral("/sub/b.html")), std::string("<p>B</p>"));
    EXPECT_FALSE(chm->read(QStringLiteral("/c.html")));

    // Without a system object: the first contents file, its first topic.
    const auto bare = ChmFile::fromBytes(buildChm({{"/x.hhc", toc}, {"/a.html", "A"}}));
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->info().contentsFile, QStringLiteral("/x.hhc"));
    EXPECT_EQ(bare->info().defaultTopic, QStringLiteral("/a.html"));
    EXPECT_EQ(bare->topics().size(), 2u);
}

TEST(ChmFile, ObjectsThatClaimBytesOutsideTheFileAreAbsent)
{
    Layout l;
    std::string file = buildChm({{"/a.html", "abcd"}, {"/b.html", "efgh"}}, &l);
    // /b.html's length, then its start, pushed beyond the file's end; the
    // file still opens and /a.html still reads.
    const std::string entryB = std::string("\x07/b.html") + number(0) + number(4) + number(4);
    const size_t at = file.find(entryB);
    ASSERT_NE(at, std::string::npos);
    struct Row {
        const char* what;
        std::string entry;
    };
    const Row rows[] = {
        {"length", std::string("\x07/b.html") + number(0) + number(4) + number(5)},
        {"start", std::string("\x07/b.html") + number(0) + number(uint64_t(1) << 62) + number(4)},
        {"start + length wraps", std::string("\x07/b.html") + number(0) + number(4) + number(~uint64_t(0) >> 1)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        // The longer entry takes bytes of the listing's free space, so
        // nothing after the listing moves.
        std::string damaged = file;
        damaged.replace(at, entryB.size(), row.entry);
        damaged.erase(at + row.entry.size(), row.entry.size() - entryB.size());
        // The listing still ends where its entries end.
        const uint64_t freeSpace = uint8_t(file[l.blockAt + 4]) | uint64_t(uint8_t(file[l.blockAt + 5])) << 8;
        putLe(damaged, l.blockAt + 4, freeSpace + entryB.size() - row.entry.size(), 4);
        const auto chm = ChmFile::fromBytes(damaged);
        ASSERT_TRUE(chm);
        EXPECT_EQ(chm->read(QStringLiteral("/a.html")), std::string("abcd"));
        EXPECT_FALSE(chm->read(QStringLiteral("/b.html")));
    }
}

TEST(ChmFile, RefusesHeadersDirectoriesAndTablesThatDoNotHold)
{
    Layout l;
    const std::string sound = buildChm({{"/a.html", "a"}}, &l);
    ASSERT_TRUE(ChmFile::fromBytes(sound));
    // A compressed section whose tables hold together, for the rows that
    // break one of them: one frame of 100 compressed bytes.
    const auto compressed = [](std::string control, std::string table, size_t content = 100) {
        return buildChm({{kControl, control}, {kContent, std::string(content, '\0')}, {kReset, table}});
    };
    ASSERT_TRUE(ChmFile::fromBytes(compressed(controlData(), resetTable({0}, 0x8000, 100))));

    const auto patch = [&](size_t at, uint64_t v, int width) {
        std::string f = sound;
        putLe(f, at, v, width);
        return f;
    };
    struct Row {
        const char* what;
        std::string file;
    };
    const Row rows[] = {
        {"empty", std::string()},
        {"cut in the header", sound.substr(0, 0x50)},
        {"cut in the listing block", sound.substr(0, l.blockAt + 0x100)},
        {"not ITSF", "ITSX" + sound.substr(4)},
        {"version 4", patch(4, 4, 4)},
        {"short version 3 header", patch(8, 0x58, 4)},
        {"data beyond the file", patch(0x58, sound.size() + 1, 8)},
        {"directory beyond the file", patch(0x48, sound.size() - 0x20, 8)},
        {"directory header not ITSP", patch(l.itspAt, 0x58535449, 4)},
        {"directory header of another length", patch(l.itspAt + 8, 0x60, 4)},
        {"blocks of 16 bytes", patch(l.itspAt + 0x10, 16, 4)},
        {"blocks of 2 MB", patch(l.itspAt + 0x10, 2u << 20, 4)},
        {"more blocks than the file holds", patch(l.itspAt + 0x2C, 1000, 4)},
        {"free space larger than the block", patch(l.blockAt + 4, l.blockLength, 4)},
        {"entries running into the free space", patch(l.blockAt + 4, l.blockLength - 0x14 - 4, 4)},
        {"a name of no bytes", patch(l.blockAt + 0x14, 0, 1)},
        {"a name longer than the listing", patch(l.blockAt + 0x14, 0x7f, 1)},
        {"a number of ten bytes",
         [&] {
             std::string f = sound;
             f.replace(l.blockAt + 0x14, 10, std::string(9, '\x81') + '\x01');
             return f;
         }()},
        {"compressed section without its control data",
         buildChm({{kContent, std::string(100, '\0')}, {kReset, resetTable({0}, 0x8000, 100)}})},
        {"control data not LZXC",
         [&] {
             std::string c = controlData();
             c.replace(4, 4, "LZXD");
             return compressed(c, resetTable({0}, 0x8000, 100));
         }()},
        {"control data cut short", compressed(controlData().substr(0, 0x14), resetTable({0}, 0x8000, 100))},
        {"control data version 3", compressed(controlData(3), resetTable({0}, 0x8000, 100))},
        {"window of three frames", compressed(controlData(2, 3, 3), resetTable({0}, 0x8000, 100))},
        {"window of 4 MB", compressed(controlData(2, 128, 128), resetTable({0}, 0x8000, 100))},
        {"no reset interval", compressed(controlData(2, 0, 2), resetTable({0}, 0x8000, 100))},
        {"reset interval not whole half windows", compressed(controlData(1, 0x9000, 0x10000), resetTable({0}, 0x8000, 100))},
        {"no windows per reset", compressed(controlData(2, 2, 2, 0), resetTable({0}, 0x8000, 100))},
        {"reset table version 3", compressed(controlData(), resetTable({0}, 0x8000, 100, 0x8000, 3))},
        {"frames of 64 KB", compressed(controlData(), resetTable({0}, 0x8000, 100, 0x10000))},
        {"fewer frames than the length needs", compressed(controlData(), resetTable({0}, 0x8001, 100))},
        {"more content than allowed",
         compressed(controlData(), resetTable({0}, ChmFile::kMaxContentBytes + 1, 100))},
        {"compressed stream longer than its object", compressed(controlData(), resetTable({0}, 0x8000, 101))},
        {"frames out of order", compressed(controlData(), resetTable({0, 60, 50}, 0x18000, 100))},
        {"a frame longer than any LZX frame",
         compressed(controlData(), resetTable({0, 0x9801}, 0x10000, 0x9900), 0x9900)},
        {"frame offsets beyond the table",
         [&] {
             std::string t = resetTable({0}, 0x8000, 100);
             putLe(t, 0xC, 0x30, 4);
             return compressed(controlData(), t);
         }()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_FALSE(ChmFile::fromBytes(row.file));
    }
}

TEST(ChmFile, ReadsTheProjectsHelpFileWithItsCompressedPages)
{
    const std::string bytes = projectHelpFile();
    if (bytes.empty())
        GTEST_SKIP() << "the help file was not built (chmcmd missing)";
    const auto chm = ChmFile::fromBytes(bytes);
    ASSERT_TRUE(chm);
    const platform::HelpFileInfo info = chm->info();
    EXPECT_EQ(info.title, QStringLiteral("「Daredazi」のヘルプ"));
    EXPECT_EQ(info.defaultTopic, QStringLiteral("/index.html"));
    QStringList names;
    for (const platform::HelpTopic& t : chm->topics()) {
        names << t.name;
        EXPECT_EQ(t.depth, 0);
        const auto page = chm->read(t.local);
        ASSERT_TRUE(page) << t.local.toStdString();
        if (t.local != QStringLiteral("/index.html")) {
            EXPECT_TRUE(platform::decodeHelpText(*page).contains("<h1>" + t.name + "</h1>")) << t.local.toStdString();
        }
    }
    EXPECT_EQ(names, (QStringList{"Daredazi について", "起動と終了", "フォルダの選択と表示の設定", "画像の表示と操作",
                                  "撮影情報の表示と地図", "標題とコメントで画像を検索する", "画像の印刷",
                                  "関連する音声と動画の再生"}));
    const auto index = chm->read(QStringLiteral("/index.html"));
    ASSERT_TRUE(index);
    EXPECT_TRUE(platform::decodeHelpText(*index).contains(QStringLiteral("<h1>「Daredazi」のヘルプ</h1>")));
    const auto css = chm->read(QStringLiteral("/help.css"));
    ASSERT_TRUE(css);
    EXPECT_NE(css->find("font-family"), std::string::npos);
}

// Damage the real file where its pages are compressed: cut it anywhere, or
// change a byte of its LZX stream. Nothing may be read from outside what
// was given (the sanitizer build checks); what reads is the page's length.
TEST(ChmFile, CutOrDamagedHelpFileReadsNothingFromOutside)
{
    const std::string bytes = projectHelpFile();
    if (bytes.empty())
        GTEST_SKIP() << "the help file was not built (chmcmd missing)";
    const auto whole = ChmFile::fromBytes(bytes);
    ASSERT_TRUE(whole);
    const auto topics = whole->topics();
    std::vector<std::string> variants;
    for (size_t cut = 0; cut < bytes.size(); cut += bytes.size() / 97 + 1)
        variants.push_back(bytes.substr(0, cut));
    for (size_t at = bytes.size() / 2; at < bytes.size(); at += bytes.size() / 211 + 1) {
        std::string damaged = bytes;
        damaged[at] = char(damaged[at] ^ 0x5a);
        variants.push_back(damaged);
    }
    int opened = 0;
    for (const std::string& v : variants) {
        const auto chm = ChmFile::fromBytes(v);
        if (!chm)
            continue;
        ++opened;
        for (const platform::HelpTopic& t : topics) {
            const auto page = chm->read(t.local);
            const auto original = whole->read(t.local);
            if (page && original) {
                EXPECT_EQ(page->size(), original->size());
            }
        }
    }
    EXPECT_GT(opened, 0);
}

TEST(HelpSitemap, NestingNamesAndCharsets)
{
    const std::string sjis =
        "<HTML><HEAD><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\"></HEAD><BODY>"
        "<OBJECT type=\"text/site properties\"><param name=\"ImageType\" value=\"Folder\"></OBJECT>"
        "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"\x83\x77\x83\x8b\x83\x76\">"  // ヘルプ
        "<param name=\"Local\" value=\"a.html\"></OBJECT>"
        "<!-- <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"hidden\"></OBJECT> -->"
        "<UL><LI><OBJECT type=\"text/sitemap\"><param name=Name value=\"A &amp; B &#x3042;\">"
        "<param name=\"Local\" value=\"ms-its:other.chm::/b.html\"></OBJECT>"
        "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value='c'></OBJECT></UL>"
        "</UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Local\" value=\"d.html\"></OBJECT></UL>";
    const auto topics = platform::parseSitemap(sjis);
    ASSERT_EQ(topics.size(), 4u);
    EXPECT_EQ(topics[0].name, QStringLiteral("ヘルプ"));
    EXPECT_EQ(topics[0].depth, 0);
    EXPECT_EQ(topics[1].name, QStringLiteral("A & B あ"));
    EXPECT_EQ(topics[1].local, QStringLiteral("/b.html"));
    EXPECT_EQ(topics[1].depth, 1);
    EXPECT_EQ(topics[2].name, QStringLiteral("c"));
    EXPECT_TRUE(topics[2].local.isEmpty());
    EXPECT_EQ(topics[2].depth, 2);
    EXPECT_EQ(topics[3].name, QStringLiteral("d.html")) << "no name: the page stands for it";
    EXPECT_EQ(topics[3].depth, 0);

    // Cut anywhere, the sitemap gives what it holds up to the cut.
    for (size_t cut = 0; cut < sjis.size(); ++cut)
        EXPECT_LE(platform::parseSitemap(sjis.substr(0, cut)).size(), 4u);
}

TEST(HelpSitemap, TopicsAndDepthAreBounded)
{
    std::string deep;
    for (int i = 0; i < 100; ++i)
        deep += "<ul>";
    deep += R"(<object type="text/sitemap"><param name="Name" value="deep"></object>)";
    const auto one = platform::parseSitemap(deep);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].depth, platform::kMaxDepth - 1);

    std::string many = "<ul>";
    for (int i = 0; i < platform::kMaxTopics + 5; ++i)
        many += R"(<object type="text/sitemap"><param name="Name" value="x"></object>)";
    EXPECT_EQ(platform::parseSitemap(many).size(), size_t(platform::kMaxTopics));
}

TEST(HelpLinks, StayInsideTheFile)
{
    struct Row {
        const char* from;
        const char* link;
        const char* path;  // empty: leaves the file
    };
    const Row rows[] = {
        {"/index.html", "start.html", "/start.html"},
        {"/index.html", "start.html#keys", "/start.html#keys"},
        {"/a/b/page.html", "../c.html", "/a/c.html"},
        {"/a/page.html", "./x/../y.html", "/a/y.html"},
        {"/a/page.html#old", "#part", "/a/page.html#part"},
        {"/a/page.html", "/top.html", "/top.html"},
        {"/index.html", "ms-its:Daredazi.chm::/viewer.html", "/viewer.html"},
        {"/index.html", "mk:@MSITStore:C:\\help\\Daredazi.chm::/print.html", "/print.html"},
        {"/index.html", "MS-ITS:Daredazi.chm::media.html", "/media.html"},
        {"/index.html", "ms-its:Daredazi.chm", ""},
        {"/index.html", "https://maps.gsi.go.jp/", ""},
        {"/index.html", "mailto:someone@example.org", ""},
        {"/index.html", "../../etc/passwd", ""},
        {"/index.html", "  ", ""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(platform::resolveHelpLink(QString::fromUtf8(r.from), QString::fromUtf8(r.link)),
                  QString::fromUtf8(r.path))
            << r.from << " -> " << r.link;
}

TEST(HelpText, DecodedAsTheMetaSays)
{
    struct Row {
        std::string bytes;
        const char* text;
    };
    const Row rows[] = {
        {"<meta charset=\"utf-8\"><p>\xE3\x81\x82</p>", "<meta charset=\"utf-8\"><p>あ</p>"},
        {"\xEF\xBB\xBF<p>\xE3\x81\x82</p>", "<p>あ</p>"},
        {"<meta content=\"text/html; charset=Shift_JIS\"><p>\x82\xa0</p>", "<meta content=\"text/html; charset=Shift_JIS\"><p>あ</p>"},
        {"<p>\x82\xa0</p>", "<p>あ</p>"},
        {"<meta charset=iso-8859-1><p>\xe9</p>", "<meta charset=iso-8859-1><p>é</p>"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(platform::decodeHelpText(r.bytes), QString::fromUtf8(r.text)) << r.text;
}

TEST(HelpSystemObject, ReadsRecordsUntilOneRunsOut)
{
    std::string system = systemObject({{3, "\x83\x77\x83\x8b\x83\x76"}, {2, "index.html"}, {0, "toc.hhc"}});
    platform::HelpFileInfo info = platform::parseSystemObject(system);
    EXPECT_EQ(info.title, QStringLiteral("ヘルプ"));
    EXPECT_EQ(info.defaultTopic, QStringLiteral("/index.html"));
    EXPECT_EQ(info.contentsFile, QStringLiteral("/toc.hhc"));
    // The last record claims more than is left: it is not read.
    system = systemObject({{3, "title"}, {2, "index.html"}});
    putLe(system, system.size() - 13, 200, 2);
    info = platform::parseSystemObject(system);
    EXPECT_EQ(info.title, QStringLiteral("title"));
    EXPECT_TRUE(info.defaultTopic.isEmpty());
}
