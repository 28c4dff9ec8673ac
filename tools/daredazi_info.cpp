// daredazi-info: prints what the viewer shows for each JPEG file given, in
// UTF-8, read by the same code.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

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

}  // namespace

int main(int argc, char** argv)
{
    metadata::ReadOptions options;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--google")
            options.useGoogleMap = true;
        else if (arg == "--")
            files.insert(files.end(), argv + i + 1, argv + argc), i = argc;
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
        std::error_code ec;
        const bool regular = std::filesystem::is_regular_file(file, ec);
        std::ifstream in;
        if (regular)
            in.open(file, std::ios::binary | std::ios::ate);
        const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
        std::vector<uint8_t> data;
        if (size >= 0) {
            data.resize(static_cast<size_t>(size));
            in.seekg(0);
            in.read(reinterpret_cast<char*>(data.data()), size);
        }
        if (size < 0 || !in) {
            std::cerr << "daredazi-info: " << file << ": cannot read the file\n";
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
