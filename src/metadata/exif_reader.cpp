// The IFD walk of an Exif block and the routing of each known tag to its rule.
#include <algorithm>
#include <cstring>

#include "metadata/comment_reader.h"
#include "metadata/exif_walk.h"
#include "metadata/makernotes/makernotes.h"
#include "metadata/number_format.h"
#include "platform/text_codec.h"

namespace metadata {

std::string fmt(double value, std::string_view pattern)
{
    return formatNumber(value, pattern);
}

int ExifWalk::appendIfd(int64_t position)
{
    constexpr size_t kMaxIfds = 5;
    if (ifdList.size() >= kMaxIfds)
        return -1;
    if (std::find(ifdList.begin(), ifdList.end(), position) != ifdList.end())
        return -1;
    ifdList.push_back(position);
    ifdBases.push_back(tiffBase);
    return static_cast<int>(ifdList.size()) - 1;
}

std::optional<std::string_view> ExifWalk::bytes(int64_t n)
{
    if (n < 0)
        n = 0;
    if (n > s.remaining() || n > st.budget)
        return std::nullopt;
    st.budget -= n;
    std::string_view v(reinterpret_cast<const char*>(s.data() + s.position()), static_cast<size_t>(n));
    s.skip(n);
    return v;
}

std::optional<uint16_t> ExifWalk::code()
{
    auto b = bytes(2);
    if (!b)
        return std::nullopt;
    return ExifToHost16(reinterpret_cast<const uint8_t*>(b->data()), le());
}

std::optional<uint32_t> ExifWalk::longValue()
{
    auto b = bytes(4);
    if (!b)
        return std::nullopt;
    return static_cast<uint32_t>(ExifToHost32(reinterpret_cast<const uint8_t*>(b->data()), le()));
}

std::optional<Rational> ExifWalk::rational()
{
    auto b = bytes(8);
    if (!b)
        return std::nullopt;
    const auto* p = reinterpret_cast<const uint8_t*>(b->data());
    return Rational{ExifToHost32(p, le()), ExifToHost32(p + 4, le())};
}

std::optional<uint8_t> ExifWalk::byteValue()
{
    auto b = bytes(1);
    if (!b)
        return std::nullopt;
    return static_cast<uint8_t>((*b)[0]);
}

std::optional<std::string> ExifWalk::text(int64_t count)
{
    // The value up to its first NUL: files that fill the whole count with
    // text, leaving no room for the NUL, keep their last character.
    auto b = bytes(std::min<int64_t>(count, 1024));
    if (!b)
        return std::nullopt;
    const size_t nul = b->find('\0');
    return platform::cp932ToUtf8(nul == std::string_view::npos ? *b : b->substr(0, nul));
}

std::string ExifWalk::comment(int64_t count)
{
    const int64_t cost = std::clamp<int64_t>(count, 0, s.remaining());
    if (cost > st.budget)
        return {};
    st.budget -= cost;
    return ComtRead(s, count);
}

namespace {

void rulePointer(ExifWalk& w, const IfdEntry& e, const TagRule&)
{
    auto v = w.bytes(4);
    if (!v)
        return;
    const int32_t offset = ExifToHost32(reinterpret_cast<const uint8_t*>(v->data()), w.le());
    const int index = w.appendIfd(w.tiffBase + offset);
    if (e.tag == 34853 && index >= 0)
        w.gpsIfdIndex = index;
}

void ruleOrientation(ExifWalk& w, const IfdEntry&, const TagRule&)
{
    if (w.ifdIndex != 0)
        return;
    if (auto v = w.code())
        w.st.sink.setOrientation(static_cast<int8_t>(*v & 0xFF));
}

bool beginsWithNoCase(std::string_view text, std::string_view word)
{
    if (text.size() < word.size())
        return false;
    for (size_t i = 0; i < word.size(); ++i) {
        unsigned char a = static_cast<unsigned char>(text[i]);
        unsigned char b = static_cast<unsigned char>(word[i]);
        if (a >= 'a' && a <= 'z')
            a = static_cast<unsigned char>(a - 32);
        if (b >= 'a' && b <= 'z')
            b = static_cast<unsigned char>(b - 32);
        if (a != b)
            return false;
    }
    return true;
}

// Hands the maker note at the stream position to its camera maker's
// decoder; its offsets count from tiffBase.
void readMakerNote(ExifWalk& w, int64_t tiffBase, int64_t count)
{
    if (w.s.remaining() <= 0)
        return;
    MakerNoteContext ctx{w.s, w.st.littleEndian, w.st.infoLines};
    // Several Exif blocks may each bring a note: together they get what
    // one picture may show and read.
    ctx.linesLeft = std::clamp(kMaxPictureLines - static_cast<int>(w.st.infoLines.size()), 0, kMaxNoteLines);
    ctx.valuesLeft = std::min(kMaxNoteValues, w.st.noteValuesLeft);
    const int64_t valuesBefore = ctx.valuesLeft;
    if (beginsWithNoCase(w.makeText, "Canon"))
        CanonNoteRead(ctx, tiffBase, count);
    else if (beginsWithNoCase(w.makeText, "Panasonic"))
        PanasonicNoteRead(ctx, tiffBase, count);
    else if (beginsWithNoCase(w.makeText, "NIKON"))
        NikonNoteRead(ctx, tiffBase, count);
    w.st.noteValuesLeft -= valuesBefore - std::max<int64_t>(ctx.valuesLeft, 0);
}

void ruleMakerNote(ExifWalk& w, const IfdEntry& e, const TagRule&)
{
    const bool littleEndian = w.st.littleEndian;
    readMakerNote(w, w.tiffBase, e.count);
    // The rest of the block is read in its own byte order whatever a
    // decoder did with it.
    w.st.littleEndian = littleEndian;
}

// A DNG converted from a camera's raw file keeps the camera's maker note in
// its private data ("Adobe", "MakN"), with the byte order and the offset it
// had in the original file, which its own offsets count from.
void ruleDngPrivateData(ExifWalk& w, const IfdEntry& e, const TagRule&)
{
    if (w.ifdIndex != 0 || e.count < 20)
        return;
    const int64_t start = w.s.position();
    const auto head = w.bytes(20);
    if (!head || std::memcmp(head->data(), "Adobe\0MakN", 10) != 0)
        return;
    const auto* h = reinterpret_cast<const uint8_t*>(head->data());
    const int64_t length = ExifToHost32(h + 10, false);
    const bool noteLittleEndian = h[14] == 'I' && h[15] == 'I';
    if (!noteLittleEndian && !(h[14] == 'M' && h[15] == 'M'))
        return;
    const int64_t originalOffset = static_cast<uint32_t>(ExifToHost32(h + 16, false));
    const int64_t noteAt = start + 20;
    const int64_t count = std::min<int64_t>(length - 6, int64_t(e.count) - 20);
    const bool littleEndian = w.st.littleEndian;
    w.st.littleEndian = noteLittleEndian;
    w.s.seek(noteAt);
    readMakerNote(w, noteAt - originalOffset, count);
    w.st.littleEndian = littleEndian;
}

// Tag 11 is GPSDOP inside the GPS IFD and the processing software elsewhere.
void ruleTag11(ExifWalk& w, const IfdEntry& e, const TagRule& r)
{
    if (w.inGpsIfd())
        ruleGpsDop(w, e, r);
    else
        ruleProcessingSoftware(w, e, r);
}

// Code tables of the standard tags.
constexpr CodeWord kExposureProgram[] = {
    {0, "未定義"}, {1, "マニュアル"}, {2, "ノーマルプログラム"}, {3, "絞り優先"}, {4, "シャッター速度優先"},
    {5, "クリエイティブプログラム"}, {6, "アクションプログラム"}, {7, "ポートレートモード"}, {8, "風景モード"}};
constexpr CodeWord kSensitivityType[] = {
    {0, "不明"}, {1, "標準出力感度"}, {2, "推奨露光指数"}, {3, "ＩＳＯスピード"},
    {4, "標準出力感度及び推奨露光指数"}, {5, "標準出力感度及びＩＳＯスピード"},
    {6, "推奨露光指数及びＩＳＯスピード"}, {7, "標準出力感度及び推奨露光指数及びＩＳＯスピード"}};
constexpr CodeWord kMeteringMode[] = {
    {0, "不明"}, {1, "平均測光"}, {2, "中央重点"}, {3, "スポット"}, {4, "マルチスポット"},
    {5, "分割測光"}, {6, "部分測光"}, {255, "その他"}};
constexpr CodeWord kSensingMethod[] = {
    {0, "不明"}, {1, "未定義"}, {2, "単板カラーセンサ"}, {3, "２板カラーセンサ"}, {4, "３板カラーセンサ"},
    {5, "色順次カラーセンサ"}, {6, "不明"}, {7, "トリリニアセンサ"}, {8, "色順次リニアセンサ"}};
constexpr CodeWord kExposureMode[] = {{0, "露出自動"}, {1, "マニュアル"}, {2, "オートブラケット"}};
constexpr CodeWord kWhiteBalance[] = {{0, "オート"}, {1, "マニュアル"}};
constexpr CodeWord kSceneCaptureType[] = {{0, "標準"}, {1, "風景"}, {2, "人物"}, {3, "夜景"}};
constexpr CodeWord kGainControl[] = {
    {0, "なし"}, {1, "弱い増感"}, {2, "強い増感"}, {3, "弱い減感"}, {4, "強い減感"}};
constexpr CodeWord kContrast[] = {{0, "標準"}, {1, "軟調"}, {2, "硬調"}};
constexpr CodeWord kSaturation[] = {{0, "標準"}, {1, "低彩度"}, {2, "高彩度"}};
constexpr CodeWord kSharpness[] = {{0, "標準"}, {1, "弱い"}, {2, "強い"}};
constexpr CodeWord kSubjectDistanceRange[] = {{0, "不明"}, {1, "マクロ"}, {2, "近景"}, {3, "遠景"}};
constexpr CodeWord kLightSource[] = {
    {0, "不明"}, {1, "昼光"}, {2, "蛍光灯"}, {3, "白熱灯"}, {4, "フラッシュ"}, {9, "晴天"}, {10, "曇天"},
    {11, "日陰"}, {12, "昼光色蛍光灯"}, {13, "昼白色蛍光灯"}, {14, "白色蛍光灯"}, {15, "温白色蛍光灯"},
    {16, "電球色蛍光灯"}, {17, "標準光A"}, {18, "標準光B"}, {19, "標準光C"}, {20, "D55"}, {21, "D65"},
    {22, "D75"}, {23, "D50"}, {24, "ISOスタジオ用電球"}, {255, "その他"}};
constexpr CodeWord kFlash[] = {
    {0x00, "非発光"}, {0x01, "発光(反射検出機構なし)"}, {0x05, "発光(反射光未検出)"},
    {0x07, "発光(反射光検出)"}, {0x09, "強制発光"}, {0x0D, "強制発光(反射光未検出)"},
    {0x0F, "強制発光(反射光検出)"}, {0x10, "強制非発光"}, {0x14, "強制非発光(反射光未検出)"},
    {0x18, "オートモード非発光"}, {0x19, "オートモード発光"}, {0x1D, "オートモード発光(反射光未検出)"},
    {0x1F, "オートモード発光(反射光検出)"}, {0x20, "ストロボ機能なし"}, {0x41, "発光(赤目軽減)"},
    {0x45, "発光(赤目軽減、反射光未検出)"}, {0x47, "発光(赤目軽減、反射光検出)"},
    {0x49, "強制発光(赤目軽減)"}, {0x4D, "強制発光(赤目軽減、反射光未検出)"},
    {0x4F, "強制発光(赤目軽減、反射光検出)"}, {0x59, "オートモード発光(赤目軽減)"},
    {0x5D, "オートモード発光(赤目軽減、反射光未検出)"}, {0x5F, "オートモード発光(赤目軽減、反射光検出)"}};

constexpr CodeWord kFileSource[] = {
    {0, "その他"}, {1, "透過型スキャナ"}, {2, "反射型スキャナ"}, {3, "デジタルスチルカメラ"}};

#define TABLE(words, fallback) CodeTable{words, std::size(words), fallback}
const CodeTable kExposureProgramTable = TABLE(kExposureProgram, "不明");
const CodeTable kSensitivityTypeTable = TABLE(kSensitivityType, "不明");
const CodeTable kMeteringModeTable = TABLE(kMeteringMode, "不明データ");
const CodeTable kSensingMethodTable = TABLE(kSensingMethod, "不明");
const CodeTable kExposureModeTable = TABLE(kExposureMode, "不明");
const CodeTable kWhiteBalanceTable = TABLE(kWhiteBalance, "不明");
const CodeTable kSceneCaptureTypeTable = TABLE(kSceneCaptureType, "不明");
const CodeTable kGainControlTable = TABLE(kGainControl, "不明");
const CodeTable kContrastTable = TABLE(kContrast, "不明");
const CodeTable kSaturationTable = TABLE(kSaturation, "不明");
const CodeTable kSharpnessTable = TABLE(kSharpness, "不明");
const CodeTable kSubjectDistanceRangeTable = TABLE(kSubjectDistanceRange, "不明");
const CodeTable kLightSourceTable = TABLE(kLightSource, "不明データ");
const CodeTable kFlashTable = TABLE(kFlash, "不明");
const CodeTable kFileSourceTable = TABLE(kFileSource, "不明");
#undef TABLE

// Every tag the walk knows, sorted by number. Tags not listed give no line.
const TagRule kDispatch[] = {
    {1, ruleGpsLatitudeRef},
    {2, ruleGpsDegrees},
    {3, ruleGpsLongitudeRef},
    {4, ruleGpsDegrees},
    {5, ruleGpsAltitudeRef},
    {6, ruleGpsAltitude},
    {7, ruleGpsDegrees},
    {8, ruleGpsText, "測位に使った衛星信号："},
    {9, ruleGpsStatus},
    {10, ruleGpsMeasureMode},
    {11, ruleTag11},
    {12, ruleGpsSpeedRef},
    {13, ruleGpsSpeed},
    {18, ruleGpsText, "測位に用いた地図データ："},
    {27, ruleGpsProcessingMethod},
    {28, ruleGpsAreaInformation},
    {29, ruleGpsText, "ＧＰＳ日付"},
    {269, ruleText, "文書名："},
    {270, ruleImageDescription},
    {271, ruleMake, "メーカ名："},
    {272, ruleText, "機種："},
    {274, ruleOrientation},
    {305, ruleText, "ソフトウェア："},
    {306, ruleDateTime, "ファイル変更日時："},
    {315, ruleText, "アーティスト："},
    {33432, ruleText, "著作権："},
    {33434, ruleExposureTime},
    {33437, ruleRationalPattern, "\"絞　り　値：F\"####.##"},
    {34665, rulePointer},
    {34850, ruleCodeTable, "露出プログラム：", nullptr, &kExposureProgramTable},
    {34852, ruleText, "スペクトル感度："},
    {34853, rulePointer},
    {34855, ruleCodeNumber, "撮影感度：", ""},
    {34864, ruleCodeTable, "感度種別：", nullptr, &kSensitivityTypeTable},
    {34865, ruleLong, "標準出力感度："},
    {34866, ruleLong, "推奨露光指数："},
    {34867, ruleLong, "ＩＳＯスピード："},
    {34868, ruleLong, "ＩＳＯスピードラチチュードyyy："},
    {34869, ruleLong, "ＩＳＯスピードラチチュードzzz："},
    {36867, ruleDateTime, "原画作成日時:"},
    {36868, ruleDateTimeDigitized, "デジタル化日時"},
    {37122, ruleRationalPattern, "\"画像圧縮モード：\"####\"bit/pixel\""},
    {37379, ruleBrightness},
    {37380, ruleRationalPattern, "\"露光補正値：\"####0.##\"(APEX)\";\"露光補正値：-\"####0.##\"(APEX)\""},
    {37381, ruleRationalPattern, "\"最小Ｆ値：\"#####.##\"(APEX)\""},
    {37382, ruleSubjectDistance},
    {37383, ruleCodeTable, "測光方式：", nullptr, &kMeteringModeTable},
    {37384, ruleCodeTable, "光源種別：", nullptr, &kLightSourceTable},
    {37385, ruleCodeTable, "ストロボ：", nullptr, &kFlashTable},
    {37386, ruleRationalPattern, "\"焦点距離：\"#####.##\"mm\""},
    {37396, ruleSubjectArea},
    {37500, ruleMakerNote},
    {37510, ruleUserComment},
    {40091, ruleXpText},
    {40092, ruleXpText, "Xpコメント:"},
    {40093, ruleXpText, "Xp作成者:"},
    {40094, ruleXpText, "Xpキーワード:"},
    {40095, ruleXpText, "Xp件名:"},
    {40964, ruleRelatedSound},
    {41483, ruleRationalPattern, "\"ストロボ強度：\"#####.##\"BCPS\""},
    {41486, ruleRationalPattern, "\"焦点面の幅の解像度：\"#####.#\"ppi\""},
    {41487, ruleRationalPattern, "\"焦点面の高さの解像度：\"#####.#\"ppi\""},
    {41495, ruleCodeTable, "センサ方式：", nullptr, &kSensingMethodTable},
    {41728, ruleFileSource, "ファイルソース：", nullptr, &kFileSourceTable},
    {41986, ruleCodeTable, "露出モード：", nullptr, &kExposureModeTable},
    {41987, ruleCodeTable, "ホワイトバランス：", nullptr, &kWhiteBalanceTable},
    {41988, ruleDigitalZoom},
    {41989, ruleCodeNumber, "35mm換算焦点距離：", "mm"},
    {41990, ruleCodeTable, "撮影シーンタイプ：", nullptr, &kSceneCaptureTypeTable},
    {41991, ruleCodeTable, "ゲイン制御：", nullptr, &kGainControlTable},
    {41992, ruleCodeTable, "撮影コントラスト：", nullptr, &kContrastTable},
    {41993, ruleCodeTable, "撮影彩度：", nullptr, &kSaturationTable},
    {41994, ruleCodeTable, "シャープネス：", nullptr, &kSharpnessTable},
    {41996, ruleCodeTable, "被写体距離レンジ：", nullptr, &kSubjectDistanceRangeTable},
    {42016, ruleText, "画像ユニークID："},
    {42032, ruleText, "カメラ所有者名："},
    {42033, ruleText, "カメラシリアル番号："},
    {42034, ruleLensSpecification},
    {42035, ruleText, "レンズのメーカ名："},
    {42036, ruleText, "レンズのモデル名："},
    {42037, ruleText, "レンズシリアル番号："},
    {42240, ruleRationalPattern, "\"再生ガンマ：\"####.###"},
    {50740, ruleDngPrivateData},
    {50898, ruleLumixText, "LUMIX赤ちゃん／ペット１:"},
    {50899, ruleLumixText, "LUMIX赤ちゃん／ペット２:"},
};

const TagRule* findRule(uint16_t tag)
{
    const auto* end = std::end(kDispatch);
    const auto* it = std::lower_bound(std::begin(kDispatch), end, tag,
                                      [](const TagRule& r, uint16_t t) { return r.tag < t; });
    return it != end && it->tag == tag ? it : nullptr;
}

// Walks one IFD's entries; returns false when the data ends inside it.
void walkIfd(ExifWalk& w, int64_t ifdPosition)
{
    ByteStream& s = w.s;
    s.seek(ifdPosition);
    const auto n = readExif16(s, w.le());
    if (!n)
        return;
    for (unsigned i = 0; i < *n; ++i) {
        if (w.st.budget < 12)
            return;
        w.st.budget -= 12;
        s.seek(ifdPosition + 2 + 12 * static_cast<int64_t>(i));
        const auto entry = readIfdEntry(s, w.le());
        if (!entry)
            return;
        const TagRule* rule = findRule(entry->tag);
        if (!rule)
            continue;
        if (entry->byteSize() > 4) {
            const auto offset = readExif32(s, w.le());
            if (!offset)
                return;
            const uint32_t v = static_cast<uint32_t>(*offset);
            if (v < 8)
                continue;
            s.seek(w.tiffBase + v);
        }
        rule->apply(w, *entry, *rule);
    }
    s.seek(ifdPosition + 2 + 12 * static_cast<int64_t>(*n));
    const auto next = readExif32(s, w.le());
    if (next && *next != 0 && !w.inGpsIfd())
        w.appendIfd(w.tiffBase + *next);
}

}  // namespace

namespace {

// Reads the TIFF header at pos: the byte order and the first IFD's position.
std::optional<int64_t> tiffHeader(ByteStream& s, int64_t pos, bool& littleEndian)
{
    s.seek(pos);
    uint8_t order[2] = {};
    littleEndian = s.read(order, 2) == 2 && order[0] == 'I' && order[1] == 'I';
    s.skip(2);
    const auto ifd0 = readExif32(s, littleEndian);
    if (!ifd0)
        return std::nullopt;
    return pos + *ifd0;
}

void walkListed(ExifWalk& w)
{
    for (w.ifdIndex = 0; w.ifdIndex < static_cast<int>(w.ifdList.size()); ++w.ifdIndex) {
        w.tiffBase = w.ifdBases[static_cast<size_t>(w.ifdIndex)];
        walkIfd(w, w.ifdList[static_cast<size_t>(w.ifdIndex)]);
        // IFDs are not visited once the walk has passed the first 64 KiB.
        if (w.s.position() > 65536)
            break;
    }
}

}  // namespace

void ExifRead(ReaderState& state)
{
    ExifWalk w(state);
    ByteStream& s = state.stream;
    w.tiffBase = s.position();
    const auto ifd0 = tiffHeader(s, w.tiffBase, state.littleEndian);
    if (!ifd0)
        return;
    w.appendIfd(*ifd0);
    walkListed(w);
}

void ExifReadBlocks(ReaderState& state, const TiffBlocks& blocks)
{
    ExifWalk w(state);
    ByteStream& s = state.stream;
    // The blocks share the first one's byte order; one in another order is
    // left out rather than misread.
    bool first = true;
    auto list = [&](int64_t base) {
        bool le = false;
        const auto ifd = base >= 0 ? tiffHeader(s, base, le) : std::nullopt;
        if (!ifd || (!first && le != state.littleEndian))
            return -1;
        if (first)
            state.littleEndian = le;
        first = false;
        w.tiffBase = base;
        return w.appendIfd(*ifd);
    };
    list(blocks.ifd0);
    list(blocks.exif);
    const int gps = list(blocks.gps);
    if (gps >= 0)
        w.gpsIfdIndex = gps;
    if (first)
        return;
    walkListed(w);
    bool le = false;
    const auto note = blocks.makerNote >= 0 ? tiffHeader(s, blocks.makerNote, le) : std::nullopt;
    if (note && le == state.littleEndian && beginsWithNoCase(w.makeText, "Canon")) {
        s.seek(*note);
        MakerNoteContext ctx{s, state.littleEndian, state.infoLines};
        CanonNoteRead(ctx, blocks.makerNote, blocks.makerNoteSize - (*note - blocks.makerNote));
    }
}

}  // namespace metadata
