#include "decode/content_kind.h"

#include <cstring>
#include <string_view>

#include "syntax/value_reader.h"

namespace {

bool StartsWith(const uint8_t* head, size_t size, const char* signature, size_t length) {
    return size >= length && std::memcmp(head, signature, length) == 0;
}

template <size_t N>
bool StartsWith(const uint8_t* head, size_t size, const char (&signature)[N]) {
    return StartsWith(head, size, signature, N - 1);
}

// An ICC profile's signature and where it stands.
constexpr size_t IccSignatureAt = 36;
constexpr char IccSignature[] = "acsp";

struct MimeKind {
    const char* type;   // lower case
    ContentKind kind;
};

// The MIME types a viewer is commonly found for.
constexpr MimeKind MimeKinds[] = {
    {"application/pdf", ContentKind::Pdf},
    {"application/xml", ContentKind::Xml},
    {"text/xml", ContentKind::Xml},
    {"image/jpeg", ContentKind::Jpeg},
    {"image/png", ContentKind::Png},
    {"image/gif", ContentKind::Gif},
    {"image/tiff", ContentKind::Tiff},
    {"image/bmp", ContentKind::Bmp},
    {"image/svg+xml", ContentKind::Svg},
    {"image/jp2", ContentKind::Jp2},
    {"application/zip", ContentKind::Zip},
    {"text/plain", ContentKind::Text},
    {"text/html", ContentKind::Html},
    {"text/csv", ContentKind::Csv},
    {"application/json", ContentKind::Json},
    {"application/rtf", ContentKind::Rtf},
    {"text/rtf", ContentKind::Rtf},
    {"application/msword", ContentKind::Doc},
    {"application/vnd.openxmlformats-officedocument.wordprocessingml.document", ContentKind::Docx},
    {"application/vnd.ms-excel", ContentKind::Xls},
    {"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", ContentKind::Xlsx},
    {"application/vnd.ms-powerpoint", ContentKind::Ppt},
    {"application/vnd.openxmlformats-officedocument.presentationml.presentation", ContentKind::Pptx},
    {"application/vnd.oasis.opendocument.text", ContentKind::Odt},
    {"application/vnd.oasis.opendocument.spreadsheet", ContentKind::Ods},
    {"application/vnd.oasis.opendocument.presentation", ContentKind::Odp},
    {"audio/mpeg", ContentKind::Mp3},
    {"video/mp4", ContentKind::Mp4},
    {"audio/wav", ContentKind::Wav},
    {"audio/x-wav", ContentKind::Wav},
};

// Longest MIME type of the table, and so the most a name is decoded for.
constexpr size_t MimeTypeCapacity = 96;

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The kind the name (slash included, "#xx" escapes as written) names as a
// MIME type, or Data.
ContentKind KindOfMimeType(std::string_view name) {
    char type[MimeTypeCapacity];
    size_t length = 0;
    for (size_t i = 1; i < name.size(); ++i) {
        char c = name[i];
        if (c == '#' && i + 2 < name.size() && HexDigitValue(name[i + 1]) >= 0 && HexDigitValue(name[i + 2]) >= 0) {
            c = static_cast<char>(HexDigitValue(name[i + 1]) * 16 + HexDigitValue(name[i + 2]));
            i += 2;
        }
        if (length == MimeTypeCapacity) return ContentKind::Data;
        type[length++] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    const std::string_view decoded(type, length);
    for (const MimeKind& known : MimeKinds) {
        if (decoded == known.type) return known.kind;
    }
    return ContentKind::Data;
}

uint32_t BigEndian16(const uint8_t* at) { return uint32_t{at[0]} << 8 | at[1]; }

// A TrueType or OpenType table directory: the version, then 1 to MaxFontTables tables.
bool IsFontDirectory(const uint8_t* head, size_t size, const char* version) {
    if (!StartsWith(head, size, version, 4) || size < 6) return false;
    const uint32_t tables = BigEndian16(head + 4);
    return tables >= 1 && tables <= MaxFontTables;
}

ContentKind KindOfBytes(const uint8_t* head, size_t size) {
    if (StartsWith(head, size, "\x89PNG\r\n\x1A\n")) return ContentKind::Png;
    if (StartsWith(head, size, "GIF87a") || StartsWith(head, size, "GIF89a")) return ContentKind::Gif;
    if (StartsWith(head, size, "PK\x03\x04")) return ContentKind::Zip;
    if (StartsWith(head, size, "\0\0\0\x0CjP  \r\n\x87\n")) return ContentKind::Jp2;
    if (StartsWith(head, size, "\xFF\x4F\xFF\x51")) return ContentKind::J2c;
    if (StartsWith(head, size, "MM\0*")) return ContentKind::Tiff;
    if (IsFontDirectory(head, size, "OTTO")) return ContentKind::Otf;
    if (IsFontDirectory(head, size, "\0\x01\0\0") || IsFontDirectory(head, size, "true")) return ContentKind::Ttf;
    if (StartsWith(head, size, "%!PS-AdobeFont") || StartsWith(head, size, "%!FontType1")) return ContentKind::Pfa;
    if (size >= IccSignatureAt + 4 && std::memcmp(head + IccSignatureAt, IccSignature, 4) == 0) return ContentKind::Icc;
    return ContentKind::Data;
}

}  // namespace

ContentKind ChooseContentKind(bool xml, const uint8_t* head, size_t size) {
    if (xml) return ContentKind::Xml;
    if (StartsWith(head, size, "II*\0", 4)) return ContentKind::Tiff;
    if (StartsWith(head, size, "P4\n", 3)) return ContentKind::Pbm;
    if (StartsWith(head, size, "\xFF\xD8\xFF", 3)) return ContentKind::Jpeg;
    if (StartsWith(head, size, "%PDF-1.", 7)) return ContentKind::Pdf;
    return ContentKind::Data;
}

ContentKind ChooseViewableKind(ContentKind standard, DictionaryText dictionary, const uint8_t* head, size_t size) {
    if (standard != ContentKind::Data) return standard;
    ValueText subtypeValue;
    std::string_view subtype;
    if (FindDictionaryValue(dictionary, "/Subtype", subtypeValue) && ReadNameValue(subtypeValue, subtype)) {
        if (subtype == "/Type1C" || subtype == "/CIDFontType0C") return ContentKind::Cff;
        if (subtype == "/OpenType") return ContentKind::Otf;
        const ContentKind mime = KindOfMimeType(subtype);
        if (mime != ContentKind::Data) return mime;
    }
    return KindOfBytes(head, size);
}
