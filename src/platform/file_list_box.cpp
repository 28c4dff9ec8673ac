#include "platform/file_list_box.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
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
    QString suffix;  // ".ext" when the pattern is "*.ext"
    QRegularExpression regex;
};

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
            !rest.contains(QLatin1Char('[')))
            p.suffix = rest;
        else
            p.regex = QRegularExpression(QRegularExpression::wildcardToRegularExpression(part),
                                         QRegularExpression::CaseInsensitiveOption);
        out.push_back(std::move(p));
    }
    return out;
}

bool matches(const std::vector<Pattern>& patterns, const QString& name)
{
    for (const Pattern& p : patterns) {
        if (!p.suffix.isEmpty()) {
            if (name.endsWith(p.suffix, Qt::CaseInsensitive))
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
            *folders << QFile::decodeName(e->d_name);
        else if (isFile && files)
            *files << QFile::decodeName(e->d_name);
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
    // Each name is case-folded once: the fold is the sort key (ties broken
    // by the name itself), which is far quicker than folding inside every
    // comparison of a big folder.
    struct Keyed {
        QString key;
        const QString* name;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(fileNames.size());
    for (const QString& name : fileNames)
        if (matches(patterns, name))
            keyed.push_back({name.toCaseFolded(), &name});
    // Plain code-unit order of the folded keys, compared inline.
    auto view = [](const QString& s) { return std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()),
                                                                  static_cast<size_t>(s.size())); };
    std::sort(keyed.begin(), keyed.end(), [&view](const Keyed& a, const Keyed& b) {
        const int c = view(a.key).compare(view(b.key));
        return c != 0 ? c < 0 : view(*a.name) < view(*b.name);
    });
    items_.reserve(static_cast<qsizetype>(keyed.size()));
    for (const Keyed& k : keyed)
        items_ << *k.name;
}

}  // namespace platform
