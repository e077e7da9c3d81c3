// The filter chain. The list of steps is parsed first and can be checked on
// its own; DecodeStream then only runs it, handing the bytes from step to step
// by their four buffer fields, so the chain itself never copies stream data.
#include "decode/filter_chain.h"

#include <cstring>

#include "decode/ascii85.h"
#include "decode/ascii_hex.h"
#include "decode/ccitt_fax.h"
#include "syntax/dictionary.h"
#include "decode/flate.h"
#include "decode/lzw.h"
#include "decode/results.h"
#include "decode/run_length.h"

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

const WCHAR* ChooseExtension(const DecodedStream& decoded) {
    if (decoded.filterCount != 0 && decoded.filterCodes[0] == FilterXmlMetadata) return ExtensionXml;
    if (StartsWith(decoded.data, "II*\0", 4)) return ExtensionTiff;
    if (StartsWith(decoded.data, "P4\n", 3)) return ExtensionPbm;
    if (StartsWith(decoded.data, "\xFF\xD8\xFF", 3)) return ExtensionJpeg;
    if (StartsWith(decoded.data, "%PDF-1.", 7)) return ExtensionPdf;
    return ExtensionData;
}

// Runs one step with the previous bytes in `input` and the empty `output`.
uint32_t RunStep(uint32_t code, ByteBuffer& output, ByteBuffer& input, DictionaryText dictionary) {
    switch (code) {
    case FilterXmlMetadata:
    case FilterDct:
        output = TakeBuffer(input);
        return ResultOk;
    case FilterAscii85:
        return DecodeAscii85(output, input);
    case FilterAsciiHex:
        return DecodeAsciiHex(output, input);
    case FilterFlate:
        return DecodeFlate(output, input);
    case FilterLzw: {
        int32_t earlyChange = 1;
        GetIntValue(dictionary, "/EarlyChange", 1, false, earlyChange);
        return DecodeLzw(output, input, earlyChange);
    }
    case FilterRunLength: {
        // Runs expand, so the output starts at twice the input; the decoder
        // grows it further when that is not enough.
        const uint32_t result = output.Reserve(input.Size() * 2);
        if (result != ResultOk) return result;
        const uint32_t decoded = DecodeRunLength(output, input);
        if (decoded == ResultOk) output.end = output.cursor;
        return decoded;
    }
    case FilterCcittFax:
        return WrapCcittFax(output, input, dictionary);
    default:
        // ParseFilterList records nothing else; a stray code changes nothing.
        output = TakeBuffer(input);
        return ResultOk;
    }
}

}  // namespace

void ParseFilterList(DictionaryText dictionary, uint32_t (&filterCodes)[MaxFilterCodes], uint32_t& filterCount) {
    uint32_t count = 0;
    for (uint32_t& slot : filterCodes) slot = 0;

    char filter[NameValueCapacity];
    if (GetNameValue(dictionary, "/Filter", filter)) {
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
    if (GetNameValue(dictionary, "/Subtype", subtype) && std::strstr(subtype, "/XML") != nullptr) {
        for (uint32_t& slot : filterCodes) slot = 0;
        filterCodes[0] = FilterXmlMetadata;
        count = 1;
    }
    filterCount = count;
}

uint32_t DecodeStream(const uint8_t* first, const uint8_t* last, DictionaryText dictionary, DecodedStream& decoded) {
    decoded.extension = nullptr;
    ParseFilterList(dictionary, decoded.filterCodes, decoded.filterCount);
    ByteBuffer data;
    data.Attach(first, last, false);
    // Releases the last step's output on every way out but success.
    ByteBufferGuard dataGuard(data);

    uint32_t error = ResultOk;
    for (uint32_t i = 0; i < decoded.filterCount && error == ResultOk; ++i) {
        const uint32_t code = decoded.filterCodes[i];
        ByteBuffer input = TakeBuffer(data);
        input.cursor = input.begin;
        // Frees the previous step's block as soon as this step is done, and on
        // the way out of an exception from a decoder's own allocation.
        ByteBufferGuard inputGuard(input);
        error = RunStep(code, data, input, dictionary);
        if (code == FilterCcittFax) break;  // the TIFF is final: later filters never run
    }
    if (error != ResultOk) return error;

    data.cursor = data.begin;
    data.GiveBackSlack();
    decoded.data = TakeBuffer(data);
    decoded.extension = ChooseExtension(decoded);
    return ResultOk;
}
