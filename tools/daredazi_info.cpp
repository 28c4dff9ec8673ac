// daredazi-info: prints what the viewer shows for each JPEG file given, in
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

#include "metadata/jpeg_reader.h"
#include "metadata/string_sink.h"

namespace {

constexpr const char* kUsage =
    "Usage: daredazi-info [--google] FILE...\n"
    "\n"
    "Prints, for each JPEG file, what the viewer shows of its metadata:\n"
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

// The front of a regular file, as far as the viewer reads a picture's
// metadata (metadata::kMetadataHeadBytes): a FIFO named .jpg is opened
// without waiting and refused, a 64 GB file costs 256 KB. Names are UTF-8
// here and UTF-16 on Windows, so any folder name opens. Empty when the file
// is none or cannot be read; why says which.
bool readHead(const std::string& name, std::vector<uint8_t>& data, const char*& why)
{
    why = "cannot read the file";
#ifdef _WIN32
    FILE* file = _wfopen(wide(name).c_str(), L"rb");
    if (!file)
        return false;
    struct _stat64 info {};
    const bool regular = _fstat64(_fileno(file), &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
    bool ok = regular;
    if (ok) {
        data.resize(static_cast<size_t>(std::min<int64_t>(info.st_size, metadata::kMetadataHeadBytes)));
        data.resize(std::fread(data.data(), 1, data.size(), file));
        ok = !std::ferror(file);
    } else {
        why = "not a regular file";
    }
    std::fclose(file);
    return ok;
#else
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat info {};
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (ok) {
        data.resize(static_cast<size_t>(std::min<int64_t>(info.st_size, metadata::kMetadataHeadBytes)));
        size_t have = 0;
        while (have < data.size()) {
            const ssize_t got = ::read(fd, data.data() + have, data.size() - have);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                ok = got == 0;
                break;
            }
            have += static_cast<size_t>(got);
        }
        data.resize(have);
    } else {
        why = "not a regular file";
    }
    ::close(fd);
    return ok;
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
        std::vector<uint8_t> data;
        const char* why = "";
        if (!readHead(file, data, why)) {
            std::cerr << "daredazi-info: " << file << ": " << why << "\n";
            status = 1;
            continue;
        }
        metadata::StringSink sink;
        std::string error;
        try {
            metadata::JpegRead(data.data(), data.size(), sink, options);
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
