#pragma once
// Helpers shared by every test program.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// Folder of real sample pictures beside the repository, or empty when absent.
std::filesystem::path testDataDir();

// Reads a whole file; empty when it cannot be read.
std::vector<unsigned char> readFile(const std::filesystem::path& path);

// Lines of the sample MANIFEST.tsv as column-name -> value maps.
std::vector<std::vector<std::pair<std::string, std::string>>> manifestRows();

}  // namespace testsupport

// Skips the current test when the sample pictures are not there (a fresh
// clone has none).
#define REQUIRE_TESTDATA()                                                   \
    do {                                                                     \
        if (testsupport::testDataDir().empty())                              \
            GTEST_SKIP() << "sample pictures not available";                 \
    } while (0)
