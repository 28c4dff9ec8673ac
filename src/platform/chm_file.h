#pragma once
// Reading a compiled help file (.chm) for the help window of our own: its
// pages, pictures and style sheets by their paths inside the file, its
// title and first page, and its table of contents.
//
// The file is untrusted bytes. The container (headers, directory, the
// compressed section's tables) is read here, every size and offset checked
// against what the file holds and against fixed limits before anything is
// allocated; only the LZX decoding is chmlib's, and it is given each block
// with enough zero bytes after it that its bit reader, which does not check
// where its input ends, stays inside our buffer.
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One entry of a table of contents, in the order of the contents file.
struct HelpTopic {
    QString name;
    QString local;  // path inside the help file, "/page.html", possibly with "#part"
    int depth = 0;  // 0 for the top level
};

// What the help file's system object says about it; empty where it says
// nothing. Paths begin with "/".
struct HelpFileInfo {
    QString title;
    QString defaultTopic;
    QString contentsFile;
};

// Reads the system object (#SYSTEM): a version, then records of a 16-bit
// code, a 16-bit length and that many bytes. Texts are decoded as UTF-8
// when they are valid UTF-8, else as code page 932.
HelpFileInfo parseSystemObject(std::string_view bytes);

// Reads a sitemap (the contents file: HTML with <object type="text/sitemap">
// entries in nested <ul> lists). Names are decoded as the sitemap's charset
// says (code page 932 when it says nothing: the help is Japanese); at most
// kMaxTopics entries, nested at most kMaxDepth deep.
std::vector<HelpTopic> parseSitemap(std::string_view bytes);
inline constexpr int kMaxTopics = 10000;
inline constexpr int kMaxDepth = 32;

// A page's or style sheet's text in the charset its <meta> names: UTF-8,
// Latin-1, or code page 932 (Shift_JIS under any of its names, and the
// default).
QString decodeHelpText(std::string_view bytes);

// Resolves a link found in a page to a path inside the file: "page.html",
// "../x/page.html#part" against the page it is in, "/page.html",
// "ms-its:file.chm::/page.html" and "mk:@MSITStore:file.chm::/page.html".
// Empty for links that leave the file (other schemes) or climb above it.
QString resolveHelpLink(const QString& fromPage, const QString& link);

class ChmFile {
public:
    // The help file at the path, or nothing when it is missing, larger than
    // kMaxFileBytes, or its container does not hold together.
    static std::optional<ChmFile> open(const QString& path);
    // The same from bytes already read.
    static std::optional<ChmFile> fromBytes(std::string bytes);
    static constexpr uint64_t kMaxFileBytes = 64u << 20;
    // The compressed section is decoded whole, when first needed, up to
    // this (fuzzing builds: a megabyte, which every check still bounds).
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    static constexpr uint64_t kMaxContentBytes = 64u << 20;
#else
    static constexpr uint64_t kMaxContentBytes = 1u << 20;
#endif

    // The object at the path ("/index.html", "/#SYSTEM": no fragment; ASCII
    // letters in either case), or nothing when it is absent or cannot be
    // read.
    std::optional<std::string> read(const QString& objectPath) const;

    // Title, first page and contents file: from the system object, else the
    // first .hhc file and its first topic, else "/index.html".
    HelpFileInfo info() const;

    // The table of contents (empty when the file has none).
    std::vector<HelpTopic> topics() const;

    // Every object's path, in directory order.
    std::vector<std::string> paths() const;

    struct Entry {
        std::string path;
        uint64_t space = 0;  // 0 stored, 1 compressed
        uint64_t start = 0;
        uint64_t length = 0;
    };
    struct Compression {
        uint32_t windowBits = 0;
        uint64_t resetBlocks = 0;  // LZX resets every this many blocks
        uint64_t uncompressedLength = 0;
        std::vector<uint64_t> blockStarts;  // offsets in the compressed stream, one a block, then its end
        uint64_t streamOffset = 0;          // of the compressed stream in the file
    };

private:
    ChmFile() = default;
    const Entry* find(std::string_view path) const;
    bool decodeContent() const;

    std::string bytes_;
    uint64_t dataOffset_ = 0;
    std::vector<Entry> entries_;
    std::optional<Compression> compression_;
    // Decoded on first use; empty with contentFailed_ when it could not be.
    mutable std::string content_;
    mutable bool contentDecoded_ = false;
    mutable bool contentFailed_ = false;
};

}  // namespace platform
