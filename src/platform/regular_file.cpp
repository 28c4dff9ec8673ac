#include "platform/regular_file.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "imaging/large_image.h"
#include "platform/file_names.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

// Reads go in pieces, so a watcher sees the bytes arrive.
constexpr qint64 kPiece = 1 << 20;

#ifndef _WIN32
QDateTime modifiedOf(const struct stat& st)
{
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(st.st_mtim.tv_sec) * 1000 +
                                          st.st_mtim.tv_nsec / 1000000);
}
#endif

}  // namespace

FileFacts lookUpFile(const QString& path)
{
    FileFacts f;
#ifdef _WIN32
    const QFileInfo info(path);
    f.exists = info.exists();
    f.regular = info.isFile();
    f.directory = info.isDir();
    f.hidden = info.isHidden();
    f.symLink = info.isSymLink();
    f.size = f.exists ? info.size() : -1;
    f.modified = info.lastModified();
#else
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    f.hidden = path.mid(slash + 1).startsWith(QLatin1Char('.'));
    const QByteArray name = encodeFileName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0)
        return f;
    f.symLink = S_ISLNK(st.st_mode);
    if (f.symLink && ::stat(name.constData(), &st) != 0)
        return f;  // a dangling link is no file
    f.exists = true;
    f.regular = S_ISREG(st.st_mode);
    f.directory = S_ISDIR(st.st_mode);
    f.size = static_cast<qint64>(st.st_size);
    f.modified = modifiedOf(st);
#endif
    return f;
}

bool isDirectory(const QString& path) { return lookUpFile(path).directory; }

QString realPath(const QString& path)
{
#ifdef _WIN32
    return QFileInfo(path).canonicalFilePath();
#else
    char* real = ::realpath(encodeFileName(path).constData(), nullptr);
    if (!real)
        return QString();
    const QString out = decodeFileName(real, static_cast<qsizetype>(std::strlen(real)));
    std::free(real);
    return out;
#endif
}

RegularFile::RegularFile(const QString& path, qint64 maxBytes) : cap_(maxBytes)
{
#ifdef _WIN32
    fd_ = ::_wopen(QDir::toNativeSeparators(path).toStdWString().c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd_ < 0)
        return;
    struct _stat64 st {};
    const bool regular = ::_fstat64(fd_, &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
    if (regular) {
        size_ = static_cast<qint64>(st.st_size);
        modified_ = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(st.st_mtime));
    }
#else
    fd_ = ::open(encodeFileName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0)
        return;
    struct stat st {};
    const bool regular = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    if (regular) {
        size_ = static_cast<qint64>(st.st_size);
        modified_ = modifiedOf(st);
        // Reads of a regular file wait for the disk as usual.
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    }
#endif
    if (!regular) {
        close();
        result_ = OpenResult::NotRegular;
        return;
    }
    if (maxBytes >= 0 && size_ > maxBytes) {
        close();
        result_ = OpenResult::TooLarge;
        return;
    }
    result_ = OpenResult::Opened;
}

RegularFile::~RegularFile() { close(); }

RegularFile::RegularFile(RegularFile&& o) noexcept
    : fd_(o.fd_), result_(o.result_), size_(o.size_), cap_(o.cap_), modified_(std::move(o.modified_))
{
    o.fd_ = -1;
}

RegularFile& RegularFile::operator=(RegularFile&& o) noexcept
{
    if (this != &o) {
        close();
        fd_ = o.fd_;
        result_ = o.result_;
        size_ = o.size_;
        cap_ = o.cap_;
        modified_ = std::move(o.modified_);
        o.fd_ = -1;
    }
    return *this;
}

void RegularFile::close()
{
    if (fd_ < 0)
        return;
#ifdef _WIN32
    ::_close(fd_);
#else
    ::close(fd_);
#endif
    fd_ = -1;
}

qint64 RegularFile::read(char* dest, qint64 n)
{
    if (fd_ < 0 || n <= 0)
        return 0;
    for (;;) {
#ifdef _WIN32
        const int got = ::_read(fd_, dest, static_cast<unsigned>(std::min<qint64>(n, 1 << 30)));
        return got < 0 ? -1 : got;
#else
        const ssize_t got = ::read(fd_, dest, static_cast<size_t>(std::min<qint64>(n, 1 << 30)));
        if (got < 0 && errno == EINTR)
            continue;
        return got < 0 ? -1 : static_cast<qint64>(got);
#endif
    }
}

qint64 RegularFile::readAt(qint64 at, char* dest, qint64 n)
{
    qint64 end = size_;
    if (cap_ >= 0)
        end = std::min(end, cap_);
    if (fd_ < 0 || at < 0 || at >= end || n <= 0)
        return 0;
    n = std::min(n, end - at);
    qint64 have = 0;
    while (have < n) {
#ifdef _WIN32
        if (::_lseeki64(fd_, at + have, SEEK_SET) < 0)
            return -1;
        const qint64 got = read(dest + have, n - have);
#else
        const ssize_t got = ::pread(fd_, dest + have, static_cast<size_t>(std::min<qint64>(n - have, 1 << 30)),
                                    static_cast<off_t>(at + have));
        if (got < 0 && errno == EINTR)
            continue;
#endif
        if (got < 0)
            return -1;
        if (got == 0)
            break;  // shorter than it was
        have += got;
    }
    return have;
}

bool RegularFile::readAll(QByteArray& out, qint64 limit, std::atomic<qint64>* progress)
{
    out.clear();
    if (fd_ < 0)
        return false;
    qint64 want = size_;
    if (limit >= 0)
        want = std::min(want, limit);
    if (cap_ >= 0)
        want = std::min(want, cap_);
    try {
        out = imaging::largeByteArray(static_cast<qsizetype>(want));
    } catch (...) {
        // std::bad_alloc, as Qt raises it: a file the memory cannot hold is
        // a file that cannot be read.
        out = QByteArray();
        return false;
    }
    qint64 have = 0;
    while (have < want) {
        const qint64 got = read(out.data() + have, std::min(kPiece, want - have));
        if (got < 0) {
            out = QByteArray();
            return false;
        }
        if (got == 0)
            break;  // shorter than it was: the decoders meet a cut file
        have += got;
        if (progress)
            progress->store(have, std::memory_order_relaxed);
    }
    out.truncate(static_cast<qsizetype>(have));
    return true;
}

}  // namespace platform
