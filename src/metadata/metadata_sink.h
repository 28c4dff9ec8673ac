#pragma once
// What the metadata reader reports, in the order it walks the file. The
// viewer implements it over its controls; tests implement it over strings.
// All texts are UTF-8.
#include <string>

namespace metadata {

class MetadataSink {
public:
    virtual ~MetadataSink() = default;

    // Appends a condition line to the drop-down list.
    virtual void addLine(const std::string& line) = 0;
    // Puts a line at the top of the drop-down list.
    virtual void insertLineAtTop(const std::string& line) = 0;
    // The shooting date and time caption (shown in red).
    virtual void setDateCaption(const std::string& text) = 0;
    // The picture's title caption.
    virtual void setTitleCaption(const std::string& text) = 0;
    // Exif orientation as read (1 to 8).
    virtual void setOrientation(int orientation) = 0;
    // The position texts used for the map link.
    virtual void setGpsTexts(const std::string& latitude, const std::string& longitude) = 0;
    // A sound or movie file the picture names (a plain file name).
    virtual void playRelatedFile(const std::string& fileName) = 0;
};

}  // namespace metadata
