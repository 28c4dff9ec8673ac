// Lines of the GPS tags and the decimal position behind the map button.
#include <cmath>
#include <string>

#include "metadata/exif_walk.h"
#include "platform/text_codec.h"

namespace metadata {
namespace {

char firstByte(const std::optional<std::string>& text)
{
    return text && !text->empty() ? (*text)[0] : '\0';
}

std::u32string codePoints(std::string_view s)
{
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1Fu) : len == 3 ? (c & 0x0Fu) : (c & 0x07u);
        for (int k = 1; k < len && i + static_cast<size_t>(k) < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) & 0x3Fu);
        out += static_cast<char32_t>(cp);
        i += static_cast<size_t>(len);
    }
    return out;
}

std::string toUtf8(std::u32string_view s)
{
    std::string out;
    for (char32_t cp : s)
        platform::appendUtf8(out, static_cast<uint32_t>(cp));
    return out;
}

// The minute digits taken from the line text as a whole number; a text that
// is not one (no minutes and no seconds were written) cannot give a
// position, which ends the reading of the picture.
int parseMinutes(std::u32string_view digits)
{
    size_t i = 0;
    bool negative = false;
    if (i < digits.size() && (digits[i] == U'+' || digits[i] == U'-'))
        negative = digits[i++] == U'-';
    if (i == digits.size())
        throw MetadataError("'" + toUtf8(digits) + "' is not a valid integer value");
    int value = 0;
    for (; i < digits.size(); ++i) {
        if (digits[i] < U'0' || digits[i] > U'9')
            throw MetadataError("'" + toUtf8(digits) + "' is not a valid integer value");
        value = value * 10 + static_cast<int>(digits[i] - U'0');
    }
    return negative ? -value : value;
}

double ratio(const Rational& r)
{
    return static_cast<double>(r.numerator) / r.denominator;
}

}  // namespace

void ruleGpsLatitudeRef(ExifWalk& w, const IfdEntry& e, const TagRule&)
{
    const char c = firstByte(w.text(e.count));
    if (c == 'N')
        w.st.latitudeText = "北緯";
    else if (c == 'S')
        w.st.latitudeText = "南緯";
}

void ruleGpsLongitudeRef(ExifWalk& w, const IfdEntry& e, const TagRule&)
{
    const char c = firstByte(w.text(e.count));
    if (c == 'E')
        w.st.longitudeText = "東経";
    else if (c == 'W')
        w.st.longitudeText = "西経";
}

void ruleGpsText(ExifWalk& w, const IfdEntry& e, const TagRule& r)
{
    if (auto text = w.text(e.count))
        w.addLine(r.label + *text);
}

void ruleGpsStatus(ExifWalk& w, const IfdEntry& e, const TagRule&)
{
    auto text = w.text(e.count);
    if (!text)
        return;
    const char c = firstByte(text);
    w.addLine(std::string("GPS受信機の状態：") + (c == 'A' ? "測位中" : c == 'V' ? "未測位（中断中）" : "その他"));
}

void ruleGpsMeasureMode(ExifWalk& w, const IfdEntry& e, const TagRule&)
{
    auto text = w.text(e.count);
    if (!text)
        return;
    const char c = firstByte(text);
    w.addLine(std::string("GPSの測位方法：") + (c == '2' ? "２次元測位中" : c == '3' ? "３次元測位中" : "その他"));
}

void ruleGpsAltitudeRef(ExifWalk& w, const IfdEntry&, const TagRule&)
{
    if (auto b = w.byteValue())
        w.altitudeBelowSea = *b;
}

void ruleGpsSpeedRef(ExifWalk& w, const IfdEntry&, const TagRule&)
{
    if (auto b = w.byteValue())
        w.speedUnit = *b;
}

void ruleGpsAltitude(ExifWalk& w, const IfdEntry&, const TagRule&)
{
    auto v = w.rational();
    if (!v || v->denominator == 0)
        return;
    w.addLine(fmt(v->value(), w.altitudeBelowSea == 0 ? "\"ＧＰＳ高度：\"###0.#\"ｍ\""
                                                      : "\"ＧＰＳ高度：海面下\"###0.#\"ｍ\""));
}

void ruleGpsDop(ExifWalk& w, const IfdEntry&, const TagRule&)
{
    auto v = w.rational();
    if (v && v->denominator != 0)
        w.addLine(fmt(v->value(), "\"測位の信頼性：\"###0.#"));
}

void ruleGpsSpeed(ExifWalk& w, const IfdEntry&, const TagRule&)
{
    auto v = w.rational();
    if (!v || v->denominator == 0)
        return;
    const char* pattern = w.speedUnit == 'K'   ? "\"速度：\"###0.#\"ｋｍ／ｈ\""
                          : w.speedUnit == 'M' ? "\"速度：\"###0.#\"マイル／ｈ\""
                          : w.speedUnit == 'N' ? "\"速度：\"###0.#\"ノット\""
                                               : "\"速度：\"###0.#\"単位不明\"";
    w.addLine(fmt(v->value(), pattern));
}

void ruleGpsProcessingMethod(ExifWalk& w, const IfdEntry& e, const TagRule&)
{
    std::string text = w.comment(e.count);
    if (text == "CELLID")
        text = "携帯電話基地局";
    else if (text == "WLAN")
        text = "無線ＬＡＮデータ";
    else if (text == "GPS")
        text = "ＧＰＳ衛星データ";
    else if (text == "MANUAL")
        text = "手入力";
    w.addLine("測位方式の名称:" + text);
}

void ruleGpsAreaInformation(ExifWalk& w, const IfdEntry& e, const TagRule&)
{
    w.addLine("測位地点の名称:" + w.comment(e.count));
}

// GPSLatitude (2), GPSLongitude (4) and GPSTimeStamp (7): degrees or hours,
// minutes and seconds as three rationals.
void ruleGpsDegrees(ExifWalk& w, const IfdEntry& e, const TagRule&)
{
    const bool latitude = e.tag == 2;
    const bool longitude = e.tag == 4;
    const auto first = w.rational();
    if (!first)
        return;
    const auto second = w.rational();
    if (!second)
        return;
    std::optional<Rational> third;
    if (second->denominator <= 1) {
        third = w.rational();
        if (!third)
            return;
    }

    // Degrees: a rational counts only with a denominator of at least 1.
    std::string t;
    float v = 0.0f;
    bool invalid = false;
    if (first->denominator < 1) {
        t = "??　";
        invalid = true;
    } else {
        v = first->value();
        if (latitude) {
            t = fmt(v, "0#\"度\"");
            invalid = v > 90.0f;
        } else if (longitude) {
            t = fmt(v, "00#\"度\"");
            invalid = v > 180.0f;
        } else {
            t = fmt(v, "0#\"時\"");
        }
        if (invalid)
            t = "??" + t;
    }
    const float degrees = v;

    // Minutes, then seconds: from the third rational, or from the fraction
    // of minutes stored with a finer denominator.
    float seconds = 0.0f;
    if (second->denominator >= 1) {
        v = second->value();
        t += fmt(std::trunc(v), "0#\"分\"");
    }
    if (second->denominator <= 1) {
        if (third->denominator >= 1) {
            v = third->value();
            seconds = v;
            t += fmt(v, "0#.#\"秒\"");
        }
    } else {
        v = static_cast<float>((v - std::trunc(v)) * 60.0);
        seconds = v;
        t += fmt(v, "0#\"秒\"");
    }

    if (!latitude && !longitude) {
        w.addLine("GPS時間(UTC)：" + t);
        return;
    }

    std::string& text = latitude ? w.st.latitudeText : w.st.longitudeText;
    const char* label = latitude ? "GPS緯度：" : "GPS経度：";
    if (invalid) {
        w.addLine(label + text + t);
        text.clear();
        return;
    }

    const size_t degreeDigits = latitude ? 2 : 3;
    const bool plusSide = text == (latitude ? "北緯" : "東経");
    std::string sign = plusSide ? (w.st.options.useGoogleMap ? "+" : "") : "-";

    if (degrees > 0.0f && degrees != std::trunc(degrees)) {
        // Some writers store decimal degrees with zero minutes; the
        // fraction is carried into the minutes and seconds so that the line
        // and the map show where the picture was taken.
        double total = ratio(*first);
        if (second->denominator >= 1)
            total += ratio(*second) / 60.0;
        if (second->denominator <= 1 && third->denominator >= 1)
            total += ratio(*third) / 3600.0;
        const long long tenths = std::llround(total * 36000.0);
        const long long wholeDegrees = tenths / 36000;
        const long long minutes = tenths % 36000 / 600;
        const double secs = static_cast<double>(tenths % 600) / 10.0;
        t = fmt(static_cast<double>(wholeDegrees), latitude ? "0#\"度\"" : "00#\"度\"")
            + fmt(static_cast<double>(minutes), "0#\"分\"") + fmt(secs, "0#.#\"秒\"");
        const long long micro = std::llround(total * 1e6);
        text = sign + fmt(static_cast<double>(micro / 1000000), latitude ? "00" : "000") + "."
               + fmt(static_cast<double>(micro % 1000000), "000000");
    } else {
        const std::u32string cps = codePoints(t);
        const std::u32string_view view(cps);
        const std::u32string_view minuteDigits =
            view.size() > degreeDigits + 1 ? view.substr(degreeDigits + 1, 2) : std::u32string_view();
        text = sign + toUtf8(view.substr(0, degreeDigits)) + ".";
        const int m = parseMinutes(minuteDigits);
        const auto fraction = static_cast<float>((m * 60.0 + seconds) * 10000.0 / 36.0);
        text += fmt(fraction, "00000#");
    }

    if (latitude)
        w.addLine((text.starts_with("-") ? "GPS緯度：南緯" : "GPS緯度：北緯") + t);
    else
        w.addLine((text.starts_with("-") ? "GPS経度：西経" : "GPS経度：東経") + t);
}

}  // namespace metadata
