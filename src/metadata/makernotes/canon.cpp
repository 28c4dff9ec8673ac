// Canon maker note: an IFD without header or next link, always
// little-endian, whose values count from the Exif block's TIFF header.
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "metadata/makernotes/makernote_common.h"
#include "metadata/makernotes/makernotes.h"
#include "metadata/number_format.h"

namespace metadata {
namespace {

using makernotes::CodeTable;
using makernotes::CodeText;
using makernotes::hexText;
using makernotes::kAmpHex;
using makernotes::lookupCode;

constexpr std::string_view kHeading = "--Canonメーカノート情報（参考）--";

// ---- Tag 1, camera settings -------------------------------------------------
constexpr CodeText kMacro[] = {{1, "マクロ"}, {2, "ノーマル"}};
constexpr CodeText kQuality[] = {{1, "エコノミー"}, {2, "ノーマル"},        {3, "ファイン"},
                                 {4, "ＲＡＷ"},     {5, "スーパーファイン"}, {130, "動画"}};
constexpr CodeText kFlashMode[] = {{0, "発光禁止"},       {1, "自動"},
                                   {2, "強制発光"},       {3, "赤目緩和"},
                                   {4, "スローシンクロ"}, {5, "赤目緩和（自動）"},
                                   {6, "赤目緩和（オン）"}, {16, "外部光源"}};
constexpr CodeText kDriveMode[] = {{0, "１コマ撮影"},   {1, "連写"},         {2, "動画"},
                                   {3, "速度優先連写"}, {4, "低速連続撮影"}, {5, "高速連続撮影"}};
constexpr CodeText kFocusMode[] = {{0, "One-shot AF"},   {1, "AiサーボAF"},  {2, "Ai Focus AF"},
                                   {3, "マニュアル(3)"}, {4, "シングル"},    {5, "連続"},
                                   {6, "マニュアル(6)"}, {16, "パンフォーカス"}};
constexpr CodeText kRecordMode[] = {{1, "JPEG"},      {2, "CRW+THM"}, {3, "AVI+THM"}, {4, "TIFF"},
                                    {5, "TIFF+JPEG"}, {6, "CR2"},     {7, "CR2+JPEG"}};
constexpr CodeText kImageSize[] = {{0, "ラージ"},         {1, "ミドル"},           {2, "スモール"},
                                   {5, "ミドル1"},        {6, "ミドル2"},          {7, "ミドル3"},
                                   {8, "ポストカード"},   {9, "ワイドスクリーン"}, {129, "動画ミドル"},
                                   {130, "動画スモール"}};
constexpr CodeText kShootingMode[] = {
    {0, "フルオート"},       {1, "マニュアル"},       {2, "風景モード"},
    {3, "高速シャッタ"},     {4, "スローシャッタ"},   {5, "夜景"},
    {6, "グレー"},           {7, "セピア"},           {8, "ポートレート"},
    {9, "スポーツモード"},   {10, "クローズアップ"},  {11, "白黒"},
    {12, "パンフォーカス"},  {13, "ビビッド"},        {14, "ナチュラル"},
    {15, "フラッシュ消灯"},  {16, "長時間撮影"},      {17, "スーパーマクロ"},
    {18, "新緑/紅葉"},       {19, "パーティ/室内"},   {20, "打ち上げ花火"},
    {21, "ビーチ"},          {22, "水中"},            {23, "スノー"},
    {24, "キッズ＆ペット"},  {25, "ナイトスナップ"},  {26, "デジタルマクロ"},
    {27, "マイカラー"},      {28, "スチルイメージ(動画中に撮影)"},
    {31, "スイッチカラー "}, {32, "水族館"},          {33, "ISO 3200"},
    {35, "ファンタジースター"}, {38, "Creative Auto"}, {261, "夕日"}};
constexpr CodeText kDigitalZoom[] = {{0, "なし"}, {1, "２倍"}, {2, "４倍"}, {3, "５倍以上"}};
constexpr CodeText kIso[] = {{14, "高感度オート"}, {15, "オート"},       {16, "ＩＳＯ５０"},
                             {17, "ＩＳＯ１００"}, {18, "ＩＳＯ２００"}, {19, "ＩＳＯ４００"}};
constexpr CodeText kMetering[] = {{0, "標準"},     {1, "スポット測光"}, {2, "平均測光"},
                                  {3, "評価測光"}, {4, "部分測光"},     {5, "中央部重点平均測光"}};
constexpr CodeText kFocusRange[] = {
    {0, "マニュアル"}, {1, "オート１"},    {2, "オート２"}, {3, "クローズアップ（マクロ）"},
    {4, "超近接"},     {5, "近接"},        {6, "ミドルレンジ"}, {7, "遠景"},
    {8, "固定(パンフォーカス)"}, {9, "クローズアップ（スーパーマクロ）"}, {10, "無限遠"}};
constexpr CodeText kAfPoint[] = {{0x2005, "マニュアル選択"}, {0x3000, "なし（マニュアルフォーカス）"},
                                 {0x3001, "自動選択"},       {0x3002, "右"},
                                 {0x3003, "中央"},           {0x3004, "左"},
                                 {0x4001, "自動選択"},       {0x4006, "顔優先"}};
constexpr CodeText kExposureMode[] = {{0, "イメージセレクト"}, {1, "プログラム"},     {2, "シャッター優先"},
                                      {3, "絞り優先"},         {4, "マニュアル"},     {5, "被写界深度優先"},
                                      {6, "Ｍ－Ｄｅｐ"},       {7, "バルブ"}};
constexpr CodeText kFlashActivity[] = {{0, "非発光"}, {1, "発光"}};
// Bit number and text; the order is the order of the line.
constexpr CodeText kFlashDetails[] = {{0, "マニュアル,"},      {1, "ＴＴＬ,"},        {2, "Ａ－ＴＴＬ,"},
                                      {3, "Ｅ－ＴＴＬ,"},      {4, "ＦＰシンクロ,"}, {7, "後幕(REAR)シンクロ,"},
                                      {11, "ＦＰシンクロ,"},   {13, "内蔵ストロボ,"}, {14, "外部ストロボ,"}};
constexpr CodeText kOffOn[] = {{0, "オフ"}, {1, "オン"}};
constexpr CodeText kAfMode[] = {{0, "シングル"}, {1, "連続"}, {8, "マニュアル"}};
constexpr CodeText kAeSetting[] = {
    {0, "標準ＡＥ"}, {1, "露出補正"}, {2, "ＡＥロック"}, {3, "露出補正＋ＡＥロック"}, {4, "ＡＥなし"}};
constexpr CodeText kStabiliser[] = {{0, "オフ"}, {1, "オン"}, {2, "撮影時のみ"}, {3, "流し撮り（上下のみ）"}};
constexpr CodeText kSpotMetering[] = {{0, "中央"}, {1, "ＡＦポイント"}};
constexpr CodeText kPhotoEffect[] = {{0, "効果切"}, {1, "くっきりカラー"}, {2, "すっきりカラー"},
                                     {3, "ソフト"}, {4, "セピア"},         {5, "モノクロ"},
                                     {6, "カスタム"}, {100, "マイカラー"}};
constexpr CodeText kManualFlash[] = {{0x500, "全(Full)"}, {0x502, "中"}, {0x504, "低"}};

// ---- Tag 2, focal length; tag 4, shot information ---------------------------
constexpr CodeText kLensType[] = {{1, "固定焦点レンズ"}, {2, "ズームレンズ"}};
constexpr CodeText kWhiteBalance[] = {
    {0, "オート"},    {1, "太陽光"},   {2, "曇天"},     {3, "タングステン電球"}, {4, "蛍光灯"},
    {5, "ストロボ"},  {6, "カスタム"}, {7, "白黒"},     {8, "日陰"},             {9, "色温度指定"},
    {10, "PC Set1"},  {11, "PC Set2"}, {12, "PC Set3"}, {14, "蛍光灯Ｈ"},         {15, "カスタム1"},
    {16, "カスタム2"}, {17, "水中"},   {18, "カスタム3"}, {19, "カスタム4"},     {20, "PC Set4"},
    {21, "PC Set5"}};
constexpr CodeText kSlowShutter[] = {{0, "オフ"}, {1, "夜景"}, {2, "オン"}, {3, "なし"}};
// Keyed by the value less 0x3000.
constexpr CodeText kAfPointsInFocus[] = {{0, "なし（ＭＦ）"}, {1, "右"},       {2, "中央"},
                                         {3, "中央と右"},     {4, "左"},       {5, "左と右"},
                                         {6, "左と中央"},     {7, "全（左、中央、右）"}};
constexpr CodeText kBracketing[] = {
    {0, "オフ"}, {1, "オン(shot 1)"}, {2, "オン(shot 2)"}, {3, "オン(shot 3)"}, {65535, "オン"}};
constexpr CodeText kControlMode[] = {{1, "カメラ側で操作"}, {3, "ＰＣ側リモート操作"}};
constexpr CodeText kCameraType[] = {{248, "ＥＯＳ上位機種"}, {250, "コンパクトカメラ"}, {252, "ＥＯＳ下位機種"},
                                    {255, "ビデオカメラ"},   {65535, "オン"}};

// ---- Other tags ------------------------------------------------------------
constexpr CodeText kStitchDirection[] = {
    {0, "左から右へ"}, {1, "右から左へ"}, {2, "下から上へ"}, {3, "上から下へ"}, {4, "四角（２×２）"}};
constexpr CodeText kSuperMacro[] = {{0, "オフ"}, {1, " オン"}, {2, " オン"}};
constexpr CodeText kMyColours[] = {
    {0, "指定なし"},           {1, "ポジフィルムカラー"}, {2, "色白肌"},           {3, "褐色肌"},
    {4, "あざやかブルー"},     {5, "あざやかグリーン"},   {6, "あざやかレッド"},   {7, "ワンポイントカラー"},
    {8, "スイッチカラー"},     {9, "カスタムカラー"},     {12, "くっきりカラー"}, {13, "すっきりカラー"},
    {14, "セピア"},            {15, "白黒"}};
constexpr CodeText kToneCurve[] = {{0, "標準"}, {1, "セット１"}, {2, "セット２"}, {3, "セット３"}};
constexpr CodeText kSharpnessFrequency[] = {{0, "無効"},       {1, "粗い"},   {2, "やや粗い"},
                                            {3, "標準"},       {4, "やや細かい"}, {5, "細かい"}};
constexpr CodeText kColourMatrix[] = {
    {0, "無効"},                    {1, "標準(sRGB)"},              {2, "ポートレート(sRGB)"},
    {3, "高彩度(sRGB)"},            {4, "AdobeRGB"},                {5, "低彩度(sRGB)"},
    {33, "PicStylユーザー設定１"},  {34, "PicStylユーザー設定２"},  {35, "PicStylユーザー設定３"},
    {65, "PicStylノスタルジア"},    {66, "PicStylクリア"},          {67, "PicStylトワイライト"},
    {129, "PicStylスタンダード"},   {130, "PicStylポートレート"},   {131, "PicStyl風景"},
    {132, "PicStylニュートラル"},   {133, "PicStyl忠実設定"},       {134, "PicStylモノクローム"}};

// Elements whose line is the label and the code text of their table.
struct CodeElement {
    uint16_t tag;
    uint16_t index;
    std::string_view label;
    CodeTable codes;
};

constexpr CodeElement kCodeElements[] = {
    {1, 1, " マクロ／ノーマル：", kMacro},
    {1, 3, " 画質：", kQuality},
    {1, 4, " ストロボ：", kFlashMode},
    {1, 5, " 連写モード：", kDriveMode},
    {1, 7, " フォーカス制御：", kFocusMode},
    {1, 9, " 記録形式：", kRecordMode},
    {1, 10, " 画像サイズ：", kImageSize},
    {1, 11, " 撮影モード：", kShootingMode},
    {1, 12, " デジタルズーム：", kDigitalZoom},
    {1, 17, " 測光方式：", kMetering},
    {1, 18, " フォーカスタイプ：", kFocusRange},
    {1, 19, " ＡＦポイント：", kAfPoint},
    {1, 20, " 露出モード：", kExposureMode},
    {1, 28, " ストロボ動作：", kFlashActivity},
    {1, 31, " スローシャッターモード：", kOffOn},
    {1, 32, " ＡＦモード：", kAfMode},
    {1, 33, " ＡＥ設定：", kAeSetting},
    {1, 34, " 手振れ補正：", kStabiliser},
    {1, 39, " スポット測定モード：", kSpotMetering},
    {1, 40, " 色効果：", kPhotoEffect},
    {1, 41, " マニュアルストロボ出力：", kManualFlash},
    {2, 0, " レンズタイプ：", kLensType},
    {4, 7, " ホワイトバランス：", kWhiteBalance},
    {4, 8, " スローシャッター：", kSlowShutter},
    {4, 16, " 自動露出ブラケット撮影(AEB)：", kBracketing},
    {4, 18, " カメラコントロールモード：", kControlMode},
    {4, 26, " カメラタイプ：", kCameraType},
    {4, 28, " ＮＤフィルター：", kOffOn},
    {5, 5, " スティッチアシストモードの向き：", kStitchDirection},
    {29, 2, " マイカラー：", kMyColours},
    {160, 1, " トーンカーブ：", kToneCurve},
    {160, 3, " シャープネス周波数：", kSharpnessFrequency},
    {160, 10, " カラーマトリクス：", kColourMatrix},
};

// Elements whose line is the label and the value in decimal.
struct DecimalElement {
    uint16_t tag;
    uint16_t index;
    std::string_view label;
};

constexpr DecimalElement kDecimalElements[] = {
    {4, 9, " 連写シーケンス番号："},
    {4, 10, " ズームポジション："},
    {4, 33, " ストロボ出力："},
    {5, 2, " パノラマ写真連番：No."},
    {18, 6, " ＡＦエリアの横幅："},
    {18, 7, " ＡＦエリアの高さ："},
    {160, 2, " シャープネス強度："},
};

// Elements written by a pattern after dividing by a fixed number.
struct ScaledElement {
    uint16_t tag;
    uint16_t index;
    double divisor;
    std::string_view pattern;
};

constexpr ScaledElement kScaledElements[] = {
    {1, 26, 32, R"p(" レンズ開放絞り："###0.##"(APEX)")p"},
    {1, 27, 32, R"p(" レンズ最小絞り："###0.##"(APEX)")p"},
    {2, 2, 40, R"(" 撮像素子の横サイズ："###0.##"mm")"},
    {2, 3, 40, R"(" 撮像素子の縦サイズ："###0.##"mm")"},
    {4, 19, 100, R"(" 被写体距離の上限："###0.#"m")"},
    {4, 20, 100, R"(" 被写体距離の下限："###0.#"m")"},
};

// Signed settings with their words for 0 and for "not available".
struct SignedSetting {
    uint16_t index;
    std::string_view zeroLine;
    std::string_view naLine;
    std::string_view pattern;
};

constexpr SignedSetting kSignedSettings[] = {
    {13, " コントラスト：標準", " コントラスト：N/A", R"(" コントラスト：+"####;" コントラスト：-"####)"},
    {14, " 彩度：標準", " 彩度：N/A", R"(" 彩度：+"####;" 彩度：-"####)"},
    {15, " シャープネス：なし", " シャープネス：N/A", R"(" シャープネス：+"####;" シャープネス：-"####)"},
    {42, " 色合い補正：標準", " 色合い補正：N/A", R"(" 色合い補正：+"####;" 色合い補正：-"####)"},
};

// White-balance shifts of tag 160: the words for none, 1..1000 and 40000 up.
struct ColourShift {
    uint16_t index;
    std::string_view none;
    std::string_view low;
    std::string_view high;
};

constexpr ColourShift kColourShifts[] = {
    {12, " ホワイトバランス色補正(B/A)：なし", " ホワイトバランス色補正(B/A)：アンバー側へ",
     " ホワイトバランス色補正(B/A)：ブルー側へ"},
    {13, " ホワイトバランス色補正(M/G)：なし", " ホワイトバランス色補正(M/G)：グリーン側へ",
     " ホワイトバランス色補正(M/G)：マゼンタ側へ"},
};

struct TextTag {
    uint16_t tag;
    std::string_view label;
};

constexpr TextTag kTextTags[] = {
    {6, " イメージタイプ："},
    {7, " ファームウェアバージョン："},
    {9, " カメラ所有者名："},
    {95, " 交換レンズ名："},
};

// The exposure-time patterns: slow (below one second), fast (a fraction),
// long below two seconds, long from two seconds.
struct ExposurePatterns {
    std::string_view p1, p2, p3, p4;
};

constexpr ExposurePatterns kTargetExposure = {
    R"(" 目標露出時間："0.#"秒")", R"(" 目標露出時間：1/"#####"秒")", R"(" 目標露出時間："###.#"秒")",
    R"(" 目標露出時間："####"秒")"};
constexpr ExposurePatterns kExposure = {R"(" 露出時間："0.#"秒")", R"(" 露出時間：1/"#####"秒")",
                                        R"(" 露出時間："###.#"秒")", R"(" 露出時間："####"秒")"};

int elementSize(unsigned type)
{
    static constexpr int sizes[12] = {8, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4};
    return type < 12 ? sizes[type] : 8;
}

// Powers of two from damaged or "not available" fields (0x8000 and the
// like) overflow; such a value gives no line rather than a bare "INF".
std::string pattern(double value, std::string_view format)
{
    return std::isfinite(value) ? formatNumber(value, format) : std::string();
}

int signed16(uint16_t v)
{
    return static_cast<int16_t>(v);
}

std::string exposureTime(uint16_t v, const ExposurePatterns& p)
{
    if (v >= 37000) {
        const int w = 65536 - v;
        return pattern(std::pow(2.0, w / 32.0), w < 32 ? p.p3 : p.p4);
    }
    if (v < 32)
        return pattern(1.0 / std::pow(2.0, v / 32.0), p.p1);
    return pattern(std::pow(2.0, v / 32.0), p.p2);
}

template <typename Row>
const Row* findElement(std::span<const Row> rows, uint16_t tag, uint16_t index)
{
    for (const auto& row : rows)
        if (row.tag == tag && row.index == index)
            return &row;
    return nullptr;
}

bool hasArrayLength(uint16_t tag)
{
    return tag == 1 || tag == 4 || tag == 29 || tag == 160;
}

bool isNumericTag(uint16_t tag)
{
    switch (tag) {
    case 1: case 2: case 4: case 5: case 12: case 18: case 21: case 26: case 29: case 160:
        return true;
    default:
        return false;
    }
}

class CanonDecoder {
public:
    CanonDecoder(MakerNoteContext& ctx, int64_t tiffBase) : ctx_(ctx), reader_(ctx.stream, true), tiffBase_(tiffBase) {}

    void run(int64_t noteLength);

private:
    // False when the decoding ends (an array-length mismatch).
    bool numericEntry(uint16_t tag, uint32_t count, int size, int64_t byteSize);
    std::string element(uint16_t tag, uint16_t k, int size);
    std::string cameraSetting(uint16_t k);
    std::string shotInformation(uint16_t k);
    void textEntry(uint16_t tag, unsigned type, uint32_t count);

    MakerNoteContext& ctx_;
    makernotes::FieldReader reader_;
    int64_t tiffBase_;
    uint16_t value16_ = 0;
    uint32_t value32_ = 0;
};

void CanonDecoder::run(int64_t noteLength)
{
    ByteStream& s = ctx_.stream;
    const int64_t noteOffset = s.position() - tiffBase_;
    // Nothing of the maker note is read past 65535 bytes after the header.
    if (65535 - noteOffset < noteLength)
        noteLength = 65535 - noteOffset;
    const uint16_t entries = reader_.u16();
    if (noteLength / 12 < entries)
        return;
    ctx_.addLine(std::string(kHeading));
    for (uint32_t i = 1; i <= entries; ++i) {
        // A note that has shown or read all it may ends here.
        if (!ctx_.takeValues(1) || ctx_.spent())
            return;
        const uint16_t tag = reader_.u16();
        const unsigned type = reader_.u16() & 0xFFu;
        const uint32_t count = reader_.u32();
        if (i == 1 && tag > 4)
            return;
        const int64_t next = s.position() + 4;
        const int size = elementSize(type);
        const int64_t byteSize = makernotes::valueSize(count, size);
        if (byteSize > 0) {
            if (reader_.seekToValue(byteSize, tiffBase_, noteOffset + noteLength)) {
                if (type == 2 || type == 7)
                    textEntry(tag, type, count);
                else if (isNumericTag(tag) && !numericEntry(tag, count, size, byteSize))
                    return;
            }
        }
        s.seek(next);
    }
}

void CanonDecoder::textEntry(uint16_t tag, unsigned type, uint32_t count)
{
    for (const auto& t : kTextTags) {
        if (t.tag != tag)
            continue;
        const int64_t length = type == 2 ? int64_t(count) - 1 : int64_t(count);
        ctx_.addLine(std::string(t.label) + makernotes::cp932Text(reader_.rawText(length)));
        return;
    }
}

bool CanonDecoder::numericEntry(uint16_t tag, uint32_t count, int size, int64_t byteSize)
{
    value16_ = 0;
    for (uint32_t k = 0; k < count; ++k) {
        if (!ctx_.takeValues(1) || ctx_.spent())
            return false;
        if (size == 4)
            value32_ = reader_.u32();
        else
            value16_ = reader_.element16(size);
        if (k == 0 && hasArrayLength(tag)) {
            // Element 0 holds the array's own byte length; anything else
            // means the layout is not the one these tables describe.
            if (value16_ != byteSize)
                return false;
            continue;
        }
        if (k >= kMaxValuesPerTag)
            break;  // no element that far is decoded
        std::string line = element(tag, static_cast<uint16_t>(k), size);
        if (!line.empty())
            ctx_.addLine(std::move(line));
    }
    return true;
}

std::string CanonDecoder::element(uint16_t tag, uint16_t k, int size)
{
    const uint16_t v = value16_;
    if (const auto* row = findElement<CodeElement>(kCodeElements, tag, k))
        return std::string(row->label) + lookupCode(row->codes, v, kAmpHex);
    if (const auto* row = findElement<DecimalElement>(kDecimalElements, tag, k))
        return std::string(row->label) + std::to_string(v);
    if (const auto* row = findElement<ScaledElement>(kScaledElements, tag, k))
        return pattern(v / row->divisor, row->pattern);
    switch (tag) {
    case 1:
        return cameraSetting(k);
    case 4:
        return shotInformation(k);
    case 12:
        // A serial number stored in another element size has no value of
        // its own to show.
        if (size != 4)
            return {};
        return " カメラ製造番号：&H" + hexText(value32_, 8);
    case 21:
        if (size != 4)
            return {};
        if (value32_ == 0x90000000u)
            return " 製造番号の形式：形式１";
        if (value32_ == 0xA0000000u)
            return " 製造番号の形式：形式２";
        return " 製造番号の形式：&H" + hexText(value32_, 8);
    case 26:
        return " スーパーマクロ：" + lookupCode(kSuperMacro, v, kAmpHex);
    case 160:
        if (k == 9)
            return v == 65535 ? std::string(" 色温度設定：N/A") : " 色温度設定：" + std::to_string(v);
        for (const auto& shift : kColourShifts) {
            if (shift.index != k)
                continue;
            if (v == 0)
                return std::string(shift.none);
            if (v <= 1000)
                return std::string(shift.low) + std::to_string(v);
            if (v >= 40000)
                return std::string(shift.high) + std::to_string(65536 - v);
            return {};
        }
        return {};
    default:
        return {};
    }
}

std::string CanonDecoder::cameraSetting(uint16_t k)
{
    const uint16_t v = value16_;
    for (const auto& setting : kSignedSettings) {
        if (setting.index != k)
            continue;
        const int s = signed16(v);
        if (s == 0)
            return std::string(setting.zeroLine);
        if (s == 32767)
            return std::string(setting.naLine);
        return pattern(s, setting.pattern);
    }
    switch (k) {
    case 2:
        if (v == 0)
            return " セルフタイマー：不使用";
        if (v <= 4096)
            return " セルフタイマー：" + std::to_string(v / 10) + "秒";
        if (v >= 16385 && v <= 20480)
            return " セルフタイマー：" + std::to_string((v - 16384) / 10) + "秒";
        return " セルフタイマー：&H" + hexText(v, 4);
    case 16:
        if (v >= 16400 && v <= 20480)
            return " ＩＳＯ感度：ＩＳＯ" + std::to_string(v - 16384);
        return " ＩＳＯ感度：" + lookupCode(kIso, v, kAmpHex);
    case 22:
        return " レンズＩＤ：&H" + hexText(v, 4);
    case 23: {
        // Elements 24 and 25 are looked at ahead; element 25 holds the
        // focal units that both focal lengths are divided by.
        ByteStream& s = ctx_.stream;
        const int64_t here = s.position();
        value32_ = reader_.u32Stored();
        s.seek(here);
        const uint32_t units = value32_ >> 16;
        if (units == 0)
            return {};
        return pattern(double(v) / units, R"(" レンズ焦点距離（Ｔ端）："###0.##"mm")");
    }
    case 24: {
        const uint32_t units = value32_ >> 16;
        if (units == 0)
            return {};
        return pattern(double(v) / units, R"(" レンズ焦点距離（Ｗ端）："###0.##"mm")");
    }
    case 29:
        return " ストロボ詳細情報：" + makernotes::joinBits(kFlashDetails, v);
    case 36:
        return " ズーム元解像度：" + (v == 65535 ? std::string("&HFFFF") : std::to_string(v));
    case 37:
        return " ズーム先解像度：" + (v == 65535 ? std::string("&HFFFF") : std::to_string(v));
    default:
        return {};
    }
}

std::string CanonDecoder::shotInformation(uint16_t k)
{
    const uint16_t v = value16_;
    switch (k) {
    case 1: {
        const int n = v < 50000 ? v / 32 : static_cast<int>(std::trunc(signed16(v) / 32.0));
        return pattern(100.0 * std::ldexp(1.0, n), R"(" オートＩＳＯ感度："####)");
    }
    case 2:
        return pattern(100.0 * std::ldexp(1.0, v / 32) / 32.0, R"(" ベースＩＳＯ感度："####)");
    case 3:
        if (v < 40000)
            return pattern(v / 32.0, R"(" 測定ＥＶ値："###0.##"EV")");
        return " 測定ＥＶ値：" + formatNumber((v - 65536) / 32.0, R"(###0.##"EV")");
    case 4:
        return pattern(std::pow(2.0, v / 64.0), R"(" 目標Ｆ値：F"##0.#)");
    case 5:
        return exposureTime(v, kTargetExposure);
    case 6:
        if (v < 40000)
            return pattern(v / 32.0, R"(" 露出補正値：+"###0.##"EV")");
        return " 露出補正値：" + formatNumber((v - 65536) / 32.0, R"(###0.##"EV")");
    case 13:
        if (v == 65535)
            return " ストロボガイドナンバー：N/A";
        return pattern(v / 32.0, R"(" ストロボガイドナンバー："###0.#)");
    case 14: {
        const int inFocus = int(v) - 0x3000;
        if (inFocus >= 0)
            if (const auto* text = makernotes::findCode(kAfPointsInFocus, static_cast<uint32_t>(inFocus)))
                return " 使用ＡＦポイント：" + std::string(*text);
        return " 使用ＡＦポイント：&H" + hexText(v, 4);
    }
    case 15:
        return pattern(signed16(v) / 32.0,
                            R"(" ストロボ光量補正：+"###0.#"EV";" ストロボ光量補正：-"###.#"EV")");
    case 17:
        return pattern(signed16(v) / 32.0, R"(" ＡＥＢ値：+"###0.#"EV";" ＡＥＢ値：-"###.#"EV")");
    case 21:
        return pattern(std::pow(2.0, v / 64.0), R"(" Ｆ値：F"##0.#)");
    case 22:
        return exposureTime(v, kExposure);
    default:
        return {};
    }
}

}  // namespace

void CanonNoteRead(MakerNoteContext& ctx, int64_t tiffBase, int64_t count)
{
    CanonDecoder(ctx, tiffBase).run(count);
}

}  // namespace metadata
