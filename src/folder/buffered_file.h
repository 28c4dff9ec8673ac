#pragma once
// A picture file read from the front in a few large reads. The first part of
// the file is kept in memory, so the many small reads of a segment or IFD
// walk cost no system call each; reads beyond it go to the file directly.
// The file size is only asked of the system when a read has not already
// found the end.
#include <QString>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "metadata/containers.h"

namespace order {

// A path in the form the system's open call takes, so a folder's part is
// converted once and every file name only appended.
#ifdef _WIN32
using NativePath = std::wstring;
#else
using NativePath = std::string;
#endif
NativePath nativePath(const QString& path);
// Whether a file's open or read has waited for a disk (the folder is not
// in the system's cache) since this was called: a pool's own reads, not
// those of other files a moment before (a folder in the cache is read on
// a few threads even right after another one came from the disk); always
// where that is not told. Reads are timed only while such an answer is
// kept: let it go once it is no longer asked.
std::function<bool()> readsWaitForDiskFromNow();
// dir followed by the platform's separator and name.
NativePath nativeChild(const NativePath& dir, const QString& name);
// A file name in the form the system's open call takes.
NativePath nativeName(const QString& name);

// A folder whose files are opened by their names within it: the system
// walks the folder's path once, not again for every file of a long list
// (about a tenth of the cost of opening a file from the cache, more in a
// deep folder). Where the folder cannot be held open, files are opened by
// path.
class Folder {
public:
    // held: whether the folder is held open (one descriptor each: a list
    // of many folders is better served by paths).
    explicit Folder(const NativePath& path, bool held = true);
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    const NativePath& path() const { return path_; }

    // Asks the system to bring the start of the named file (nativeName)
    // into its cache, without waiting for it: a read of it soon after finds
    // it there. Nothing where that cannot be asked.
    void hint(const NativePath& name) const;
    // What hint asks for: what the system's first read-ahead brings in.
    static constexpr int64_t kHintBytes = 16384;

private:
    friend class BufferedFile;
    // Where the file of that name is opened: (the folder's descriptor, the
    // name) when the folder is held open, else (-1, its path).
    std::pair<int, NativePath> place(const NativePath& name) const;

    NativePath path_;
    int fd_ = -1;
};

class BufferedFile {
public:
    explicit BufferedFile(const QString& path);
    explicit BufferedFile(const NativePath& path);
    // The file of that name (nativeName) in the folder.
    BufferedFile(const Folder& folder, const NativePath& name);
    ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    static constexpr int64_t kFirstRead = 4096;

    bool isOpen() const { return fd_ >= 0; }

    int64_t position() const { return pos_; }
    void seek(int64_t absolute) { pos_ = absolute; }
    void skip(int64_t distance) { pos_ += distance; }

    // Copies up to n bytes from the position and advances by what was
    // copied; fewer at the end of the file, none at a negative position.
    int64_t read(void* dest, int64_t n)
    {
        const int64_t got = readAt(pos_, dest, n);
        pos_ += got;
        return got;
    }
    // Copies up to n bytes at an absolute position without moving. The
    // walks read a few bytes at a time, nearly always from the kept part.
    int64_t readAt(int64_t at, void* dest, int64_t n)
    {
        if (at >= 0 && n > 0 && n <= keptSize_ - at) {
            std::memcpy(dest, kept_ + at, static_cast<size_t>(n));
            return n;
        }
        return readAtSlow(at, dest, n);
    }

    // Reads a 16- or 32-bit value in the given byte order; false (and the
    // position unchanged) when the file ends first.
    bool readU16(uint16_t& value, bool littleEndian)
    {
        uint8_t b[2];
        if (readAt(pos_, b, 2) != 2)
            return false;
        pos_ += 2;
        value = littleEndian ? static_cast<uint16_t>(b[0] | (b[1] << 8)) : static_cast<uint16_t>((b[0] << 8) | b[1]);
        return true;
    }
    bool readU32(uint32_t& value, bool littleEndian)
    {
        uint8_t b[4];
        if (readAt(pos_, b, 4) != 4)
            return false;
        pos_ += 4;
        value = littleEndian ? (uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24)
                             : (uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]));
        return true;
    }

    // Whether a byte exists at the absolute position.
    bool hasByteAt(int64_t at);
    // The size of the file; -1 when it cannot be told.
    int64_t size();

private:
    // Opens the file at path, relative to the folder held open as dirFd
    // (POSIX; -1: path as it stands).
    void open(int dirFd, const NativePath& path);
    // Makes the kept part cover [0, end) as far as the file allows.
    void fillTo(int64_t end);
    int64_t readAtSlow(int64_t at, void* dest, int64_t n);

    int fd_ = -1;
    int64_t pos_ = 0;
    int64_t osPos_ = 0;  // where the next system read starts
    // The kept part: the first block lives in the object itself (no
    // allocation for the usual file), a larger part on the heap.
    uint8_t* kept_ = first_;
    int64_t keptSize_ = 0;
    int64_t keptCapacity_;
    std::unique_ptr<uint8_t[]> heap_;
    alignas(16) uint8_t first_[4096];
    bool endSeen_ = false;
    int64_t size_ = -1;
};

// The container a path's name ending gives (metadata::containerForName).
metadata::Container containerOf(const NativePath& path);

// A BufferedFile read at positions, for the container walks.
class FileSource : public metadata::ByteSource {
public:
    explicit FileSource(BufferedFile& file) : file_(file) {}
    int64_t readAt(int64_t at, void* dest, int64_t n) override { return file_.readAt(at, dest, n); }
    int64_t size() override { return file_.size(); }

private:
    BufferedFile& file_;
};

}  // namespace order
