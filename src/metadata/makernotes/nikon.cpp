// Nikon maker note of the form "Nikon\0\2…" that carries a TIFF header of
// its own: its byte order holds for the note, its offsets count from it.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "metadata/makernotes/makernote_common.h"
#include "metadata/makernotes/makernotes.h"
#include "metadata/number_format.h"

namespace metadata {
namespace {

using makernotes::CodeTable;
using makernotes::CodeText;
using makernotes::hexText;
using makernotes::kNikonHex;
using makernotes::lookupCode;

constexpr std::string_view kHeading = "--Nikonメーカノート（Type3）情報（参考）--";

enum Type : int16_t {
    kByte = 1,
    kAscii = 2,
    kShort = 3,
    kLong = 4,
    kRational = 5,
    kSByte = 6,
    kUndefined = 7,
    kSShort = 8,
    kSLong = 9,
    kSRational = 10,
};

struct Label {
    uint16_t tag;
    std::string_view label;
};

// UNDEFINED tags shown as their first bytes (tag 26 as its text).
constexpr Label kUndefinedTexts[] = {
    {1, " メーカーノートバージョン："},  {2, " ＩＳＯ："},
    {13, " プログラムシフト："},         {14, " 露出差："},
    {18, " フラッシュ露出補正："},       {23, " 外付ストロボ露出補正："},
    {24, " フラッシュ露出ブラケット値："}, {26, " 画像編集："},
    {28, " 露出チューニング："},         {36, " ワールドタイム："},
    {136, " ＡＦ情報："},                {139, " レンズF値："},
};

// UNDEFINED tags shown by their size and where they stand.
constexpr Label kUndefinedBlocks[] = {
    {31, " 手ぶれ防止：データ数UnDef"},
    {33, " 顔認証：データ数UnDef"},
    {35, " ピクチャーコントロール：データ数UnDef"},
    {37, " ＩＳＯ情報：データ数UnDef"},
    {43, " ゆがみ補正：データ数UnDef"},
    {53, " ハイダイナミックレンジ：データ数UnDef"},
    {78, " 設定情報：データ数UnDef"},
    {140, " コントラストカーブ：データ数UnDef"},
    {145, " 撮影情報：データ数UnDef"},
    {151, " カラーバランス：データ数UnDef"},
    {152, " レンズデータ：データ数UnDef"},
    {168, " ストロボ情報：データ数UnDef"},
    {176, " 多重露出：データ数UnDef"},
    {182, " 電源オン日時：データ数UnDef"},
    {183, " ＡＦ情報２：データ数UnDef"},
    {184, " ファイル情報：データ数UnDef"},
    {185, " ＡＦ調整：データ数UnDef"},
    {187, " レタッチ情報：データ数UnDef"},
    {189, " ピクチャーコントロール情報：データ数UnDef"},
    {3598, " ＩＦＤへのオフセット：データ数UnDef"},
};

constexpr Label kAsciiLabels[] = {
    {3, " カラーモード："},          {4, " 品質："},
    {5, " ホワイトバランス："},      {6, " シャープネス："},
    {7, " フォーカスモード："},      {8, " フラッシュ設定："},
    {9, " フラッシュタイプ："},      {15, " ＩＳＯ選択："},
    {26, " 画像編集："},             {29, " シリアル番号："},
    {128, " イメージ調整："},        {129, " トーン補正："},
    {130, " 補助レンズ："},          {141, " 色相："},
    {143, " シーンモード："},        {144, " 光源："},
    {149, " ノイズリダクション："},  {156, " シーン調整："},
    {160, " シリアル番号："},        {169, " イメージ最適化："},
    {170, " 彩度："},                {171, " デジタルバリプログラム："},
    {172, " 手ぶれ防止："},          {173, " オートフォーカスレスポンス："},
    {179, " トーン効果："},          {3593, " キャプチャーバージョン："},
};

constexpr CodeText kImageAuthentication[] = {{1, "なし"}, {2, "あり"}};
constexpr CodeText kLensTypeBits[] = {{0, "MF"}, {1, "D"}, {2, "G"}, {3, "VR"},
                                      {4, "1"},  {5, "FT-1"}, {6, "E"}, {7, "AF-P"}};
constexpr CodeText kFlash[] = {{0, "非発光"},          {1, "マニュアル発光"},   {3, "未準備"},
                               {7, "発光、外部"},      {8, "発光、コマンダー"}, {9, "発光、ＴＴＬ"},
                               {18, "ＬＥＤ光源"}};

constexpr CodeText kColourSpace[] = {{1, "ｓＲＧＢ"}, {2, "アドビＲＧＢ"}, {4, "ＢＴ．２１００"}};
constexpr CodeText kActiveDLighting[] = {
    {0, "しない"},      {1, "弱め"},        {3, "標準"},        {5, "強め"},        {7, "より強め"},
    {8, "より強め１"}, {9, "より強め２"}, {10, "より強め３"}, {11, "より強め４"}, {65535, "オート"}};
constexpr CodeText kVignette[] = {{0, "しない"}, {1, "弱め"}, {3, "標準"}, {5, "強め"}};
constexpr CodeText kShutterMode[] = {{0, "メカニカルシャッター"},
                                     {16, "電子シャッター"},
                                     {48, "電子先幕シャッター"},
                                     {64, "電子シャッター（動画）"},
                                     {80, "オート（メカニカルシャッター）"},
                                     {81, "オート（電子先幕シャッター）"},
                                     {96, "電子シャッター（ハイスピード）"}};
constexpr CodeText kRawSize[] = {{1, "大"}, {2, "中"}, {3, "小"}};
constexpr CodeText kJpegCompression[] = {{1, "ファイルサイズ優先"}, {3, "画質優先"}};
constexpr CodeText kShootingModeBits[] = {
    {0, "連続撮影"},         {1, "露出ディレー"}, {2, "ＰＣ制御"},         {3, "セルフタイマー"},
    {4, "露出ブラケティング"}, {5, "オートＩＳＯ"}, {6, "ＷＢブラケティング"}, {7, "赤外制御"},
    {8, "ＡＤＬブラケティング"}, {11, "赤外制御"}};
constexpr CodeText kDateImprint[] = {{0, "なし"}, {1, "日時"}, {2, "日付のみ"}, {3, "日付カウンター"}};
constexpr CodeText kHighIsoNoise[] = {{0, "しない"},   {1, "極弱め"}, {2, "弱め"},   {3, "やや弱め"},
                                      {4, "標準"},     {5, "やや強め"}, {6, "強め"}};
constexpr CodeText kSilent[] = {{0, "しない"}, {1, "する"}};
constexpr CodeText kRetouch[] = {
    {3, "白黒"},           {4, "セピア"},         {5, "トリミング"},       {6, "縮小画像"},
    {7, "Ｄ-ライティング"}, {8, "赤目補正"},      {9, "クール"},           {10, "スカイライト"},
    {11, "ウォームトーン"}, {12, "カラーバランス"}, {13, "画像合成"},      {14, "赤強調"},
    {15, "緑強調"},        {16, "青強調"},        {17, "クロススクリーン"}, {18, "簡単レタッチ"},
    {19, "ＲＡＷ現像"},    {23, "ゆがみ補正"},    {25, "魚眼効果"},         {26, "傾き補正"},
    {29, "アオリ効果"},    {30, "塗り絵"},        {31, "ソフト"},           {32, "リサイズ"},
    {33, "ミニチュア効果"}, {34, "美肌効果"},     {35, "選択フレーム"},     {37, "カラースケッチ"},
    {38, "セレクトカラー"}, {39, "グラマー"},     {40, "絵画"},             {44, "ポップ"},
    {45, "トイカメラ効果１"}, {46, "トイカメラ効果２"}, {47, "クロス現像効果赤"}, {48, "クロス現像効果青"},
    {49, "クロス現像効果緑"}, {50, "クロス現像効果黄"}, {51, "スーパーヴィヴィッド"},
    {52, "高コントラストモノクロ"}, {53, "ハイキー"}, {54, "ローキー"}};

struct CodeTag {
    uint16_t tag;
    std::string_view label;
    CodeTable codes;
};

constexpr CodeTag kShortCodes[] = {
    {30, " 色空間：", kColourSpace},
    {34, " アクティブＤ-ライティング：", kActiveDLighting},
    {42, " ヴィネットコントロール：", kVignette},
    {52, " シャッターモード：", kShutterMode},
    {62, " ＲＡＷ画像サイズ：", kRawSize},
    {68, " Ｊｐｅｇ画像の圧縮方式：", kJpegCompression},
    {157, " 日時の焼込み：", kDateImprint},
    {177, " 高感度ノイズ低減：", kHighIsoNoise},
    {191, " サイレント撮影：", kSilent},
};

// SHORT tags written as their values: how many elements at most, whether
// signed, and whether the second value is read whatever the count ("／").
enum class ShortForm { List, SignedList, Pair };

struct ShortValues {
    uint16_t tag;
    std::string_view label;
    ShortForm form;
    uint32_t limit;
};

constexpr ShortValues kShortValues[] = {
    {2, " ＩＳＯ：", ShortForm::Pair, 2},
    {11, " ホワイトバランス調整：", ShortForm::SignedList, 4},
    {19, " ＩＳＯセット：", ShortForm::Pair, 2},
    {22, " イメージ境界：", ShortForm::List, 4},
    {27, " クロッピング：", ShortForm::List, 7},
    {61, " 黒レベル：", ShortForm::List, 4},
    {79, " オート色温度：", ShortForm::List, 1},
    {138, " オートブラケティング撮影：", ShortForm::List, 1},
    {146, " 色相調整：", ShortForm::SignedList, 1},
    {148, " 彩度調整：", ShortForm::SignedList, 1},
    {153, " ＲＡＷ画像の中心：", ShortForm::Pair, 2},
};

constexpr Label kLongLabels[] = {
    {55, " メカニカルシャッターの回数："}, {162, " 画像データサイズ："}, {165, " 画像数："},
    {166, " 削除画像数："},               {167, " シャッター回数："},   {3600, " E10タグ（不明）："},
};

template <typename Row>
const Row* findTag(std::span<const Row> rows, uint16_t tag)
{
    for (const auto& row : rows)
        if (row.tag == tag)
            return &row;
    return nullptr;
}

int elementSize(int16_t type)
{
    static constexpr int sizes[12] = {8, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4};
    return type >= 0 && type < 12 ? sizes[type] : 8;
}

constexpr std::string_view kQuotient = "####0.##";
constexpr std::string_view kSignedQuotient = R"(####0.##;"-"####0.##)";

class NikonDecoder {
public:
    NikonDecoder(MakerNoteContext& ctx) : ctx_(ctx), reader_(ctx.stream, ctx.littleEndian) {}

    void run(int64_t tiffBase, int64_t noteLength);

private:
    struct Entry {
        uint16_t tag;
        int16_t type;
        uint32_t count;
        int64_t valuePosition;
    };

    std::string line(const Entry& e);
    std::string undefinedLine(const Entry& e);
    std::string asciiLine(const Entry& e);
    std::string byteLine(const Entry& e);
    std::string shortLine(const Entry& e);
    std::string longLine(const Entry& e);
    std::string rationalLine(const Entry& e);
    std::string sRationalLine(const Entry& e);

    std::string unlisted(const Entry& e, std::string_view typeWord) const
    {
        return " 不明（タグhx" + hexText(e.tag, 4) + "データ数" + std::string(typeWord) + std::to_string(e.count) +
               "）";
    }
    static std::string address(int64_t position) { return "アドレスhx" + hexText(uint64_t(position), 6); }
    // One rational element; false when its denominator is 0.
    bool quotient(bool isSigned, double& q);

    MakerNoteContext& ctx_;
    makernotes::FieldReader reader_;
    int64_t innerTiffBase_ = 0;
};

void NikonDecoder::run(int64_t tiffBase, int64_t noteLength)
{
    ByteStream& s = ctx_.stream;
    const int64_t noteOffset = s.position() - tiffBase;
    uint8_t header[10] = {};
    s.read(header, 10);
    if (std::memcmp(header, "Nikon", 5) != 0 || header[6] != 2)
        return;
    innerTiffBase_ = s.position();
    uint8_t order[2] = {};
    s.read(order, 2);
    const bool noteLittleEndian = !(order[0] == 'M' && order[1] == 'M');
    ctx_.littleEndian = noteLittleEndian;
    reader_.setLittleEndian(noteLittleEndian);
    if (65535 - noteOffset < noteLength)
        noteLength = 65535 - noteOffset;
    s.skip(2);
    const uint32_t ifdOffset = reader_.u32();
    // An IFD inside its own header or past the maker note has nothing to
    // walk; the heading still tells that the note was recognised.
    if (ifdOffset < 8 || 10 + int64_t(ifdOffset) + 2 > noteLength) {
        if (noteLength >= 0)
            ctx_.addLine(std::string(kHeading));
        return;
    }
    s.seek(innerTiffBase_ + ifdOffset);
    const uint16_t entries = reader_.u16();
    if (noteLength / 12 < entries)
        return;
    ctx_.addLine(std::string(kHeading));
    for (uint32_t i = 1; i <= entries; ++i) {
        if (!ctx_.takeValues(1) || ctx_.spent())
            return;
        Entry e;
        e.tag = reader_.u16();
        e.type = static_cast<int16_t>(reader_.u16());
        e.count = reader_.u32();
        if (i == 1 && e.tag > 32)
            return;
        const int64_t next = s.position() + 4;
        const int64_t byteSize = makernotes::valueSize(e.count, elementSize(e.type));
        if (byteSize > 0) {
            bool inside = true;
            if (byteSize > 4) {
                const uint32_t offset = reader_.u32();
                inside = 10 + int64_t(offset) + byteSize <= noteLength;
                if (inside)
                    s.seek(innerTiffBase_ + offset);
            }
            if (inside) {
                e.valuePosition = s.position();
                std::string text = line(e);
                if (!text.empty())
                    ctx_.addLine(std::move(text));
            }
        }
        s.seek(next);
    }
}

std::string NikonDecoder::line(const Entry& e)
{
    switch (e.type) {
    case kUndefined:
        return undefinedLine(e);
    case kAscii:
        return asciiLine(e);
    case kByte:
    case kSByte:
        return byteLine(e);
    case kShort:
    case kSShort:
        return shortLine(e);
    case kLong:
        return longLine(e);
    case kRational:
        return rationalLine(e);
    case kSLong:
        return unlisted(e, "SLong") + "：" + std::to_string(static_cast<int32_t>(reader_.u32()));
    case kSRational:
        return sRationalLine(e);
    default:
        return {};
    }
}

std::string NikonDecoder::undefinedLine(const Entry& e)
{
    std::string text;
    if (e.tag == 26) {
        text = makernotes::cp932Text(reader_.rawText(int64_t(e.count) - 1));
    } else {
        // Short binary fields: small numbers become digits.
        std::string bytes;
        for (uint32_t j = 0; j < std::min<uint32_t>(e.count, 4); ++j) {
            uint8_t b = reader_.u8();
            if (b < 32)
                b = static_cast<uint8_t>(b + 48);
            bytes += static_cast<char>(b);
        }
        text = makernotes::latin1Text(bytes);
    }
    if (const auto* row = findTag<Label>(kUndefinedTexts, e.tag))
        return std::string(row->label) + text;
    if (const auto* row = findTag<Label>(kUndefinedBlocks, e.tag))
        return std::string(row->label) + std::to_string(e.count) + address(e.valuePosition);
    return {};
}

std::string NikonDecoder::asciiLine(const Entry& e)
{
    const std::string text = makernotes::cp932Text(reader_.rawText(int64_t(e.count) - 1));
    if (const auto* row = findTag<Label>(kAsciiLabels, e.tag))
        return std::string(row->label) + text;
    return unlisted(e, "Ascii") + text;
}

std::string NikonDecoder::byteLine(const Entry& e)
{
    const bool isSigned = e.type == kSByte;
    auto value = [&](uint8_t b) { return std::to_string(isSigned ? int(int8_t(b)) : int(b)); };
    const uint8_t first = reader_.u8();
    switch (e.tag) {
    case 32:
        if (const auto* text = makernotes::findCode(kImageAuthentication, first))
            return " 画像認証：" + std::string(*text);
        return " 画像認証：" + std::to_string(first);
    case 131: {
        const std::string bits = makernotes::joinBits(kLensTypeBits, first);
        return " レンズ型式：" + (bits.empty() ? std::string("0") : bits);
    }
    case 135:
        if (const auto* text = makernotes::findCode(kFlash, first))
            return " ストロボ：" + std::string(*text);
        return " ストロボ：" + std::to_string(first);
    case 163:
        return " A3タグ（不明）：" + std::to_string(first);
    default:
        break;
    }
    std::string out = unlisted(e, isSigned ? "SByte" : "Byte") + "：" + value(first);
    for (uint32_t j = 2; j <= std::min<uint32_t>(e.count, 4); ++j)
        out += "｜" + value(reader_.u8());
    if (e.count > 4)
        out += address(e.valuePosition);
    return out;
}

std::string NikonDecoder::shortLine(const Entry& e)
{
    const uint16_t first = reader_.u16();
    if (const auto* row = findTag<CodeTag>(kShortCodes, e.tag))
        return std::string(row->label) + lookupCode(row->codes, first, kNikonHex);
    if (const auto* row = findTag<ShortValues>(kShortValues, e.tag)) {
        auto text = [&](uint16_t v) {
            return row->form == ShortForm::SignedList ? std::to_string(int16_t(v)) : std::to_string(v);
        };
        std::string out = std::string(row->label) + text(first);
        if (row->form == ShortForm::Pair) {
            out += "／" + std::to_string(reader_.u16());
        } else {
            for (uint32_t j = 2; j <= std::min(e.count, row->limit); ++j)
                out += "｜" + text(reader_.u16());
        }
        return out;
    }
    switch (e.tag) {
    case 137: {
        const std::string bits = makernotes::joinBits(kShootingModeBits, first);
        return " 撮像モード：" + (bits.empty() ? std::string("0") : bits);
    }
    case 158: {
        std::string out = " 画像編集履歴：";
        uint16_t v = first;
        for (uint32_t j = 1; j <= std::min<uint32_t>(e.count, 10); ++j) {
            if (j > 1) {
                v = reader_.u16();
                out += "｜";
            }
            if (v == 0) {
                out += "なし";
                break;
            }
            out += lookupCode(kRetouch, v, kNikonHex);
        }
        return out;
    }
    default:
        break;
    }
    const bool isSigned = e.type == kSShort;
    auto value = [&](uint16_t v) { return std::to_string(isSigned ? int(int16_t(v)) : int(v)); };
    std::string out = unlisted(e, isSigned ? "SShort" : "Short") + "：" + value(first);
    for (uint32_t j = 2; j <= std::min<uint32_t>(e.count, 4); ++j)
        out += "｜" + value(reader_.u16());
    if (e.count > 4)
        out += address(e.valuePosition);
    return out;
}

std::string NikonDecoder::longLine(const Entry& e)
{
    const uint32_t u = reader_.u32();
    if (e.tag == 17)
        return " プレビューIFD：hx" + hexText(uint64_t(innerTiffBase_) + u, 8);
    if (const auto* row = findTag<Label>(kLongLabels, e.tag))
        return std::string(row->label) + std::to_string(u);
    return unlisted(e, "Long") + "：" + std::to_string(u);
}

bool NikonDecoder::quotient(bool isSigned, double& q)
{
    const uint32_t num = reader_.u32();
    const uint32_t den = reader_.u32();
    if (den == 0)
        return false;
    // Held as a single-precision number before it is written.
    if (isSigned)
        q = static_cast<float>(double(int32_t(num)) / double(int32_t(den)));
    else
        q = static_cast<float>(double(num) / double(den));
    return true;
}

std::string NikonDecoder::rationalLine(const Entry& e)
{
    double q = 0;
    if (!quotient(false, q))
        return {};
    const std::string first = formatNumber(q, kQuotient);
    const uint32_t further = std::min<uint32_t>(e.count, 4);
    // Appends elements 2..limit by their patterns until a zero denominator.
    auto append = [&](std::string out, uint32_t limit, auto patternOf) {
        for (uint32_t j = 2; j <= limit; ++j) {
            double v = 0;
            if (!quotient(false, v))
                break;
            out += formatNumber(v, patternOf(j));
        }
        return out;
    };
    switch (e.tag) {
    case 12:
        return append(" ホワイトバランスレベル：" + first, further, [](uint32_t) { return R"("｜"####0.##)"; });
    case 132:
        return append(" レンズ：" + first + "mm", further, [](uint32_t j) {
            return j == 2 ? R"("～"####0.##"mm")" : j == 3 ? R"("、Ｆ"####0.##)" : R"("～Ｆ"####0.##)";
        });
    case 133:
        return " マニュアルフォーカス距離：" + first;
    case 134:
        return " デジタルズーム：" + first;
    case 154:
        return append(" センサーサイズ（ピクセル）：" + first, 2, [](uint32_t) { return R"("×"####0.##)"; });
    default:
        return append(unlisted(e, "Rationnal") + "：" + first, further,
                      [](uint32_t) { return R"("｜"####0.##)"; });
    }
}

std::string NikonDecoder::sRationalLine(const Entry& e)
{
    double q = 0;
    if (!quotient(true, q))
        return {};
    const std::string first = formatNumber(q, kSignedQuotient);
    switch (e.tag) {
    case 25:
        return " ＡＥブラケティング値：" + first + "(APEX)";
    case 63: {
        std::string out = " ホワイトバランス微調整値：AB" + first;
        double v = 0;
        if (quotient(true, v))
            out += formatNumber(v, R"("GM"####0.##;"GM-"####0.##)");
        return out;
    }
    default: {
        std::string out = unlisted(e, "Srationnal") + "：" + first;
        for (uint32_t j = 2; j <= std::min<uint32_t>(e.count, 4); ++j) {
            double v = 0;
            if (!quotient(true, v))
                break;
            out += formatNumber(v, R"("｜"####0.##;"｜-"####0.##)");
        }
        return out;
    }
    }
}

// Puts the caller's byte order back however the decoding ends.
class ByteOrderGuard {
public:
    explicit ByteOrderGuard(bool& flag) : flag_(flag), saved_(flag) {}
    ~ByteOrderGuard() { flag_ = saved_; }
    ByteOrderGuard(const ByteOrderGuard&) = delete;
    ByteOrderGuard& operator=(const ByteOrderGuard&) = delete;

private:
    bool& flag_;
    bool saved_;
};

}  // namespace

void NikonNoteRead(MakerNoteContext& ctx, int64_t tiffBase, int64_t count)
{
    ByteOrderGuard guard(ctx.littleEndian);
    NikonDecoder(ctx).run(tiffBase, count);
}

}  // namespace metadata
