#include "support/test_support.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace testsupport {

std::filesystem::path testDataDir()
{
    std::filesystem::path dir(DAREDAZI_TESTDATA_DIR);
    std::error_code ec;
    if (std::filesystem::is_directory(dir, ec))
        return std::filesystem::canonical(dir, ec);
    return {};
}

std::vector<unsigned char> readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::vector<std::pair<std::string, std::string>>> manifestRows()
{
    std::vector<std::vector<std::pair<std::string, std::string>>> rows;
    auto dir = testDataDir();
    if (dir.empty())
        return rows;
    std::ifstream in(dir / "MANIFEST.tsv");
    std::string line;
    std::vector<std::string> header;
    auto split = [](const std::string& s) {
        std::vector<std::string> out;
        std::stringstream ss(s);
        std::string cell;
        while (std::getline(ss, cell, '\t'))
            out.push_back(cell);
        return out;
    };
    if (std::getline(in, line))
        header = split(line);
    while (std::getline(in, line)) {
        auto cells = split(line);
        std::vector<std::pair<std::string, std::string>> row;
        for (size_t i = 0; i < header.size(); ++i)
            row.emplace_back(header[i], i < cells.size() ? cells[i] : std::string());
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace testsupport
