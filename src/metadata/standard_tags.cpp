// Lines of the standard (non-GPS) Exif tags.
#include <algorithm>
#include <string>

#include "metadata/comment_reader.h"
#include "metadata/exif_walk.h"
#include "platform/text_codec.h"

namespace metadata {

void ruleText(ExifWalk& w, const IfdEntry& e, const TagRule& r)
{
    if (auto text = w.text(e.count))
        w.addLine(r.label + *text);
}

void ruleMake(ExifWalk& w, const IfdEntry& e, const TagRule& r)
{
    if (auto text = w.text(e.count)) {
        w.makeText = *text;
        w.addLine(r.label + *text);
    }
}

// DateTime and DateTimeOriginal: the caption shows the text as stored.
void ruleDateTime(ExifWalk& w, const IfdEntry& e, const TagRule& r)
{
    if (auto text = w.text(e.count)) {
        w.st.sink.setDateCaption(*text);
        w.addLine(r.label + *text);
    }
}

// DateTimeDigitized leaves the caption to an original date read just before.
void ruleDateTimeDigitized(ExifWalk& w, const IfdEntry& e, const TagRule& r)
{
    if (auto text = w.text(e.count)) {
        if (!w.lineText.starts_with("原画"))
            w.st.sink.setDateCaption(*text);
        w.addLine(r.label + *text);
    }
}

void ruleCodeTable(ExifWalk& w, const IfdEntry&, const TagRule& r)
{
    if (auto v = w.code())
        w.addLine(std::string(r.label) + r.table->lookup(*v));
}

void ruleCodeNumber(ExifWalk& w, const IfdEntry&, const TagRule& r)
{
    if (auto v = w.code())
        w.addLine(r.label + std::to_string(*v) + r.suffix);
}

void ruleLong(ExifWalk& w, const IfdEntry&, const TagRule& r)
{
    if (auto v = w.longValue())
        w.addLine(r.label + std::to_string(*v));
}

void ruleRationalPattern(ExifWalk& w, const IfdEntry&, const TagRule& r)
{
    auto v = w.rational();
    if (v && v->denominator != 0)
        w.addLine(fmt(v->value(), r.label));
}

void ruleExposureTime(ExifWalk& w, const IfdEntry&, const TagRule&)
{
    auto v = w.rational();
    if (!v || v->denominator == 0)
        return;
    if (v->numerator < v->denominator && v->numerator != 0) {
        const auto fraction = static_cast<float>(static_cast<double>(v->denominator) / v->numerator);
        w.addLine(fmt(fraction, "\"シャッター：\"#####.##\"分の1秒\""));
    } else {
        w.addLine(fmt(v->value(), "\"シャッター：\"#####.##\"秒\""));
    }
}

void ruleBrightness(ExifWalk& w, const IfdEntry&, const TagRule&)
{
    auto v = w.rational();
    if (!v || v->denominator == 0)
        return;
    if (v->numerator == -1)
        w.addLine("輝度値：不明");
    else
        w.addLine(fmt(v->value(), "\"輝度値：\"####0.##\"(APEX)\";\"輝度値：-\"####0.##\"(APEX)\""));
}

void ruleSubjectDistance(ExifWalk& w, const IfdEntry&, const TagRule&)
{
    auto v = w.rational();
    if (!v || v->denominator == 0)
        return;
    if (v->numerator == 0)
        w.addLine("被写体距離：不明");
    else if (v->numerator == -1)
        w.addLine("被写体距離：無限遠");
    else
        w.addLine(fmt(v->value(), "\"被写体距離：\"#####.##\"m\""));
}

void ruleDigitalZoom(ExifWalk& w, const IfdEntry&, const TagRule&)
{
    auto v = w.rational();
    if (!v || v->denominator == 0)
        return;
    if (v->value() == 0.0f)
        w.addLine("デジタルズーム：なし");
    else
        w.addLine(fmt(v->value(), "\"デジタルズーム倍率：\"###.#"));
}

void ruleLensSpecification(ExifWalk& w, const IfdEntry& e, const TagRule&)
{
    static const char* const kPatterns[4] = {
        "\"レンズ仕様・最小焦点距離：\"#####.##\"mm\"",
        "\"レンズ仕様・最大焦点距離：\"#####.##\"mm\"",
        "\"レンズ仕様・最小焦点距離での最小Ｆ値：\"#####.##",
        "\"レンズ仕様・最大焦点距離での最小Ｆ値：\"#####.##",
    };
    // Rationals after the fourth give no line, so they are not read.
    const int64_t n = std::min<int64_t>(e.count, 4);
    for (int64_t i = 0; i < n; ++i) {
        auto v = w.rational();
        if (!v)
            return;
        if (v->denominator != 0)
            w.addLine(fmt(v->value(), kPatterns[i]));
    }
}

void ruleSubjectArea(ExifWalk& w, const IfdEntry& e, const TagRule&)
{
    // An area without values says nothing, so it gives no line.
    if (e.count <= 0)
        return;
    const int64_t n = std::min<int64_t>(e.count, 4);
    uint16_t v[4] = {};
    for (int64_t i = 0; i < n; ++i) {
        auto c = w.code();
        if (!c)
            return;
        v[i] = *c;
    }
    std::string line = "被写体領域(pix)：X=" + std::to_string(v[0]);
    if (n >= 2)
        line += ";Y=" + std::to_string(v[1]);
    if (n >= 3)
        line += (e.count == 3 ? ";径=" : ";幅=") + std::to_string(v[2]);
    if (n >= 4)
        line += ";高さ=" + std::to_string(v[3]);
    w.addLine(line);
}

void ruleFileSource(ExifWalk& w, const IfdEntry&, const TagRule& r)
{
    if (auto v = w.byteValue())
        w.addLine(std::string(r.label) + r.table->lookup(*v));
}

void ruleLumixText(ExifWalk& w, const IfdEntry& e, const TagRule& r)
{
    auto b = w.bytes(std::min<int64_t>(e.count, 1024));
    if (!b)
        return;
    const std::string_view raw = b->substr(0, std::min(b->find('\0'), b->size()));
    if (raw.empty())
        return;
    w.addLine(r.label + trimBlanks(platform::sanitizeUtf8(raw)));
}

void ruleRelatedSound(ExifWalk& w, const IfdEntry& e, const TagRule&)
{
    if (auto text = w.text(e.count))
        w.st.sink.playRelatedFile(trimBlanks(*text));
}

void ruleProcessingSoftware(ExifWalk& w, const IfdEntry& e, const TagRule&)
{
    const int64_t start = w.s.position();
    auto v = w.rational();
    if (!v || v->denominator == 0)
        return;
    w.s.seek(start);
    if (auto text = w.text(std::min<int64_t>(e.count, 1024)))
        w.addLine("使用ソフトウェア：" + *text);
}

}  // namespace metadata
