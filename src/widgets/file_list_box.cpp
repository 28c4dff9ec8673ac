#include "widgets/file_list_box.h"

#include "platform/folder_listing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <string_view>
#include <vector>


namespace widgets {

namespace {

// One pattern of a mask. "*.ext" (the usual case) is a plain suffix test,
// which is far cheaper than a regular expression over thousands of names.
struct Pattern {
    QString suffix;  // ".ext" in lower case when the pattern is "*.ext" of ASCII
    QRegularExpression regex;
};

bool isAscii(const QString& s)
{
    for (QChar c : s)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

char16_t asciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

std::vector<Pattern> parseMask(const QString& mask)
{
    std::vector<Pattern> out;
    const QStringList parts = mask.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString part : parts) {
        part = part.trimmed();
        if (part.isEmpty())
            continue;
        Pattern p;
        const QString rest = part.mid(1);
        if (part.startsWith(QLatin1Char('*')) && rest.startsWith(QLatin1Char('.')) &&
            !rest.contains(QLatin1Char('*')) && !rest.contains(QLatin1Char('?')) &&
            !rest.contains(QLatin1Char('[')) && isAscii(rest))
            p.suffix = rest.toLower();
        else
            p.regex = QRegularExpression(QRegularExpression::wildcardToRegularExpression(part),
                                         QRegularExpression::CaseInsensitiveOption);
        out.push_back(std::move(p));
    }
    return out;
}

// Whether name ends in the lower-case ASCII suffix, ASCII letters of either
// case alike (a non-ASCII letter never folds to an ASCII one but for the
// Kelvin sign and the long s, which no file-name ending holds).
bool endsWithAscii(const QString& name, const QString& suffix)
{
    const qsizetype n = suffix.size();
    if (name.size() < n)
        return false;
    const char16_t* tail = reinterpret_cast<const char16_t*>(name.utf16()) + (name.size() - n);
    const char16_t* want = reinterpret_cast<const char16_t*>(suffix.utf16());
    for (qsizetype i = 0; i < n; ++i)
        if (asciiLower(tail[i]) != want[i])
            return false;
    return true;
}

bool matches(const std::vector<Pattern>& patterns, const QString& name)
{
    for (const Pattern& p : patterns) {
        if (!p.suffix.isEmpty()) {
            if (endsWithAscii(name, p.suffix))
                return true;
        } else if (p.regex.match(name).hasMatch()) {
            return true;
        }
    }
    return false;
}

QString withoutTrailingSeparator(const QString& dir)
{
    QString d = QDir::fromNativeSeparators(dir);
    while (d.size() > 1 && d.endsWith(QLatin1Char('/')) && !(d.size() == 3 && d.at(1) == QLatin1Char(':')))
        d.chop(1);
    return QDir::toNativeSeparators(d);
}

}  // namespace

void FileListBox::setMask(const QString& mask)
{
    if (mask == mask_)
        return;
    mask_ = mask;
    if (!directory_.isEmpty())
        update();
}

bool FileListBox::setDirectory(const QString& dir)
{
    directory_ = withoutTrailingSeparator(dir);
    return update();
}

bool FileListBox::update()
{
    items_.clear();
    if (directory_.isEmpty())
        return false;
    QStringList names;
    if (!platform::listFolder(directory_, nullptr, &names))
        return false;
    takeMatching(names);
    return true;
}

bool FileListBox::setListing(const QString& dir, const QStringList& fileNames, bool readable)
{
    directory_ = withoutTrailingSeparator(dir);
    items_.clear();
    if (!readable)
        return false;
    takeMatching(fileNames);
    return true;
}

void FileListBox::takeMatching(const QStringList& fileNames)
{
    const std::vector<Pattern> patterns = parseMask(mask_);
    // The sort key is the case-folded name, ties broken by the name itself.
    // An ASCII name is folded inline during the comparison; other names are
    // folded once beforehand. Folding inside every comparison, or every name
    // beforehand, costs a big folder more than its listing.
    struct Keyed {
        const QString* name;
        QString folded;  // only for names that are not ASCII
        const char16_t* key() const
        {
            return reinterpret_cast<const char16_t*>(folded.isNull() ? name->utf16() : folded.utf16());
        }
        qsizetype size() const { return folded.isNull() ? name->size() : folded.size(); }
        bool ascii() const { return folded.isNull(); }
    };
    std::vector<Keyed> keyed;
    keyed.reserve(static_cast<size_t>(fileNames.size()));
    for (const QString& name : fileNames)
        if (matches(patterns, name))
            keyed.push_back({&name, isAscii(name) ? QString() : name.toCaseFolded()});
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        const char16_t* ka = a.key();
        const char16_t* kb = b.key();
        const qsizetype n = std::min(a.size(), b.size());
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t ca = a.ascii() ? asciiLower(ka[i]) : ka[i];
            const char16_t cb = b.ascii() ? asciiLower(kb[i]) : kb[i];
            if (ca != cb)
                return ca < cb;
        }
        if (a.size() != b.size())
            return a.size() < b.size();
        auto view = [](const QString& s) {
            return std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size()));
        };
        return view(*a.name) < view(*b.name);
    });
    items_.reserve(static_cast<qsizetype>(keyed.size()));
    for (const Keyed& k : keyed)
        items_ << *k.name;
    items_ = withoutRawTwins(items_);
}

QStringList withoutRawTwins(const QStringList& names)
{
    static const QString kRaw[] = {QStringLiteral(".cr2"), QStringLiteral(".cr3"), QStringLiteral(".nef"),
                                   QStringLiteral(".rw2"), QStringLiteral(".dng")};
    static const QString kShot[] = {QStringLiteral(".jpg"), QStringLiteral(".jpeg"), QStringLiteral(".heic"),
                                    QStringLiteral(".heif")};
    auto baseIf = [](const QString& name, const auto& endings) -> QString {
        for (const QString& e : endings)
            if (endsWithAscii(name, e))
                return name.left(name.size() - e.size()).toCaseFolded();
        return {};
    };
    // Most folders hold no raw files: one cheap pass tells.
    const bool anyRaw = std::any_of(names.begin(), names.end(),
                                    [&](const QString& n) { return !baseIf(n, kRaw).isNull(); });
    if (!anyRaw)
        return names;
    QSet<QString> shots;
    for (const QString& n : names) {
        const QString base = baseIf(n, kShot);
        if (!base.isNull())
            shots.insert(base);
    }
    QStringList out;
    out.reserve(names.size());
    for (const QString& n : names) {
        const QString base = baseIf(n, kRaw);
        if (base.isNull() || !shots.contains(base))
            out << n;
    }
    return out;
}

}  // namespace widgets
