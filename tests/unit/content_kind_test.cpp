// The kinds the viewable mode names: by an embedded file's MIME type, a font
// program's subtype, and the bytes' own signatures; the default rules'
// answer stands whenever it is not Data.
#include <gtest/gtest.h>

#include <string>

#include "decode/content_kind.h"

namespace {

struct KindCase {
    const char* label;
    const char* dictionary;
    std::string head;
    ContentKind kind;
};

std::string IccHead(const char* signature) {
    std::string head(36, '\0');
    head += signature;
    return head;
}

TEST(ChooseViewableKind, Table) {
    using K = ContentKind;
    const std::string fontDirectory("\0\x01\0\0\0\x0F\0\x80\0\x03\0\x70", 12);  // 15 tables
    const KindCase cases[] = {
        {"MIME type with an escaped slash", "<</Type/EmbeddedFile/Subtype/text#2Fplain>>", "hello", K::Text},
        {"MIME type in any case", "<</Subtype/Application#2FPDF>>", "garbage", K::Pdf},
        {"office document by MIME type, though ZIP by its bytes",
         "<</Subtype/application#2Fvnd.openxmlformats-officedocument.wordprocessingml.document>>",
         std::string("PK\x03\x04", 4), K::Docx},
        {"an unknown MIME type leaves the bytes to decide", "<</Subtype/application#2Fx-unheard-of>>",
         std::string("PK\x03\x04", 4), K::Zip},
        {"CFF by subtype", "<</Subtype/Type1C/Length 9>>", "\x01", K::Cff},
        {"CID-keyed CFF by subtype", "<</Subtype/CIDFontType0C>>", "\x01", K::Cff},
        {"OpenType by subtype", "<</Subtype/OpenType>>", "\x01", K::Otf},
        {"a subtype nested deeper is not the stream's", "<</Params<</Subtype/Type1C>>>>", "x", K::Data},
        {"an image's subtype names nothing", "<</Subtype/Image>>", "x", K::Data},
        {"PNG", "<<>>", "\x89PNG\r\n\x1A\n", K::Png},
        {"GIF", "<<>>", "GIF89a", K::Gif},
        {"JP2 box", "<<>>", std::string("\0\0\0\x0CjP  \r\n\x87\n", 12), K::Jp2},
        {"JPEG 2000 codestream", "<<>>", "\xFF\x4F\xFF\x51", K::J2c},
        {"big-endian TIFF", "<<>>", std::string("MM\0*", 4), K::Tiff},
        {"TrueType", "<<>>", fontDirectory, K::Ttf},
        {"TrueType, Apple's mark", "<<>>", "true" + fontDirectory.substr(4), K::Ttf},
        {"OpenType with CFF outlines", "<<>>", "OTTO" + fontDirectory.substr(4), K::Otf},
        {"no tables is no font", "<<>>", std::string("\0\x01\0\0\0\0", 6), K::Data},
        {"too many tables is no font", "<<>>", std::string("\0\x01\0\0\x01\0", 6), K::Data},
        {"Type 1", "<<>>", "%!PS-AdobeFont-1.0: CMR10", K::Pfa},
        {"Type 1, other header", "<<>>", "%!FontType1-1.0: X", K::Pfa},
        {"ICC profile", "<<>>", IccHead("acsp"), K::Icc},
        {"ICC signature cut short", "<<>>", IccHead("acs"), K::Data},
        {"plain data", "<<>>", "BT /F1 12 Tf ET", K::Data},
    };
    for (const KindCase& c : cases) {
        const auto* head = reinterpret_cast<const uint8_t*>(c.head.data());
        EXPECT_EQ(ChooseViewableKind(ContentKind::Data, c.dictionary, head, c.head.size()), c.kind) << c.label;
    }
}

TEST(ChooseViewableKind, TheDefaultRulesAnswerStands) {
    const std::string png = "\x89PNG\r\n\x1A\n";
    const auto* head = reinterpret_cast<const uint8_t*>(png.data());
    for (ContentKind standard : {ContentKind::Xml, ContentKind::Tiff, ContentKind::Pbm, ContentKind::Jpeg, ContentKind::Pdf}) {
        EXPECT_EQ(ChooseViewableKind(standard, "<</Subtype/text#2Fplain>>", head, png.size()), standard);
    }
}

}  // namespace
