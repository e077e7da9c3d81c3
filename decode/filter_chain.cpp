// The filter chain. The list of steps is parsed first and can be checked on
// its own; DecodeEntry then only runs it, handing the bytes from step to step
// by their four buffer fields, so the chain itself never copies stream data.
#include "decode/filter_chain.h"

#include <cstring>

#include "decode/ascii85.h"
#include "decode/ascii_hex.h"
#include "decode/ccitt_fax.h"
#include "decode/dictionary.h"
#include "decode/flate.h"
#include "decode/lzw.h"
#include "decode/results.h"
#include "decode/run_length.h"
#include "document/archive.h"

namespace {

struct FilterName {
    const char* name;  // as written after the slash, compared whole and case-sensitively
    FilterCode code;
};

// LZW has no short form on purpose: "LZW" is not a name the chain knows.
constexpr FilterName FilterNames[] = {
    {"ASCII85Decode", FilterAscii85}, {"A85", FilterAscii85},
    {"ASCIIHexDecode", FilterAsciiHex}, {"AHx", FilterAsciiHex},
    {"FlateDecode", FilterFlate}, {"Fl", FilterFlate},
    {"LZWDecode", FilterLzw},
    {"RunLengthDecode", FilterRunLength}, {"RL", FilterRunLength},
    {"DCTDecode", FilterDct}, {"DCT", FilterDct},
    {"CCITTFaxDecode", FilterCcittFax}, {"CCF", FilterCcittFax},
};

// A name runs over the bytes from '0' to 'z'; compared unsigned, so bytes from
// 128 up end it as they would as negative signed characters.
bool IsFilterNameByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= '0' && byte <= 'z';
}

// The code of the name [first, first + length), or 0 when it names no step.
uint32_t LookUpFilter(const char* first, size_t length) {
    for (const FilterName& known : FilterNames) {
        if (std::strlen(known.name) == length && std::memcmp(known.name, first, length) == 0) return known.code;
    }
    return 0;
}

bool StartsWith(const ByteBuffer& data, const char* signature, size_t length) {
    return data.Size() >= length && std::memcmp(data.begin, signature, length) == 0;
}

const WCHAR* ChooseExtension(const StreamEntry& entry) {
    if (entry.filterCount != 0 && entry.filterCodes[0] == FilterXmlMetadata) return ExtensionXml;
    if (StartsWith(entry.data, "II*\0", 4)) return ExtensionTiff;
    if (StartsWith(entry.data, "P4\n", 3)) return ExtensionPbm;
    if (StartsWith(entry.data, "\xFF\xD8\xFF", 3)) return ExtensionJpeg;
    if (StartsWith(entry.data, "%PDF-1.", 7)) return ExtensionPdf;
    return ExtensionData;
}

// Runs one step with the previous bytes in `input` and the entry's empty
// `data` as the output.
uint32_t RunStep(uint32_t code, StreamEntry& entry, ByteBuffer& input, const char* dictionaryText) {
    switch (code) {
    case FilterXmlMetadata:
    case FilterDct:
        entry.data = TakeBuffer(input);
        return ResultOk;
    case FilterAscii85:
        return DecodeAscii85(entry.data, input);
    case FilterAsciiHex:
        return DecodeAsciiHex(entry.data, input);
    case FilterFlate:
        return DecodeFlate(entry.data, input);
    case FilterLzw: {
        int32_t earlyChange = 1;
        GetIntValue(dictionaryText, "/EarlyChange", 1, false, earlyChange);
        return DecodeLzw(entry.data, input, earlyChange);
    }
    case FilterRunLength: {
        // Runs expand, so the output starts at twice the input; the decoder
        // grows it further when that is not enough.
        const uint32_t result = entry.data.Reserve(input.Size() * 2);
        if (result != ResultOk) return result;
        const uint32_t decoded = DecodeRunLength(entry.data, input);
        if (decoded == ResultOk) entry.data.end = entry.data.cursor;
        return decoded;
    }
    case FilterCcittFax:
        return WrapCcittFax(entry.data, input, dictionaryText);
    default:
        // ParseFilterList records nothing else; a stray code changes nothing.
        entry.data = TakeBuffer(input);
        return ResultOk;
    }
}

}  // namespace

void ParseFilterList(const char* dictionaryText, uint32_t (&filterCodes)[MaxFilterCodes], uint32_t& filterCount) {
    uint32_t count = 0;
    for (uint32_t& slot : filterCodes) slot = 0;

    char filter[NameValueCapacity];
    if (GetNameValue(dictionaryText, "/Filter", filter)) {
        const char* walk = filter;
        while ((walk = std::strchr(walk, '/')) != nullptr) {
            const char* name = ++walk;
            while (IsFilterNameByte(*walk)) ++walk;
            const uint32_t code = LookUpFilter(name, static_cast<size_t>(walk - name));
            if (code != 0 && count < MaxFilterCodes) filterCodes[count++] = code;
        }
    }

    // XML metadata is delivered exactly as stored, whatever filters it names.
    char subtype[NameValueCapacity];
    if (GetNameValue(dictionaryText, "/Subtype", subtype) && std::strstr(subtype, "/XML") != nullptr) {
        for (uint32_t& slot : filterCodes) slot = 0;
        filterCodes[0] = FilterXmlMetadata;
        count = 1;
    }
    filterCount = count;
}

uint32_t DecodeEntry(StreamEntry& entry, const char* dictionaryText) {
    ParseFilterList(dictionaryText, entry.filterCodes, entry.filterCount);

    uint32_t error = ResultOk;
    for (uint32_t i = 0; i < entry.filterCount && error == ResultOk; ++i) {
        const uint32_t code = entry.filterCodes[i];
        ByteBuffer input = TakeBuffer(entry.data);
        input.cursor = input.begin;
        // Frees the previous step's block as soon as this step is done, and on
        // the way out of an exception from a decoder's own allocation.
        ByteBufferGuard inputGuard(input);
        error = RunStep(code, entry, input, dictionaryText);
        entry.data.cursor = entry.data.begin;
        if (code == FilterCcittFax) break;  // the TIFF is final: later filters never run
    }
    entry.data.cursor = entry.data.begin;
    if (error != ResultOk) return error;

    entry.extension = ChooseExtension(entry);
    entry.typeWord = TypeWordStream;
    return ResultOk;
}
