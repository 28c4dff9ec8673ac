#include "platform/file_names.h"

#include <string>
#include <string_view>

#include "platform/text_codec.h"

namespace platform {

namespace {

constexpr char16_t kRawBase = 0xDC00;

// A raw byte is a low surrogate standing alone: one that follows a high
// surrogate is the second half of a character beyond U+FFFF.
bool isRawUnit(const QString& s, qsizetype i)
{
    const char16_t c = s.at(i).unicode();
    return c >= 0xDC80 && c <= 0xDCFF && !(i > 0 && QChar::isHighSurrogate(s.at(i - 1).unicode()));
}

// Length of the valid UTF-8 sequence starting at p (0 when there is none):
// no overlong forms, no encoded surrogates, nothing above U+10FFFF.
int sequenceLength(const unsigned char* p, qsizetype left)
{
    const unsigned char b = p[0];
    auto cont = [&](qsizetype i) { return i < left && (p[i] & 0xC0) == 0x80; };
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF)
        return cont(1) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        if (!cont(1) || !cont(2))
            return 0;
        if (b == 0xE0 && p[1] < 0xA0)
            return 0;  // overlong
        if (b == 0xED && p[1] >= 0xA0)
            return 0;  // a surrogate
        return 3;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3))
            return 0;
        if (b == 0xF0 && p[1] < 0x90)
            return 0;
        if (b == 0xF4 && p[1] >= 0x90)
            return 0;
        return 4;
    }
    return 0;
}

// Shift-JIS structure: single bytes, half-width katakana, lead and trail.
bool looksLikeCp932(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char b = p[i];
        if (b < 0x80 || (b >= 0xA1 && b <= 0xDF))
            continue;
        const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        if (!lead || i + 1 >= n)
            return false;
        const unsigned char t = p[++i];
        if (t < 0x40 || t == 0x7F || t > 0xFC)
            return false;
    }
    return true;
}

}  // namespace

QString decodeFileName(const char* bytes, qsizetype size)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    qsizetype i = 0;
    while (i < size && p[i] < 0x80)
        ++i;
    if (i == size)
        return QString::fromLatin1(bytes, size);
    // Valid stretches are decoded whole, each byte of an invalid sequence
    // becomes its raw unit.
    QString out;
    out.reserve(size);
    qsizetype from = 0;
    while (i < size) {
        const int n = sequenceLength(p + i, size - i);
        if (n > 0) {
            i += n;
            continue;
        }
        out += QString::fromUtf8(bytes + from, i - from);
        out += QChar(static_cast<char16_t>(kRawBase + p[i]));
        from = ++i;
    }
    out += QString::fromUtf8(bytes + from, size - from);
    return out;
}

QString decodeFileName(const QByteArray& bytes) { return decodeFileName(bytes.constData(), bytes.size()); }

QByteArray encodeFileName(const QString& name)
{
    if (!hasRawBytes(name))
        return name.toUtf8();
    QByteArray out;
    out.reserve(name.size() * 3);
    qsizetype from = 0;
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (!isRawUnit(name, i))
            continue;
        out += QStringView(name).mid(from, i - from).toUtf8();
        out += static_cast<char>(name.at(i).unicode() - kRawBase);
        from = i + 1;
    }
    out += QStringView(name).mid(from).toUtf8();
    return out;
}

bool hasRawBytes(const QString& name)
{
    for (qsizetype i = 0; i < name.size(); ++i)
        if (isRawUnit(name, i))
            return true;
    return false;
}

QString displayFileName(const QString& name)
{
    if (!hasRawBytes(name))
        return name;
    const QByteArray bytes = encodeFileName(name);
    if (looksLikeCp932(bytes)) {
        const std::string utf8 = cp932ToUtf8(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
        return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    }
    QString out = name;
    for (qsizetype i = 0; i < name.size(); ++i)
        if (isRawUnit(name, i))
            out[i] = QChar(0xFFFD);
    return out;
}

}  // namespace platform
