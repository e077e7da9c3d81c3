// What an entry's decoded bytes are, which names its extension. The first
// rule that applies decides: XML metadata by its dictionary; then by the
// decoded bytes: "II*" and a zero byte a TIFF file, "P4" and LF a PBM image,
// FF D8 FF a JPEG file, "%PDF-1." a PDF file; anything else is data.
#pragma once

#include <cstddef>
#include <cstdint>

enum class ContentKind : uint8_t { Data, Xml, Tiff, Pbm, Jpeg, Pdf };

// Bytes of the decoded data that typing looks at.
constexpr size_t ContentHeadBytes = 8;

// The kind of bytes that begin with `head` (`size` of them, fewer only when
// the data is that short); `xml` when the stream is XML metadata.
ContentKind ChooseContentKind(bool xml, const uint8_t* head, size_t size);
