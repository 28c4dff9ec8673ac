#include "platform/file_list_box.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <filesystem>
#include <system_error>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#endif

namespace platform {

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

// A name made a QString: most names are plain ASCII, which needs no decoding.
QString nameOf(const char* bytes)
{
    const size_t n = std::strlen(bytes);
    for (size_t i = 0; i < n; ++i)
        if (static_cast<unsigned char>(bytes[i]) >= 0x80)
            return QFile::decodeName(QByteArray(bytes, static_cast<qsizetype>(n)));
    return QString::fromLatin1(bytes, static_cast<qsizetype>(n));
}

QString withoutTrailingSeparator(const QString& dir)
{
    QString d = QDir::fromNativeSeparators(dir);
    while (d.size() > 1 && d.endsWith(QLatin1Char('/')) && !(d.size() == 3 && d.at(1) == QLatin1Char(':')))
        d.chop(1);
    return QDir::toNativeSeparators(d);
}

}  // namespace

#ifdef _WIN32
bool listFolder(const QString& dir, QStringList* folders, QStringList* files)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(fs::path(QDir::toNativeSeparators(dir).toStdWString()), ec);
    if (ec)
        return false;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            return false;
        const fs::directory_entry& e = *it;
        const fs::path fileName = e.path().filename();
        const QString name = QString::fromStdWString(fileName.native());
        if (QFileInfo(QDir(dir).filePath(name)).isHidden())
            continue;
        std::error_code typeError;
        if (e.is_directory(typeError)) {
            if (folders)
                *folders << name;
        } else if (files && e.is_regular_file(typeError)) {
            *files << name;
        }
    }
    return !ec;
}
#else
bool listFolder(const QString& dir, QStringList* folders, QStringList* files)
{
    const QByteArray path = QFile::encodeName(dir);
    DIR* d = opendir(path.constData());
    if (!d)
        return false;
    // The entry type comes with the directory itself; only links (and file
    // systems that do not report types) need a stat, which keeps big
    // folders quick.
    const int fd = dirfd(d);
    errno = 0;
    while (const dirent* e = readdir(d)) {
        if (e->d_name[0] == '.')
            continue;  // hidden, and "." and ".."
        bool isDir = false;
        bool isFile = false;
        if (e->d_type == DT_DIR) {
            isDir = true;
        } else if (e->d_type == DT_REG) {
            isFile = true;
        } else if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st;
            if (fstatat(fd, e->d_name, &st, 0) == 0) {
                isDir = S_ISDIR(st.st_mode);
                isFile = S_ISREG(st.st_mode);
            }
        }
        if (isDir && folders)
            *folders << nameOf(e->d_name);
        else if (isFile && files)
            *files << nameOf(e->d_name);
    }
    const bool ok = errno == 0;
    closedir(d);
    return ok;
}
#endif

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
    if (!listFolder(directory_, nullptr, &names))
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
}

}  // namespace platform
