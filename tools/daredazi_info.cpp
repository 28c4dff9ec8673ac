// daredazi-info: prints what the viewer shows of the metadata of each
// picture file given (JPEG and the other formats that carry Exif), in
// UTF-8, read by the same code.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <algorithm>
#include <cstdint>

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <unistd.h>
#endif

#include "metadata/picture_reader.h"
#include "metadata/string_sink.h"
#ifdef DAREDAZI_HAVE_BROTLI
#include "imaging/brotli_inflate.h"
#endif

namespace {

constexpr const char* kUsage =
    "Usage: daredazi-info [--google] FILE...\n"
    "\n"
    "Prints, for each picture file, what the viewer shows of its metadata:\n"
    "  file:         the file name\n"
    "  date:         the shooting date and time caption\n"
    "  title:        the title caption\n"
    "  line:         each line of the shooting-condition list, in order\n"
    "  related:      a sound or movie file the picture names\n"
    "  latitude:     the latitude text for the map link\n"
    "  longitude:    the longitude text for the map link\n"
    "  orientation:  the Exif orientation (0 when none)\n"
    "Texts are UTF-8; a line break inside a text is written as a new line\n"
    "beginning with a tab.\n"
    "\n"
    "Options:\n"
    "  --google      read positions for the Google map, which writes a \"+\"\n"
    "                before northern and eastern positions\n"
    "  --help        show this help\n"
    "\n"
    "A file that cannot be read gives one line on standard error and makes\n"
    "the exit status non-zero; the other files are still printed.\n";

// Multi-line texts (comments) keep one record per output line.
std::string oneRecord(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (text[i] == '\n' || text[i] == '\r')
            out += "\n\t";
        else
            out += text[i];
    }
    return out;
}

void print(const std::string& file, const metadata::StringSink& sink)
{
    std::cout << "file: " << file << '\n';
    std::cout << "date: " << oneRecord(sink.dateCaption) << '\n';
    std::cout << "title: " << oneRecord(sink.titleCaption) << '\n';
    for (const std::string& line : sink.lines)
        std::cout << "line: " << oneRecord(line) << '\n';
    for (const std::string& name : sink.relatedFiles)
        std::cout << "related: " << oneRecord(name) << '\n';
    std::cout << "latitude: " << sink.latitude << '\n';
    std::cout << "longitude: " << sink.longitude << '\n';
    std::cout << "orientation: " << sink.orientation << '\n';
}

#ifdef _WIN32
std::wstring wide(const std::string& utf8)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string utf8(const wchar_t* text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return {};
    std::string out(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}
#endif

// A picture file opened for reading without waiting, and only when it is a
// regular file: a FIFO named .jpg would hold an ordinary open for ever.
// Read at positions, as far as the metadata needs (a 64 GB file costs what
// a small one does). Names are UTF-8 here and UTF-16 on Windows, so any
// folder name opens.
class CheckedFile : public metadata::ByteSource {
public:
    explicit CheckedFile(const std::string& name)
    {
#ifdef _WIN32
        file_ = _wfopen(wide(name).c_str(), L"rb");
        struct _stat64 info {};
        const bool regular = file_ && _fstat64(_fileno(file_), &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
#else
        fd_ = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        struct stat info {};
        const bool regular = fd_ >= 0 && fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
#endif
        if (regular)
            size_ = static_cast<int64_t>(info.st_size);
        else if (isOpen())
            why_ = "not a regular file";
    }
    ~CheckedFile() override
    {
#ifdef _WIN32
        if (file_)
            std::fclose(file_);
#else
        if (fd_ >= 0)
            ::close(fd_);
#endif
    }
    CheckedFile(const CheckedFile&) = delete;
    CheckedFile& operator=(const CheckedFile&) = delete;

    bool usable() const { return size_ >= 0; }
    const char* why() const { return why_; }

    int64_t readAt(int64_t at, void* dest, int64_t n) override
    {
        if (!usable() || at < 0 || n <= 0 || at >= size_)
            return 0;
        n = std::min(n, size_ - at);
        int64_t have = 0;
#ifdef _WIN32
        if (_fseeki64(file_, at, SEEK_SET) != 0)
            return 0;
        have = static_cast<int64_t>(std::fread(dest, 1, static_cast<size_t>(n), file_));
#else
        while (have < n) {
            const ssize_t got = ::pread(fd_, static_cast<char*>(dest) + have, static_cast<size_t>(n - have), at + have);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            have += got;
        }
#endif
        return have;
    }
    int64_t size() override { return size_; }

private:
    bool isOpen() const
    {
#ifdef _WIN32
        return file_ != nullptr;
#else
        return fd_ >= 0;
#endif
    }

#ifdef _WIN32
    FILE* file_ = nullptr;
#else
    int fd_ = -1;
#endif
    int64_t size_ = -1;
    const char* why_ = "cannot read the file";
};

// Reads the metadata as the viewer does: a JPEG's head, or the Exif the
// container walk finds.
void readMetadata(CheckedFile& file, metadata::Container container, metadata::MetadataSink& sink,
                  const metadata::ReadOptions& options, const metadata::BrotliInflate& inflate)
{
    if (container == metadata::Container::Jpeg) {
        std::vector<uint8_t> head(static_cast<size_t>(std::min<int64_t>(file.size(), metadata::kJpegMetadataHead)));
        head.resize(static_cast<size_t>(std::max<int64_t>(file.readAt(0, head.data(), static_cast<int64_t>(head.size())), 0)));
        metadata::JpegRead(head.data(), head.size(), sink, options);
        return;
    }
    metadata::ExifBlobRead(metadata::loadExif(file, container, inflate), sink, options);
}

// The container a name's ending gives; a name without a known ending is
// read as a JPEG, as it always was.
metadata::Container containerOf(const std::string& file)
{
    const metadata::Container c = metadata::containerForName(file);
    return c == metadata::Container::None ? metadata::Container::Jpeg : c;
}

metadata::BrotliInflate inflate()
{
#ifdef DAREDAZI_HAVE_BROTLI
    return imaging::inflateBrotli;
#else
    return {};
#endif
}

int run(const std::vector<std::string>& args)
{
    metadata::ReadOptions options;
    std::vector<std::string> files;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--google")
            options.useGoogleMap = true;
        else if (arg == "--")
            files.insert(files.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end()), i = args.size();
        else if (arg.size() > 1 && arg[0] == '-') {
            std::cerr << "daredazi-info: unknown option " << arg << "\n" << kUsage;
            return 2;
        } else
            files.push_back(arg);
    }
    if (files.empty()) {
        std::cerr << kUsage;
        return 2;
    }

    int status = 0;
    bool first = true;
    for (const std::string& file : files) {
        CheckedFile source(file);
        if (!source.usable()) {
            std::cerr << "daredazi-info: " << file << ": " << source.why() << "\n";
            status = 1;
            continue;
        }
        metadata::StringSink sink;
        std::string error;
        try {
            readMetadata(source, containerOf(file), sink, options, inflate());
        } catch (const metadata::MetadataError& e) {
            error = *e.what() ? e.what() : "the file is too short";
        }
        if (!first)
            std::cout << '\n';
        first = false;
        print(file, sink);
        std::cout.flush();
        if (!error.empty()) {
            std::cerr << "daredazi-info: " << file << ": error while reading the metadata: " << error << '\n';
            status = 1;
        }
    }
    return status;
}

}  // namespace

#ifdef _WIN32
// Arguments arrive as UTF-16; the output is UTF-8, byte for byte as on other
// systems (no line-end translation).
int wmain(int argc, wchar_t** argv)
{
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(utf8(argv[i]));
    return run(args);
}
#else
int main(int argc, char** argv) { return run(std::vector<std::string>(argv, argv + argc)); }
#endif
