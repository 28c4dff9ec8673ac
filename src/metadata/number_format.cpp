#include "metadata/number_format.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace metadata {
namespace {

struct Section {
    std::string prefix;     // literal text before the first digit position
    std::string suffix;     // literal text after it
    int minIntDigits = 0;   // '0' positions before the point
    int minDecimals = 0;    // '0' positions after the point
    int maxDecimals = 0;    // all digit positions after the point
    bool grouping = false;
};

Section parseSection(std::string_view p)
{
    Section s;
    bool seenDigit = false;
    bool afterPoint = false;
    bool inIntZeros = false;
    auto literal = [&](std::string_view text) {
        if (seenDigit)
            s.suffix.append(text);
        else
            s.prefix.append(text);
    };
    for (size_t i = 0; i < p.size(); ++i) {
        const char c = p[i];
        if (c == '"' || c == '\'') {
            size_t end = p.find(c, i + 1);
            if (end == std::string_view::npos)
                end = p.size();
            literal(p.substr(i + 1, end - i - 1));
            i = end;
        } else if (c == '0' || c == '#') {
            seenDigit = true;
            if (afterPoint) {
                ++s.maxDecimals;
                if (c == '0')
                    s.minDecimals = s.maxDecimals;
            } else if (c == '0') {
                inIntZeros = true;
                ++s.minIntDigits;
            } else if (inIntZeros) {
                // "0#" is unusual; a '#' after a '0' still counts as required.
                ++s.minIntDigits;
            }
        } else if (c == '.') {
            if (!afterPoint && !(seenDigit && !s.suffix.empty())) {
                afterPoint = true;
                seenDigit = true;
            } else {
                literal(p.substr(i, 1));
            }
        } else if (c == ',') {
            if (!afterPoint)
                s.grouping = true;
            else
                literal(p.substr(i, 1));
        } else {
            literal(p.substr(i, 1));
        }
    }
    return s;
}

// The exact decimal digits of |value| rounded half away from zero to the
// given number of decimals: integer digits and decimal digits.
void roundedDigits(double value, int decimals, std::string& intPart, std::string& fracPart)
{
    char buf[512];
    // glibc prints the exact binary value, so rounding the text is exact.
    std::snprintf(buf, sizeof buf, "%.60f", std::fabs(value));
    std::string text(buf);
    const size_t point = text.find('.');
    std::string ip = text.substr(0, point);
    std::string fp = point == std::string::npos ? std::string() : text.substr(point + 1);
    fp.resize(static_cast<size_t>(decimals) + 1, '0');
    const bool roundUp = fp[static_cast<size_t>(decimals)] >= '5';
    fp.resize(static_cast<size_t>(decimals));
    if (roundUp) {
        std::string digits = ip + fp;
        int k = static_cast<int>(digits.size()) - 1;
        while (k >= 0) {
            if (digits[static_cast<size_t>(k)] == '9') {
                digits[static_cast<size_t>(k)] = '0';
                --k;
            } else {
                ++digits[static_cast<size_t>(k)];
                break;
            }
        }
        if (k < 0)
            digits.insert(digits.begin(), '1');
        ip = digits.substr(0, digits.size() - fp.size());
        fp = digits.substr(digits.size() - fp.size());
    }
    size_t nz = ip.find_first_not_of('0');
    ip = nz == std::string::npos ? std::string() : ip.substr(nz);
    intPart = ip;
    fracPart = fp;
}

std::string writeNumber(double value, const Section& s)
{
    std::string ip, fp;
    roundedDigits(value, s.maxDecimals, ip, fp);
    while (static_cast<int>(fp.size()) > s.minDecimals && !fp.empty() && fp.back() == '0')
        fp.pop_back();
    while (static_cast<int>(ip.size()) < s.minIntDigits)
        ip.insert(ip.begin(), '0');
    if (s.grouping && ip.size() > 3) {
        std::string grouped;
        const size_t lead = ip.size() % 3;
        for (size_t i = 0; i < ip.size(); ++i) {
            if (i != 0 && (i % 3) == lead % 3 && !(lead == 0 && i == 0))
                grouped += ',';
            grouped += ip[i];
        }
        ip = grouped;
    }
    std::string out = s.prefix + ip;
    if (!fp.empty())
        out += "." + fp;
    out += s.suffix;
    return out;
}

bool roundsToZero(double value, int decimals)
{
    std::string ip, fp;
    roundedDigits(value, decimals, ip, fp);
    return ip.empty() && fp.find_first_not_of('0') == std::string::npos;
}

// Splits at ';' outside quoted text.
std::vector<std::string_view> sections(std::string_view pattern)
{
    std::vector<std::string_view> out;
    size_t start = 0;
    char quote = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            out.push_back(pattern.substr(start, i - start));
            start = i + 1;
        }
    }
    out.push_back(pattern.substr(start));
    return out;
}

}  // namespace

std::string formatNumber(double value, std::string_view pattern)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value > 0 ? "INF" : "-INF";
    const auto parts = sections(pattern);
    const Section first = parseSection(parts[0]);
    if (value < 0 && !roundsToZero(value, first.maxDecimals)) {
        if (parts.size() >= 2 && !parts[1].empty()) {
            const Section second = parseSection(parts[1]);
            return writeNumber(value, second);
        }
        // Not "-" + text: GCC 12 warns about that operator+ at -O3.
        return std::string(1, '-').append(writeNumber(value, first));
    }
    return writeNumber(value, first);
}

}  // namespace metadata
