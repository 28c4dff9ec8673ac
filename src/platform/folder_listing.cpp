#include "platform/folder_listing.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

#include "platform/file_names.h"

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

// A name made a QString that turns back into the same bytes, whatever
// they are (file_names.h).
QString nameOf(const char* bytes)
{
    return decodeFileName(bytes, static_cast<qsizetype>(std::strlen(bytes)));
}

}  // namespace

bool folderNameLess(const QString& a, const QString& b)
{
    // The same collation the file-system model sorts its rows with, so the
    // walk numbers folders in the order the tree shows them.
    thread_local QCollator collator = [] {
        QCollator c;
        c.setNumericMode(true);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    const int r = collator.compare(a, b);
    return r != 0 ? r < 0 : a < b;
}

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
    const QByteArray path = encodeFileName(dir);
    DIR* d = opendir(path.constData());
    if (!d)
        return false;
    // The entry type comes with the directory itself; only links (and file
    // systems that do not report types) need a stat, which keeps big
    // folders quick.
    const int fd = dirfd(d);
    bool ok = true;
    for (;;) {
        // Only readdir's own error counts: a stat that failed on the entry
        // before (a dangling link) leaves its errno behind.
        errno = 0;
        const dirent* e = readdir(d);
        if (!e) {
            ok = errno == 0;
            break;
        }
        if (e->d_name[0] == '.')
            continue;  // hidden, and "." and ".."
        bool isDir = false;
        bool isFile = false;
        if (e->d_type == DT_DIR) {
            isDir = true;
        } else if (e->d_type == DT_REG) {
            isFile = true;
        } else if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            // An entry whose stat fails (a dangling link, a name gone
            // meanwhile) is left out; the rest of the folder is listed.
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
    closedir(d);
    return ok;
}
#endif

}  // namespace platform
