// Metafiles the drawing libraries refuse or draw wrongly as written: region
// records in WMFs, EMFs that set only a window extent, byte texts and
// glyph-index texts in EMFs.
#include <QFontDatabase>
#include <QImage>
#include <QRawFont>

#include <gtest/gtest.h>

#include <cstring>

#include "imaging/emf/emf_converter.h"
#include "imaging/metafile_repair.h"
#include "imaging/picture_decoder.h"
#include "support/test_support.h"

using imaging::emfForConverter;
using imaging::wmfWithoutRegions;

namespace {

using Bytes = std::vector<unsigned char>;

void put16(Bytes& b, uint32_t v)
{
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
void put32(Bytes& b, uint32_t v)
{
    put16(b, v);
    put16(b, v >> 16);
}
uint32_t get32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// ---- WMF -------------------------------------------------------------

void wmfRecord(Bytes& b, uint16_t function, std::initializer_list<uint16_t> params)
{
    put32(b, static_cast<uint32_t>(3 + params.size()));
    put16(b, function);
    for (uint16_t p : params)
        put16(b, p);
}

// A 100 × 100 placeable WMF around the given records.
Bytes wmfFile(const Bytes& records, uint16_t objects)
{
    Bytes b;
    put32(b, 0x9AC6CDD7u);
    put16(b, 0);
    for (uint16_t v : {0, 0, 100, 100})
        put16(b, v);
    put16(b, 96);
    put32(b, 0);
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2)
        sum ^= static_cast<uint16_t>(b[i] | b[i + 1] << 8);
    put16(b, sum);
    put16(b, 1);
    put16(b, 9);
    put16(b, 0x300);
    put32(b, static_cast<uint32_t>((18 + records.size() + 6) / 2));
    put16(b, objects);
    put32(b, 16);
    put16(b, 0);
    b.insert(b.end(), records.begin(), records.end());
    wmfRecord(b, 0, {});
    return b;
}

// The functions of a WMF's records, with the first parameter of each.
std::vector<std::pair<uint16_t, uint16_t>> wmfRecords(const Bytes& b)
{
    std::vector<std::pair<uint16_t, uint16_t>> out;
    for (size_t o = 22 + 18; o + 6 <= b.size();) {
        const uint32_t words = get32(&b[o]);
        const uint16_t fn = static_cast<uint16_t>(b[o + 4] | b[o + 5] << 8);
        out.emplace_back(fn, words > 3 ? static_cast<uint16_t>(b[o + 6] | b[o + 7] << 8) : 0xFFFF);
        if (words < 3 || fn == 0)
            break;
        o += words * 2;
    }
    return out;
}

// ---- EMF -------------------------------------------------------------

void emfRecord(Bytes& b, uint32_t type, const Bytes& body)
{
    put32(b, type);
    put32(b, static_cast<uint32_t>(8 + body.size()));
    b.insert(b.end(), body.begin(), body.end());
}

Bytes emfHeader()
{
    Bytes h;
    for (int32_t v : {0, 0, 200, 100})  // bounds
        put32(h, static_cast<uint32_t>(v));
    for (int32_t v : {0, 0, 5000, 2500})  // frame, 0.01 mm
        put32(h, static_cast<uint32_t>(v));
    const char sig[] = " EMF";
    h.insert(h.end(), sig, sig + 4);
    put32(h, 0x10000);
    put32(h, 0);  // bytes, patched
    put32(h, 0);  // records, patched
    put16(h, 2);
    put16(h, 0);
    put32(h, 0);
    put32(h, 0);
    put32(h, 0);
    for (uint32_t v : {1024u, 768u, 320u, 240u})
        put32(h, v);
    Bytes b;
    emfRecord(b, 1, h);
    return b;
}

Bytes emfFont(uint32_t handle, unsigned char charset, const char16_t* face)
{
    Bytes f;
    put32(f, handle);
    put32(f, static_cast<uint32_t>(-40));  // height
    for (int i = 0; i < 3; ++i)
        put32(f, 0);
    put32(f, 400);
    f.insert(f.end(), {0, 0, 0, charset, 0, 0, 0, 0});
    for (int i = 0; i < 32; ++i)
        put16(f, *face ? *face++ : 0);
    return f;
}

// An EXTTEXTOUT body with the given text units and one advance per unit.
Bytes emfText(const Bytes& units, uint32_t count, uint32_t options, uint32_t advance)
{
    Bytes t;
    for (int32_t v : {0, 0, 200, 100})
        put32(t, static_cast<uint32_t>(v));
    put32(t, 1);   // graphics mode
    put32(t, 0);   // x scale (float 0)
    put32(t, 0);
    put32(t, 10);  // reference point
    put32(t, 60);
    put32(t, count);
    put32(t, 76);  // text offset from the record start
    put32(t, options);
    for (int i = 0; i < 4; ++i)
        put32(t, 0);
    Bytes text = units;
    while (text.size() % 4)
        text.push_back(0);
    put32(t, static_cast<uint32_t>(76 + text.size()));
    t.insert(t.end(), text.begin(), text.end());
    for (uint32_t i = 0; i < count; ++i)
        put32(t, advance);
    return t;
}

Bytes emfFile(const Bytes& records)
{
    Bytes b = emfHeader();
    b.insert(b.end(), records.begin(), records.end());
    Bytes eof;
    put32(eof, 0);
    put32(eof, 16);
    put32(eof, 20);
    emfRecord(b, 14, eof);
    return b;
}

struct TextRun {
    uint32_t options;
    std::u16string text;
    std::vector<uint32_t> advances;
};

// The UTF-16 text records of a converted EMF.
std::vector<TextRun> textRuns(const std::vector<char>& emf)
{
    std::vector<TextRun> out;
    const auto* d = reinterpret_cast<const unsigned char*>(emf.data());
    for (size_t o = get32(d + 4); o + 8 <= emf.size();) {
        const uint32_t type = get32(d + o), size = get32(d + o + 4);
        if (size < 8)
            break;
        EXPECT_NE(type, 83u) << "a byte text reached the converter";
        if (type == 84) {
            TextRun run;
            run.options = get32(d + o + 52);
            const uint32_t n = get32(d + o + 44), text = get32(d + o + 48), dx = get32(d + o + 72);
            for (uint32_t i = 0; i < n; ++i)
                run.text.push_back(static_cast<char16_t>(d[o + text + 2 * i] | d[o + text + 2 * i + 1] << 8));
            for (uint32_t i = 0; dx && i < n; ++i)
                run.advances.push_back(get32(d + o + dx + 4 * i));
            out.push_back(run);
        }
        o += size;
    }
    return out;
}

int darkPixels(const QImage& image)
{
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            dark += qAlpha(p) > 128 && qGray(p) < 128;
        }
    return dark;
}

}  // namespace

TEST(MetafileRepair, RegionsLeaveTheObjectTableAsItWas)
{
    // Slot 0 a region, slot 1 a pen; the region is deleted and a brush
    // takes its slot again, so selecting slot 0 later selects the brush.
    Bytes r;
    wmfRecord(r, 0x06FF, {0, 0, 0, 0, 0, 0, 0});  // region
    wmfRecord(r, 0x02FA, {0, 1, 0, 0, 0});        // pen
    wmfRecord(r, 0x012D, {0});                    // select the region
    wmfRecord(r, 0x0228, {0, 1});                 // fill it
    wmfRecord(r, 0x012D, {1});                    // select the pen
    wmfRecord(r, 0x01F0, {0});                    // delete the region
    wmfRecord(r, 0x02FC, {0, 0, 0, 0});           // brush into slot 0
    wmfRecord(r, 0x012D, {0});                    // select the brush
    const Bytes in = wmfFile(r, 2);
    const Bytes out = wmfWithoutRegions(in.data(), in.size());
    ASSERT_FALSE(out.empty());
    const std::vector<std::pair<uint16_t, uint16_t>> want = {
        {0x02FA, 5}, {0x02FA, 0}, {0x012D, 1}, {0x01F0, 0}, {0x02FC, 0}, {0x012D, 0}, {0, 0xFFFF}};
    EXPECT_EQ(wmfRecords(out), want);
    // The header's size counts the words that are there.
    EXPECT_EQ(get32(&out[22 + 6]) * 2, out.size() - 22);

    // A file without regions, and data that is no WMF, are left alone.
    Bytes plain;
    wmfRecord(plain, 0x02FA, {0, 1, 0, 0, 0});
    const Bytes p = wmfFile(plain, 1);
    EXPECT_TRUE(wmfWithoutRegions(p.data(), p.size()).empty());
    for (size_t cut = 0; cut < in.size(); ++cut)
        wmfWithoutRegions(in.data(), cut);  // never reads past the cut
}

TEST(MetafileRepair, ByteTextsAreDecodedInTheFontsCodePage)
{
    const std::string sjis = "\x93\xfa\x96\x7b\x8c\xea" "A";  // 日本語A in code page 932
    const std::string hebrew = "\xe0\xe1";                       // אב in code page 1255
    Bytes r;
    emfRecord(r, 82, emfFont(1, 128, u"IPAGothic"));
    emfRecord(r, 82, emfFont(2, 177, u"Arial"));
    Bytes sel;
    put32(sel, 1);
    emfRecord(r, 37, sel);
    emfRecord(r, 83, emfText(Bytes(sjis.begin(), sjis.end()), static_cast<uint32_t>(sjis.size()), 0, 10));
    Bytes sel2;
    put32(sel2, 2);
    emfRecord(r, 37, sel2);
    emfRecord(r, 83, emfText(Bytes(hebrew.begin(), hebrew.end()), 2, 0, 7));
    // Bytes flagged as glyph indices name no characters: left out, never
    // passed on as indices (the converter read its glyph table past its end).
    emfRecord(r, 83, emfText(Bytes{0xF0, 0xF1}, 2, 0x10, 7));
    const Bytes in = emfFile(r);
    const std::vector<char> out = emfForConverter(in.data(), in.size(), {});
    ASSERT_FALSE(out.empty());
    const auto runs = textRuns(out);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].text, u"日本語A");
    // A double-byte character advances by both of its bytes.
    EXPECT_EQ(runs[0].advances, (std::vector<uint32_t>{20, 20, 20, 10}));
    EXPECT_EQ(runs[1].text, u"אב");
    // The header counts what the converter gets; a viewport extent of 1 × 1 follows it.
    const auto* d = reinterpret_cast<const unsigned char*>(out.data());
    EXPECT_EQ(get32(d + 48), out.size());
    EXPECT_EQ(get32(d + get32(d + 4)), 11u);

    EXPECT_NO_THROW(imaging::decodeEmf(in.data(), in.size()));

    for (size_t cut = 0; cut < in.size(); ++cut)
        emfForConverter(in.data(), cut, {});  // never reads past the cut
}

TEST(MetafileRepair, EmfRecordsThatDoNotReachAnEndRecordAreRefusedBeforeTheConverter)
{
    // The converter reads the next record's header wherever the last one
    // ends, even at or past the end of the data, and only then refuses.
    Bytes line;
    for (uint32_t v : {0u, 0u, 200u, 100u, 2u, 10u, 10u, 190u, 90u})
        put32(line, v);
    Bytes r;
    emfRecord(r, 4, line);  // a polyline
    const Bytes whole = emfFile(r);
    ASSERT_FALSE(emfForConverter(whole.data(), whole.size(), {}).empty());
    EXPECT_NO_THROW(imaging::decodeEmf(whole.data(), whole.size()));

    Bytes noEnd = emfHeader();
    noEnd.insert(noEnd.end(), r.begin(), r.end());
    Bytes shortTail = noEnd;
    shortTail.insert(shortTail.end(), {14, 0, 0, 0});  // half a record header
    Bytes overlong = noEnd;
    emfRecord(overlong, 14, Bytes(12, 0));
    overlong[overlong.size() - 16] = 0xFF;  // the end record claims more than is there
    for (const Bytes* in : {&noEnd, &shortTail, &overlong}) {
        EXPECT_TRUE(emfForConverter(in->data(), in->size(), {}).empty());
        EXPECT_THROW(imaging::decodeEmf(in->data(), in->size()), imaging::DecodeError);
    }
}

TEST(MetafileRepair, EmfRecordsShorterThanTheirFieldsAreLeftOut)
{
    // The converter reads a record's fields as far as its type says: a
    // stretch-blit record of 16 bytes had it read 80 bytes past the data.
    // (The check itself read a region's count from a record without one.)
    auto types = [](const std::vector<char>& emf) {
        std::vector<uint32_t> out;
        const auto* d = reinterpret_cast<const unsigned char*>(emf.data());
        for (size_t o = get32(d + 4); o + 8 <= emf.size() && get32(d + o + 4) >= 8; o += get32(d + o + 4))
            out.push_back(get32(d + o));
        return out;
    };
    Bytes line;
    for (uint32_t v : {0u, 0u, 200u, 100u, 2u, 10u, 10u, 190u, 90u})
        put32(line, v);
    Bytes r;
    emfRecord(r, 77, Bytes(8, 0));  // stretch-blit: needs 100 bytes
    emfRecord(r, 4, line);
    Bytes shortLine = line;
    shortLine[16] = 200;             // a polyline of 200 points in 9 words
    emfRecord(r, 4, shortLine);
    emfRecord(r, 74, Bytes(20, 0));  // paint region: bounds and no region data
    const Bytes in = emfFile(r);
    const std::vector<char> out = emfForConverter(in.data(), in.size(), {});
    // After the header: the viewport extent, the whole polyline, the end.
    EXPECT_EQ(types(out), (std::vector<uint32_t>{11, 4, 14}));
    EXPECT_NO_THROW(imaging::decodeEmf(in.data(), in.size()));
}

TEST(MetafileRepair, BrokenEmfPlusCommentsAreLeftOut)
{
    // An EMF+ comment: its records after the "EMF+" identifier.
    auto comment = [](const Bytes& records, uint32_t extraStated = 0) {
        Bytes c;
        put32(c, static_cast<uint32_t>(4 + records.size() + extraStated));
        put32(c, 0x2B464D45u);
        c.insert(c.end(), records.begin(), records.end());
        return c;
    };
    // An EMF+ object record (a brush, object 0) carrying `data`.
    auto object = [](const Bytes& data, uint16_t flags = 0x0100) {
        Bytes r;
        put16(r, 0x4008);
        put16(r, flags);
        put32(r, static_cast<uint32_t>(12 + data.size()));
        put32(r, static_cast<uint32_t>(data.size()));
        r.insert(r.end(), data.begin(), data.end());
        return r;
    };
    auto comments = [](const std::vector<char>& emf) {
        int n = 0;
        const auto* d = reinterpret_cast<const unsigned char*>(emf.data());
        for (size_t o = get32(d + 4); o + 8 <= emf.size() && get32(d + o + 4) >= 8; o += get32(d + o + 4))
            n += get32(d + o) == 70;
        return n;
    };
    Bytes brush;  // version, solid colour type, a colour
    for (uint32_t v : {0xDBC01002u, 0u, 0xFF0000FFu})
        put32(brush, v);
    Bytes good;
    emfRecord(good, 70, comment(object(brush)));
    const Bytes sound = emfFile(good);
    EXPECT_EQ(comments(emfForConverter(sound.data(), sound.size(), {})), 1);

    // Objects without data, plain and continued (only the total size): the
    // converter reallocated its object buffer to nothing, freeing it, and
    // freed it again at the next object.
    Bytes total;
    put32(total, 12);
    Bytes empty = object({}), emptyContinued = object(total, 0x8100);
    Bytes broken;
    emfRecord(broken, 70, comment(empty));
    emfRecord(broken, 70, comment(emptyContinued));
    emfRecord(broken, 70, comment(empty));
    emfRecord(broken, 70, comment(object(brush)));
    // A comment stating more records than it holds.
    emfRecord(broken, 70, comment(object(brush), 64));
    const Bytes in = emfFile(broken);
    const std::vector<char> out = emfForConverter(in.data(), in.size(), {});
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(comments(out), 1);
    try {
        for (int i = 0; i < 3; ++i)
            imaging::decodeEmf(in.data(), in.size());
    } catch (const imaging::DecodeError&) {
    }
}

TEST(MetafileRepair, GlyphIndexTextsBecomeCharactersOnlyInTheirOwnFace)
{
    ASSERT_TRUE(QFontDatabase::families().contains("IPAGothic")) << "fonts-ipafont-gothic is in the package list";
    QFont font("IPAGothic");
    font.setStyleStrategy(QFont::NoFontMerging);
    const QList<quint32> ids = QRawFont::fromFont(font).glyphIndexesForString("日本");
    ASSERT_EQ(ids.size(), 2);
    Bytes glyphs;
    for (quint32 id : ids)
        put16(glyphs, id);

    auto convert = [&](const char16_t* face) {
        Bytes r;
        emfRecord(r, 82, emfFont(1, 128, face));
        Bytes sel;
        put32(sel, 1);
        emfRecord(r, 37, sel);
        emfRecord(r, 84, emfText(glyphs, 2, 0x10, 40));
        const Bytes in = emfFile(r);
        return textRuns(emfForConverter(in.data(), in.size(), imaging::installedGlyphText));
    };
    const auto own = convert(u"IPAGothic");
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(own[0].text, u"日本");
    EXPECT_EQ(own[0].options & 0x10, 0u);
    // Another face's glyph order says nothing about these glyphs: the run is
    // left out instead of drawn as unrelated letters.
    EXPECT_TRUE(convert(u"No Such Face").empty());
}

TEST(MetafileRepair, SamplesTheLibrariesGotWrongNowDraw)
{
    REQUIRE_TESTDATA();
    const auto dir = testsupport::testDataDir() / "nonjpeg";
    // Region records: the library refused both files as a whole.
    for (const char* name : {"e2s_libuemf_test_libuemf_ref.wmf", "w2s_fulltest.wmf"}) {
        SCOPED_TRACE(name);
        const auto bytes = testsupport::readFile(dir / name);
        QImage img;
        ASSERT_NO_THROW(img = imaging::decodeWmf(bytes.data(), bytes.size()));
        EXPECT_GT(darkPixels(img), img.width() * img.height() / 100);
    }
    // Only a window extent set: the converter drew every line at one point.
    const auto ea = testsupport::readFile(dir / "e2s_EA-test-file-001.emf");
    const QImage img = imaging::decodeEmf(ea.data(), ea.size());
    EXPECT_GT(darkPixels(img), img.width() * img.height() / 50);
    // Glyph indices of a face not installed here: no Cyrillic stand-ins.
    const auto hebrew = testsupport::readFile(dir / "e2s_test-183.emf");
    const auto runs = textRuns(emfForConverter(hebrew.data(), hebrew.size(), imaging::installedGlyphText));
    for (const auto& run : runs)
        for (char16_t c : run.text)
            EXPECT_FALSE(c >= 0x400 && c < 0x500) << "glyph index drawn as a Cyrillic letter";
}

TEST(MetafileRepair, DrawingsOfTooManyElementsAreRefusedBeforeTheyAreParsed)
{
    // Each line-to record of 16 bytes becomes an element of its own, which
    // Qt's renderer holds and draws at great cost: a 1 MB file of them froze
    // the window for over a second and took half a gigabyte, 16 MB for 20 s
    // and 5 GB. Far more records than a drawing may have are refused before
    // the libraries convert them (seconds more).
    auto wmfLines = [](int n) {
        Bytes r;
        for (int i = 0; i < n; ++i)
            wmfRecord(r, 0x0213, {static_cast<uint16_t>(i * 91 % 100), static_cast<uint16_t>(i * 37 % 100)});
        return wmfFile(r, 0);
    };
    for (int n : {60'000, 300'000}) {
        const Bytes w = wmfLines(n);
        EXPECT_THROW(imaging::decodeWmf(w.data(), w.size()), imaging::DecodeError) << n;
    }
    const Bytes fewer = wmfLines(2'000);
    EXPECT_NO_THROW(imaging::decodeWmf(fewer.data(), fewer.size()));
    auto lines = [](int n) {
        Bytes r;
        for (int i = 0; i < n; ++i) {
            Bytes to;
            put32(to, static_cast<uint32_t>(i * 37 % 200));
            put32(to, static_cast<uint32_t>(i * 91 % 100));
            emfRecord(r, 54, to);
        }
        return emfFile(r);
    };
    for (int n : {60'000, 300'000}) {
        const Bytes many = lines(n);
        EXPECT_THROW(imaging::decodeEmf(many.data(), many.size()), imaging::DecodeError) << n;
    }
    const Bytes some = lines(2'000);
    QImage img;
    ASSERT_NO_THROW(img = imaging::decodeEmf(some.data(), some.size()));
    EXPECT_GT(darkPixels(img), img.width() * img.height() / 20);
}

TEST(MetafileRepair, BitmapsThatClaimMoreThanTheirRecordHoldsAreRefused)
{
    // The library skips a bitmap's header size byte by byte, allocates its
    // colour count before reading the colours and its pixels before it finds
    // the data short, and reads a header cut short as bytes of 0xFF: a
    // 766-byte file whose pattern brush ended before its bitmap asked for
    // 12 GB of colours and skipped 2^32 header bytes, over a second.
    struct Dib {
        uint32_t headerSize = 40, colours = 0;
        int32_t width = 8, height = 8;
        uint32_t compression = 0;
    };
    auto withBrush = [](const Dib& d) {
        Bytes brush;
        put16(brush, 5);  // a pattern from a DIB
        put16(brush, 0);  // its colours are RGB
        put32(brush, d.headerSize);
        put32(brush, static_cast<uint32_t>(d.width));
        put32(brush, static_cast<uint32_t>(d.height));
        put16(brush, 1);
        put16(brush, 24);
        put32(brush, d.compression);
        for (int i = 0; i < 3; ++i)
            put32(brush, 0);
        put32(brush, d.colours);
        put32(brush, 0);
        brush.resize(brush.size() + 8 * 24, 0);  // 8 black rows of 8 pixels
        Bytes r;
        put32(r, static_cast<uint32_t>(3 + brush.size() / 2));
        put16(r, 0x0142);
        r.insert(r.end(), brush.begin(), brush.end());
        wmfRecord(r, 0x012D, {0});
        wmfRecord(r, 0x041B, {90, 90, 10, 10});
        Bytes w = wmfFile(r, 1);
        const uint32_t largest = static_cast<uint32_t>(3 + brush.size() / 2);
        for (int i = 0; i < 4; ++i)
            w[22 + 12 + i] = static_cast<unsigned char>(largest >> (8 * i));
        return w;
    };
    const Bytes good = withBrush({});
    EXPECT_NO_THROW(imaging::decodeWmf(good.data(), good.size()));
    Dib colours;
    colours.colours = 0xFFFFFFFFu;
    Dib header;
    header.headerSize = 0x7FFFFFFF;
    Dib shortHeader;
    shortHeader.headerSize = 5;
    Dib pixels;
    pixels.width = pixels.height = 30000;
    Dib runs;
    runs.width = runs.height = 30000;
    runs.compression = 1;
    // The file the fuzzer found: a brush record that ends before its bitmap.
    Bytes r;
    wmfRecord(r, 0x0142, {1, 0});
    wmfRecord(r, 0x012D, {0});
    wmfRecord(r, 0x041B, {90, 90, 10, 10});
    const Bytes cut = wmfFile(r, 1);
    EXPECT_THROW(imaging::decodeWmf(cut.data(), cut.size()), imaging::DecodeError);
    // The same behind a record of function 0 longer than an end record,
    // which the library plays past (a 6 KB file froze for 3.8 s).
    Bytes pastEnd;
    wmfRecord(pastEnd, 0x0000, {0, 0});
    pastEnd.insert(pastEnd.end(), r.begin(), r.end());
    const Bytes hidden = wmfFile(pastEnd, 1);
    EXPECT_THROW(imaging::decodeWmf(hidden.data(), hidden.size()), imaging::DecodeError);
    for (const Dib& d : {colours, header, shortHeader, pixels, runs}) {
        const Bytes w = withBrush(d);
        EXPECT_THROW(imaging::decodeWmf(w.data(), w.size()), imaging::DecodeError)
            << d.headerSize << " " << d.colours << " " << d.width << " " << d.compression;
    }
}

TEST(MetafileRepair, PolyPolygonsThatClaimMorePointsThanTheirRecordHoldsAreRefused)
{
    // The library fills each polygon's claimed points whether the record
    // holds them or not, and checks the record against the counts' sum
    // taken in 16 bits: an 8 KB file claiming 4096 polygons of 16384 points,
    // a sum of 1 in 16 bits, froze the window for 21 s and took 570 MB; a
    // 131 KB one took 23 GB before the system killed the program.
    auto polyPolygon = [](const std::vector<uint16_t>& counts, size_t points) {
        Bytes r;
        const size_t words = 1 + counts.size() + 2 * points;
        put32(r, static_cast<uint32_t>(3 + words));
        put16(r, 0x0538);
        put16(r, static_cast<uint16_t>(counts.size()));
        for (uint16_t c : counts)
            put16(r, c);
        for (size_t i = 0; i < points; ++i) {
            put16(r, static_cast<uint16_t>(i % 3 == 1 ? 90 : 10));
            put16(r, static_cast<uint16_t>(i % 3 == 2 ? 90 : 10));
        }
        Bytes w = wmfFile(r, 0);
        const uint32_t largest = static_cast<uint32_t>(3 + words);
        for (int i = 0; i < 4; ++i)
            w[22 + 12 + i] = static_cast<unsigned char>(largest >> (8 * i));
        return w;
    };
    // Two triangles, every point held: drawn.
    const Bytes good = polyPolygon({3, 3}, 6);
    EXPECT_NO_THROW(imaging::decodeWmf(good.data(), good.size()));
    EXPECT_TRUE(imaging::wmfPolyPolygonsFit(good.data(), good.size()));
    // Counts whose 16-bit sum is the one point held; more polygons than the
    // record has counts for; one point short.
    for (const Bytes& bad : {polyPolygon({32768, 32769}, 1), polyPolygon({4000}, 0), polyPolygon({3, 3}, 5)}) {
        EXPECT_FALSE(imaging::wmfPolyPolygonsFit(bad.data(), bad.size()));
        EXPECT_THROW(imaging::decodeWmf(bad.data(), bad.size()), imaging::DecodeError);
    }
}
