// Reading the lines of every sample JPEG from memory, against libexiv2
// reading and printing the Exif data of the same files from memory.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#ifdef DAREDAZI_HAVE_EXIV2
#include <exiv2/exiv2.hpp>
#endif

#include "metadata/jpeg_reader.h"
#include "metadata/string_sink.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<std::vector<uint8_t>> loadSamples(const fs::path& dir)
{
    std::vector<fs::path> paths;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (e.is_regular_file() && (ext == ".jpg" || ext == ".jpeg"))
            paths.push_back(e.path());
    }
    std::sort(paths.begin(), paths.end());
    std::vector<std::vector<uint8_t>> files;
    for (const auto& p : paths) {
        std::ifstream in(p, std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

// Runs one pass over all files repeatedly for at least the given time and
// returns the time per file in microseconds; sink keeps the work observable.
template <typename Pass>
double timePerFile(size_t fileCount, double minSeconds, Pass pass)
{
    size_t passes = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    do {
        pass();
        ++passes;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < minSeconds);
    return elapsed * 1e6 / static_cast<double>(passes * fileCount);
}

}  // namespace

int main(int argc, char** argv)
{
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::path(DAREDAZI_TESTDATA_DIR);
    if (!fs::is_directory(dir)) {
        std::printf("sample pictures not found at %s\n", dir.string().c_str());
        return 0;
    }
    const auto files = loadSamples(dir);
    size_t totalBytes = 0;
    for (const auto& f : files)
        totalBytes += f.size();
    std::printf("files: %zu JPEG, %.1f MB\n", files.size(), totalBytes / 1e6);

    size_t ourLines = 0;
    const double ours = timePerFile(files.size(), 2.0, [&] {
        ourLines = 0;
        for (const auto& f : files) {
            metadata::StringSink sink;
            try {
                metadata::JpegRead(f.data(), f.size(), sink, {});
            } catch (const metadata::MetadataError&) {
            }
            ourLines += sink.lines.size();
        }
    });
    std::printf("daredazi JpegRead: %.2f us per file (%zu lines per pass)\n", ours, ourLines);

#ifdef DAREDAZI_HAVE_EXIV2
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    size_t exivChars = 0;
    const double exiv = timePerFile(files.size(), 2.0, [&] {
        exivChars = 0;
        for (const auto& f : files) {
            try {
                auto image = Exiv2::ImageFactory::open(f.data(), static_cast<long>(f.size()));
                image->readMetadata();
                std::ostringstream out;
                const Exiv2::ExifData& exif = image->exifData();
                for (const auto& d : exif)
                    out << d.key() << ' ' << d.print(&exif) << '\n';
                exivChars += out.str().size();
            } catch (const std::exception&) {
            }
        }
    });
    std::printf("libexiv2 read and print: %.2f us per file (%zu characters per pass)\n", exiv, exivChars);
    std::printf("ratio: %.1fx (target at least 20x)\n", exiv / ours);
#else
    std::printf("libexiv2 not available: no comparison\n");
#endif
    return 0;
}
