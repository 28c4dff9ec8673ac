#pragma once
// A metadata sink that keeps everything as plain strings: for the info tool,
// the tests and the benchmarks, which want the reader's output without a
// window.
#include <string>
#include <vector>

#include "metadata/metadata_sink.h"

namespace metadata {

struct StringSink : MetadataSink {
    std::vector<std::string> lines;
    std::string dateCaption;
    std::string titleCaption;
    int orientation = 0;
    std::string latitude;
    std::string longitude;
    std::vector<std::string> relatedFiles;

    void addLine(const std::string& line) override { lines.push_back(line); }
    void insertLineAtTop(const std::string& line) override { lines.insert(lines.begin(), line); }
    void setDateCaption(const std::string& text) override { dateCaption = text; }
    void setTitleCaption(const std::string& text) override { titleCaption = text; }
    void setOrientation(int value) override { orientation = value; }
    void setGpsTexts(const std::string& lat, const std::string& lon) override
    {
        latitude = lat;
        longitude = lon;
    }
    void playRelatedFile(const std::string& fileName) override { relatedFiles.push_back(fileName); }
};

// Reports nothing: for callers that only exercise the reader.
struct NullSink : MetadataSink {
    void addLine(const std::string&) override {}
    void insertLineAtTop(const std::string&) override {}
    void setDateCaption(const std::string&) override {}
    void setTitleCaption(const std::string&) override {}
    void setOrientation(int) override {}
    void setGpsTexts(const std::string&, const std::string&) override {}
    void playRelatedFile(const std::string&) override {}
};

}  // namespace metadata
