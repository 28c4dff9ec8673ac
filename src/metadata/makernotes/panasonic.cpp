// Panasonic maker note: a 12-byte "Panasonic" header, then an IFD in the
// Exif block's byte order whose values count from its TIFF header.
#include <algorithm>
#include <charconv>
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
using makernotes::kAmpHex;
using makernotes::lookupCode;

constexpr std::string_view kHeading = "-Panasonicメーカノート情報（参考）-";

constexpr CodeText kQuality[] = {{2, "高画質"}, {3, "ノーマル"}, {6, "超高画質"}, {7, "Ｒａｗ"}, {9, "動画"}};
constexpr CodeText kWhiteBalance[] = {{1, "オート"},      {2, "晴天"},       {3, "曇り"},
                                      {4, "白熱灯"},      {5, "マニュアル"}, {8, "フラッシュ"},
                                      {10, "白黒"},       {11, "マニュアル"}, {12, "日陰"}};
constexpr CodeText kFocusMode[] = {{0, "One-shot AF"}, {1, "オート"}, {2, "マニュアル"}, {5, "連続ＡＦ"}};
constexpr CodeText kStabiliser[] = {{2, "モード1常時補正"}, {3, "オフ"}, {4, "モード2撮影時補正"}};
constexpr CodeText kMacroMode[] = {{1, "マクロオン"}, {2, "オフ"}, {257, "テレマクロ"}, {513, "ズームマクロ"}};
constexpr CodeText kShootingMode[] = {
    {1, "通常撮影"},         {2, "ポートレート"},     {3, "風景"},
    {4, "スポーツ"},         {5, "夜景ポートレート"}, {6, "プログラム"},
    {7, "絞り優先"},         {8, "シャッター速度優先"}, {9, "マクロ"},
    {10, "スポット"},        {11, "マニュアル"},      {12, "動画撮影"},
    {13, "流し採り"},        {14, "シンプル"},        {15, "カラーエフェクト"},
    {16, "自分撮り"},        {17, "エコモード"},      {18, "花火"},
    {19, "パーティー"},      {20, "雪"},              {21, "夜景"},
    {22, "料理"},            {23, "赤ちゃん"},        {24, "美肌"},
    {25, "キャンドル"},      {26, "星空"},            {27, "高感度"},
    {28, "パノラマアシスト"}, {29, "水中"},           {30, "ビーチ"},
    {31, "空撮"},            {32, "夕焼け"},          {33, "ペット"},
    {34, "インテリジェントISO"}, {35, "メモ"},        {36, "高速連写"},
    {37, "インテリジェントオート"}, {39, "マルチアスペクト"}, {41, "変身"},
    {42, "フラッシュ連写"},  {43, "ピンホール"},      {44, "サンドブラスト"},
    {45, "マイカラー"},      {46, "フォトフレーム"},  {51, "ハイダイナミック"},
    {56, "ハイスピード動画"}, {57, "３Ｄ"},           {62, "パノラマ"},
    {63, "ガラス越し"}};
constexpr CodeText kAudio[] = {{1, "はい"}, {2, "いいえ"}};
constexpr CodeText kEasyMode[] = {{0, "オフ"}, {1, "オン"}, {4, "オン"}};
constexpr CodeText kColourEffect[] = {{1, "なし"},   {2, "暖色"},   {3, "寒色"},
                                      {4, "白黒"},   {5, "セピア"}, {6, "ハッピー"}};
constexpr CodeText kDriveMode[] = {{0, "１コマ撮影"}, {1, "連写"}, {2, "オートブラケット"}, {5, "マルチアスペクト"}};
constexpr CodeText kNoiseReduction[] = {{0, "なし"}, {1, "－１"}, {2, "＋１"}, {3, "－２"}, {4, "＋２"}};
constexpr CodeText kSelfTimer[] = {{1, "なし"}, {2, "１０秒"}, {3, "２秒"}};
constexpr CodeText kRotation[] = {{1, "通常"}, {3, "１８０°回転"}, {6, "左９０°回転"}, {8, "右９０°回転"}};
constexpr CodeText kAfAssistLamp[] = {
    {1, "発光"}, {2, "ＯＮ・非発光"}, {3, "ＯＦＦ・必要"}, {4, "ＯＦＦ・不要"}};
constexpr CodeText kColourMode[] = {{0, "標準"}, {1, "ナチュラル"}, {2, "いきいき"}};
constexpr CodeText kOpticalZoom[] = {{1, "標準"}, {2, "拡張ズーム"}};
constexpr CodeText kConversionLens[] = {{1, "なし"}, {2, "広角"}, {3, "望遠"}, {4, "マクロ"}};
constexpr CodeText kWorldTime[] = {{1, "ホーム"}, {2, "旅行先"}};
constexpr CodeText kMyColourMode[] = {
    {1, "通常"},   {2, "戸外"},   {3, "室内"},         {4, "クリエイティブ"},     {5, "オート"},     {7, "ポップ"},
    {8, "レトロ"}, {9, "ピュア"}, {10, "シック"},      {12, "モノクローム"},     {13, "ダイナミックアート"},
    {14, "シルエット"}};
constexpr CodeText kFilmMode[] = {{1, "カラースタンダード"},   {2, "カラーダイナミック"},
                                  {3, "カラーネイチャー"},     {4, "カラースムーズ"},
                                  {5, "モノクロスタンダード"}, {6, "モノクロダイナミック"},
                                  {7, "モノクロスムーズ"}};

struct CodeTag {
    uint16_t tag;
    std::string_view label;
    CodeTable codes;
};

constexpr CodeTag kCodeTags[] = {
    {1, " 画質：", kQuality},
    {3, " ホワイトバランス：", kWhiteBalance},
    {7, " フォーカスモード：", kFocusMode},
    {26, " 手ブレ補正：", kStabiliser},
    {28, " マクロモード：", kMacroMode},
    {31, " 撮影/シーンモード：", kShootingMode},
    {32, " オーディオ：", kAudio},
    {34, " かんたんモード：", kEasyMode},
    {40, " カラーエフェクト：", kColourEffect},
    {42, " ドライブモード：", kDriveMode},
    {45, " ノイズ低減：", kNoiseReduction},
    {46, " セルフタイマー：", kSelfTimer},
    {48, " 縦位置検出：", kRotation},
    {49, " ＡＦ補助光：", kAfAssistLamp},
    {50, " カラーモード：", kColourMode},
    {52, " 光学ズーム：", kOpticalZoom},
    {53, " 補助レンズ：", kConversionLens},
    {58, " ワールドタイム設定：", kWorldTime},
    {61, " マイカラーモード：", kMyColourMode},
    {66, " フィルムモード：", kFilmMode},
};

struct DecimalTag {
    uint16_t tag;
    std::string_view label;
};

constexpr DecimalTag kDecimalTags[] = {
    {63, " 顔認識数："},
    {32772, " ホワイトバランスレベル赤："},
    {32773, " ホワイトバランスレベル緑："},
    {32774, " ホワイトバランスレベル青："},
};

// Signed settings: the first label for values below 1, the second (ending
// in a plus sign) for 1 and above.
struct SignedTag {
    uint16_t tag;
    std::string_view label;
    std::string_view plusLabel;
};

constexpr SignedTag kSignedTags[] = {
    {57, " コントラスト：", " コントラスト：+"},
    {64, " 彩度調整：", " 彩度調整：+"},
    {65, " シャープネス：", " シャープネス：+"},
    {70, " ﾎﾜｲﾄﾊﾞﾗﾝｽ補正+ｱｵ/-ｱﾝﾊﾞｰ：", " ﾎﾜｲﾄﾊﾞﾗﾝｽ補正+ｱｵ/-ｱﾝﾊﾞｰ：+"},
    {71, " ﾎﾜｲﾄﾊﾞﾗﾝｽ補正+緑/-ﾏｾﾞﾝﾀ：", " ﾎﾜｲﾄﾊﾞﾗﾝｽ補正+緑/-ﾏｾﾞﾝﾀ：+"},
};

// How a text entry's bytes are read and decoded.
enum class TextKind {
    Ascii,       // count - 1 bytes, code page 932
    Counted,     // count bytes, code page 932
    PlaceName,   // count bytes, UTF-8 when the maker note says so
};

struct TextTag {
    uint16_t tag;
    TextKind kind;
    std::string_view label;
};

constexpr TextTag kTextTags[] = {
    {37, TextKind::Counted, " 記号(3桁)製造日(6桁)番号："},
    {38, TextKind::Counted, " バージョン："},
    {51, TextKind::Ascii, " 赤ちゃん/ペット年齢："},
    {81, TextKind::Ascii, " レンズタイプ："},
    {82, TextKind::Ascii, " レンズ製造番号："},
    {83, TextKind::Ascii, " アクセサリー型："},
    {105, TextKind::PlaceName, " 国名："},
    {107, TextKind::PlaceName, " 県・州名："},
    {109, TextKind::PlaceName, " 市区町村名："},
    {111, TextKind::PlaceName, " 場所："},
    {128, TextKind::PlaceName, " 地区名："},
    {129, TextKind::PlaceName, " 国名："},
    {130, TextKind::PlaceName, " 県・州名："},
    {131, TextKind::PlaceName, " 市区町村名："},
    {132, TextKind::PlaceName, " 地区名："},
    {133, TextKind::PlaceName, " 場所："},
    {32768, TextKind::Counted, " メーカノートバージョン："},
    {32784, TextKind::Ascii, " 赤ちゃん/ペット年齢："},
};

constexpr std::string_view kNoDate = "9999:99:99 00:00:00";

int elementSize(int8_t type)
{
    static constexpr int sizes[12] = {8, 1, 1, 2, 4, 4, 1, 1, 2, 4, 4, 4};
    return type >= 0 && type < 12 ? sizes[type] : 8;
}

// A whole decimal number (an optional sign and digits), as the maker-note
// version is written.
bool parseDecimal(std::string_view text, long long& out)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, out);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

class PanasonicDecoder {
public:
    PanasonicDecoder(MakerNoteContext& ctx, int64_t tiffBase)
        : ctx_(ctx), reader_(ctx.stream, ctx.littleEndian), tiffBase_(tiffBase)
    {
    }

    void run(int64_t noteLength);

private:
    void textEntry(uint16_t tag, uint32_t count);
    void faceRecords(int64_t byteSize);
    std::string numeric(uint16_t tag);

    MakerNoteContext& ctx_;
    makernotes::FieldReader reader_;
    int64_t tiffBase_;
    uint16_t value16_ = 0;
    uint32_t value32_ = 0;
    bool placeNamesUtf8_ = false;
};

void PanasonicDecoder::run(int64_t noteLength)
{
    ByteStream& s = ctx_.stream;
    char header[12] = {};
    s.read(header, 12);
    if (std::strncmp(header, "Panasonic", 9) != 0)
        return;
    const int64_t noteOffset = s.position() - tiffBase_;
    if (65535 - noteOffset < noteLength)
        noteLength = 65535 - noteOffset;
    const uint16_t entries = reader_.u16Stored();
    if (noteLength / 12 < entries)
        return;
    ctx_.addLine(std::string(kHeading));
    for (uint32_t i = 1; i <= entries; ++i) {
        if (!ctx_.takeValues(1) || ctx_.spent())
            return;
        const uint16_t tag = reader_.u16();
        const auto type = static_cast<int8_t>(reader_.u16() & 0xFF);
        const uint32_t count = reader_.u32();
        if (i == 1 && tag > 32)
            return;
        const int64_t next = s.position() + 4;
        const int size = elementSize(type);
        const int64_t byteSize = makernotes::valueSize(count, size);
        if (byteSize > 0) {
            if (reader_.seekToValue(byteSize, tiffBase_, noteOffset + noteLength)) {
                if (type == 2 || type == 7) {
                    if (tag == 97)
                        faceRecords(byteSize);
                    else
                        textEntry(tag, count);
                } else {
                    value16_ = 0;
                    if (size == 4)
                        value32_ = reader_.u32();
                    else
                        value16_ = reader_.element16(size);
                    std::string line = numeric(tag);
                    if (!line.empty())
                        ctx_.addLine(std::move(line));
                }
            }
        }
        s.seek(next);
    }
}

void PanasonicDecoder::textEntry(uint16_t tag, uint32_t count)
{
    std::string text;
    if (tag == 2) {
        // Four elements, written as digit characters or as plain numbers.
        for (int j = 0; j < 4; ++j) {
            unsigned v = reader_.u8();
            if (v >= 48)
                v -= 48;
            text += '.';
            text += std::to_string(v);
        }
        // Appended, not "literal" + text: GCC 12 warns about that operator+
        // at -O3 (-Wrestrict), though it is correct.
        ctx_.addLine(std::string(" ファームウェア版数：").append(text));
        return;
    }
    const TextTag* found = nullptr;
    for (const auto& t : kTextTags)
        if (t.tag == tag)
            found = &t;
    if (!found)
        return;
    const int64_t length = found->kind == TextKind::Ascii ? int64_t(count) - 1 : int64_t(count);
    const std::string raw = reader_.rawText(length);
    if (found->kind == TextKind::PlaceName && placeNamesUtf8_)
        text = makernotes::utf8Text(raw);
    else
        text = makernotes::cp932Text(raw);
    if (tag == 38) {
        long long version = 0;
        if (parseDecimal(text, version) && version > 300)
            placeNamesUtf8_ = true;
    }
    if (text.empty() || text == "---" || text == kNoDate)
        return;
    ctx_.addLine(std::string(found->label) + text);
}

void PanasonicDecoder::faceRecords(int64_t byteSize)
{
    // A face count, then 48 bytes per face: name, position, size, age.
    constexpr int64_t kRecord = 48;
    const auto faces = static_cast<int32_t>(reader_.u32Stored());
    // Only the faces whose record lies inside the value are read, so a
    // damaged count cannot run on for billions of lines.
    const int64_t room = (byteSize - 4) / kRecord;
    const int64_t last = std::min<int64_t>(faces, room);
    ByteStream& s = ctx_.stream;
    for (int64_t k = 1; k <= last; ++k) {
        if (!ctx_.takeValues(1) || ctx_.spent())
            return;
        const std::string n = std::to_string(k);
        uint8_t name[20] = {};
        s.read(name, 20);
        const bool marked = name[1] == 0xEF && name[2] == 0xBB;
        const char* from = reinterpret_cast<const char*>(marked ? name + 3 : name);
        const size_t width = marked ? 17 : 20;
        const std::string nameText = makernotes::utf8Text(std::string_view(from, strnlen(from, width)));
        if (!nameText.empty())
            ctx_.addLine(" 顔認識" + n + "名前：" + nameText);
        const uint16_t x = reader_.u16Stored();
        const uint16_t y = reader_.u16Stored();
        ctx_.addLine(" 顔認識" + n + "位置X,Y：" + std::to_string(x) + "," + std::to_string(y));
        const uint16_t w = reader_.u16Stored();
        const uint16_t h = reader_.u16Stored();
        ctx_.addLine(" 顔認識" + n + "ｻｲｽﾞ幅,高pixs：" + std::to_string(w) + "," + std::to_string(h));
        char age[20] = {};
        s.read(age, 20);
        const std::string ageText = makernotes::cp932Text(std::string_view(age, strnlen(age, 19)));
        if (!ageText.empty() && ageText != "0000:00:00 00:00:00" && ageText != kNoDate)
            ctx_.addLine(" 顔認識" + n + "年齢：" + ageText);
    }
}

std::string PanasonicDecoder::numeric(uint16_t tag)
{
    const uint16_t v = value16_;
    const int s = static_cast<int16_t>(v);
    for (const auto& row : kCodeTags)
        if (row.tag == tag)
            return std::string(row.label) + lookupCode(row.codes, v, kAmpHex);
    for (const auto& row : kDecimalTags)
        if (row.tag == tag)
            return std::string(row.label) + std::to_string(v);
    for (const auto& row : kSignedTags)
        if (row.tag == tag)
            return std::string(s < 1 ? row.label : row.plusLabel) + std::to_string(s);
    switch (tag) {
    case 15: {
        const unsigned b = reader_.u8();
        std::string mode;
        if (v == 1)
            mode = b == 1 ? "５点" : "スポット";
        else if (v == 11)
            mode = "１１点";
        else if (v == 16)
            mode = b == 16 ? "１点高速" : "１点";
        else if (v == 32)
            mode = "追跡";
        else if (v == 64)
            mode = "顔認識";
        else
            mode = "&H" + makernotes::hexText(uint32_t(v) * 256 + b, 4);
        return " ＡＦモード：" + mode;
    }
    case 35:
        return formatNumber(s / 3.0, R"(" ホワイトバランスバイアス：+"###0.##;" ホワイトバランスバイアス：-"###0.##)");
    case 36:
        return formatNumber(s / 3.0, R"(" フラッシュバイアス：+"###0.##;" フラッシュバイアス：-"###0.##)");
    case 41: {
        const uint32_t minutes = value32_ / 6000;
        std::string line = " 電源オン時間：";
        if (minutes > 0)
            line += std::to_string(minutes) + "分";
        return line + formatNumber((value32_ - minutes * 6000) / 100.0, R"(###0.##"秒")");
    }
    case 43:
        return value32_ != 0 ? " 連写等番号：" + std::to_string(value32_) : std::string(" 連写等番号：なし");
    case 54:
        return v == 65535 ? std::string(" 旅行日数：無効") : " 旅行日数：" + std::to_string(v) + "日";
    case 60:
        if (v == 65534)
            return " ＩＳＯ設定：インテリジェントＩＳＯ";
        if (v == 65535)
            return " ＩＳＯ設定：なし";
        return " ＩＳＯ設定：" + std::to_string(v);
    case 68:
        return v != 0 ? " 色温度：" + std::to_string(v) : std::string(" 色温度：N/A");
    case 77: {
        const uint32_t nx = value32_;
        const uint32_t dx = reader_.u32();
        if (dx == 0)
            return {};
        if (nx == 0xFFFFFFFFu)
            return " ＡＦエリアの中心位置：&HFFFFFFFF";
        std::string text = formatNumber(double(nx) / dx, R"(" ＡＦエリアの中心位置X,Y："###0.##",")");
        const uint32_t ny = reader_.u32();
        const uint32_t dy = reader_.u32();
        if (dy == 0)
            return {};
        return text + formatNumber(double(ny) / dy, "###0.##");
    }
    default:
        return {};
    }
}

}  // namespace

void PanasonicNoteRead(MakerNoteContext& ctx, int64_t tiffBase, int64_t count)
{
    PanasonicDecoder(ctx, tiffBase).run(count);
}

}  // namespace metadata
