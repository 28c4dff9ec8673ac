// The picture's own words: ImageDescription, the XP tags, UserComment and
// the JPEG comment, and which of them becomes the title.
#include <algorithm>

#include "metadata/comment_reader.h"
#include "metadata/exif_walk.h"
#include "platform/text_codec.h"

namespace metadata {

// The description is the title as stored: not trimmed, even when empty
// (cameras write blanks there, which then keep the other texts in the list).
void ruleImageDescription(ExifWalk& w, const IfdEntry& e, const TagRule&)
{
    if (auto text = w.text(e.count))
        w.setTitle(*text);
}

void ruleXpText(ExifWalk& w, const IfdEntry& e, const TagRule& r)
{
    auto b = w.bytes(std::min<int64_t>(e.count, 1024));
    if (!b)
        return;
    std::string_view raw = *b;
    for (size_t i = 0; i + 1 < raw.size(); i += 2)
        if (raw[i] == 0 && raw[i + 1] == 0) {
            raw = raw.substr(0, i);
            break;
        }
    const std::string text = trimBlanks(platform::utf16leToUtf8(raw));
    if (text.empty())
        return;
    if (e.tag != 40091)
        w.addLine(r.label + text);
    else if (w.st.title.empty())
        w.setTitle(text + ",");
    else
        w.addLine("Xpタイトル:" + text);
}

void ruleUserComment(ExifWalk& w, const IfdEntry& e, const TagRule&)
{
    const std::string text = w.comment(e.count);
    if (text.empty())
        return;
    if (!w.st.title.empty())
        w.insertLineAtTop("コメント:" + text);
    else
        w.setTitle(text + ".");
}

std::string jpegCommentLine(std::string_view segmentBytes)
{
    // The segment's last byte is taken as a terminator and never shown.
    std::string_view text = segmentBytes.substr(0, segmentBytes.empty() ? 0 : segmentBytes.size() - 1);
    text = text.substr(0, std::min(text.find('\0'), text.size()));
    if (text.empty())
        return {};
    return "Jpegコメント：" + platform::cp932ToUtf8(text);
}

}  // namespace metadata
