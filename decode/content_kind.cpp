#include "decode/content_kind.h"

#include <cstring>

namespace {

bool StartsWith(const uint8_t* head, size_t size, const char* signature, size_t length) {
    return size >= length && std::memcmp(head, signature, length) == 0;
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
