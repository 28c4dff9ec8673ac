#pragma once
// The one way files are opened for reading. A folder may hold anything under
// a picture's name: a FIFO (whose open waits for a writer for ever), a link
// to a device such as /dev/zero (endless), a sparse file of 64 GB. So the
// file is opened without waiting (O_NONBLOCK), its kind and size are taken
// from the open descriptor itself (never a name check followed by a second
// open, which a swap in between would defeat), anything but a regular file
// is refused, and all reading goes through that descriptor.
#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <atomic>

namespace platform {

enum class OpenResult {
    Opened,
    Missing,     // absent or unreadable
    NotRegular,  // a folder, FIFO, device or socket
    TooLarge,    // above the caller's cap
};

// What a lookup by name tells of a file, without opening it.
struct FileFacts {
    bool exists = false;
    bool regular = false;
    bool directory = false;
    bool hidden = false;  // a dot name
    bool symLink = false;
    qint64 size = -1;
    QDateTime modified;  // local time
};
// Follows links (symLink tells whether the name itself is one).
FileFacts lookUpFile(const QString& path);
bool isDirectory(const QString& path);
// The path with every link resolved; empty when it cannot be.
QString realPath(const QString& path);

class RegularFile {
public:
    RegularFile() = default;
    // Opens path when it is a regular file of at most maxBytes (-1: any size).
    explicit RegularFile(const QString& path, qint64 maxBytes = -1);
    ~RegularFile();
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    OpenResult result() const { return result_; }
    bool isOpen() const { return fd_ >= 0; }
    // The descriptor, for handing the checked file on (still owned here).
    int descriptor() const { return fd_; }
    qint64 size() const { return size_; }
    QDateTime modified() const { return modified_; }

    // Reads up to n bytes at the current position.
    qint64 read(char* dest, qint64 n);
    // Reads the file from its start: the whole of it, but never more than
    // limit bytes (-1: the size found at open) nor more than the cap given at
    // open; a file grown since is read only as far as that. progress counts
    // the bytes read so far. False when reading fails, also when the memory
    // for it cannot be had.
    bool readAll(QByteArray& out, qint64 limit = -1, std::atomic<qint64>* progress = nullptr);

private:
    void close();

    int fd_ = -1;
    OpenResult result_ = OpenResult::Missing;
    qint64 size_ = -1;
    qint64 cap_ = -1;
    QDateTime modified_;
};

}  // namespace platform
