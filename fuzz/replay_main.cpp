// Replays every file of the folders (or files) given on the command line
// through the fuzz entry point, so a plain build re-checks every corpus: the
// committed one and the seeds made from the sample pictures.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static void replayFile(const std::filesystem::path& path, int& count)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ++count;
}

int main(int argc, char** argv)
{
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path arg(argv[i]);
        if (!std::filesystem::exists(arg)) {
            std::printf("no inputs at %s\n", argv[i]);
        } else if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(arg))
                if (entry.is_regular_file())
                    replayFile(entry.path(), count);
        } else {
            replayFile(arg, count);
        }
    }
    std::printf("replayed %d inputs\n", count);
    return 0;
}
