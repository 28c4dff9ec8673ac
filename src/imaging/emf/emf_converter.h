#pragma once
// EMF pictures made into SVG by libemf2svg, after the rewrites below. This
// code (with libemf2svg and libUEMF, which allow version 2 of the GPL only)
// runs in a program of its own, daredazi-emf2svg: the viewer, which links
// LGPL-3 libraries, hands it the file and reads back the SVG.
#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace imaging {

// Characters for the glyph indices of a text run in the named font face;
// empty when the face is not installed or a glyph has no character.
using GlyphTextLookup = std::function<std::u16string(const QString& face, const std::vector<uint16_t>& glyphs)>;

// The glyph lookup over the fonts installed here (needs the GUI
// application and its thread; elsewhere every lookup is empty).
std::u16string installedGlyphText(const QString& face, const std::vector<uint16_t>& glyphs);

// EMF: the copy the SVG converter gets.
// - A viewport extent of 1 × 1 is set after the header, as a new device
//   context has it; the converter otherwise scales pictures that set only
//   the window extent to nothing.
// - Byte texts (EMR_EXTTEXTOUTA) become UTF-16 texts, decoded in the code
//   page of the selected font's character set (the system code page 932
//   where the font leaves it to the system), with one advance per character.
// - Texts given as glyph indices become characters through `glyphs`; a run
//   whose characters cannot be known is left out rather than drawn as
//   unrelated letters.
// - An EMF+ comment that would lead the converter past its record, or that
//   holds an EMF+ object record without object data, is left out (the
//   converter frees its object buffer twice over such records).
// Empty when the data is no EMF, or its records, each within the data,
// do not lead to an end-of-file record (the converter refuses those too),
// or there are more than kMaxMetafileRecords of them.
std::vector<char> emfForConverter(const unsigned char* data, size_t size, const GlyphTextLookup& glyphs);

// The SVG of an EMF (the converter's own output); empty when the data is
// no EMF or the converter refuses it.
QByteArray emfToSvg(const unsigned char* data, size_t size, const GlyphTextLookup& glyphs);

}  // namespace imaging
