// What an entry's decoded bytes are, which names its extension. The first
// rule that applies decides: XML metadata by its dictionary; then by the
// decoded bytes: "II*" and a zero byte a TIFF file, "P4" and LF a PBM image,
// FF D8 FF a JPEG file, "%PDF-1." a PDF file; anything else is data.
//
// The viewable mode names more kinds (ChooseViewableKind); the default
// listing never gives them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "syntax/dictionary.h"

enum class ContentKind : uint8_t {
    Data, Xml, Tiff, Pbm, Jpeg, Pdf,
    // the viewable mode's
    Png, Gif, Zip, Jp2, J2c, Ttf, Otf, Cff, Pfa, Icc,
    Text, Html, Csv, Json, Svg, Bmp, Rtf, Doc, Docx, Xls, Xlsx, Ppt, Pptx, Odt, Ods, Odp, Mp3, Mp4, Wav,
};

// Bytes of the decoded data that typing looks at: an ICC profile's signature
// stands at bytes 36 to 39.
constexpr size_t ContentHeadBytes = 40;

// The kind of bytes that begin with `head` (`size` of them, fewer only when
// the data is that short); `xml` when the stream is XML metadata.
ContentKind ChooseContentKind(bool xml, const uint8_t* head, size_t size);

// The kind the viewable mode gives a stream that the rules above call
// `standard`. Their answer stands unless it is Data; then, in this order:
// - an embedded file whose "/Subtype" is a common MIME type
//   (/application#2Fzip, /text#2Fplain, ...): that type's kind;
// - a font program whose "/Subtype" is /Type1C or /CIDFontType0C: CFF; /OpenType: OpenType;
// - by the bytes: PNG, GIF, ZIP, a JPEG 2000 file (JP2 signature box) or
//   codestream, a big-endian TIFF file, an OpenType ("OTTO") or TrueType
//   (1.0 or "true", with 1 to MaxFontTables tables) font, a Type 1 font
//   ("%!PS-AdobeFont" or "%!FontType1"), an ICC profile ("acsp" at byte 36);
// - otherwise Data.
ContentKind ChooseViewableKind(ContentKind standard, DictionaryText dictionary, const uint8_t* head, size_t size);

// More tables than this in a font's table directory means the bytes are no font.
constexpr uint32_t MaxFontTables = 64;
