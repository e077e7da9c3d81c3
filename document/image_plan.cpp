// Reading an image's dictionary into a plan: its size and samples, its
// colour space (followed through references), its "/Decode", then the
// filters, which decide between a wrap of the stored data and rows decoded.
#include "document/image_plan.h"

#include <cstring>
#include <new>
#include <string_view>

#include "syntax/value_reader.h"

namespace {

// Bytes of the biggest ICC profile embedded, and of a lookup stream read.
constexpr uint64_t ProfileLimit = uint64_t{4} << 20;
constexpr uint64_t LookupLimit = uint64_t{1} << 20;
// Bytes of the biggest lookup string read: far more than 256 CMYK entries.
constexpr size_t LookupStringCapacity = 4096;
// An ICC profile's header: its data colour space at bytes 16 to 19, its signature at 36 to 39.
constexpr size_t ProfileColourSpaceAt = 16;
constexpr size_t ProfileSignatureAt = 36;
constexpr size_t ProfileHeaderBytes = 128;
// Colour spaces nest at most this deep (an Indexed over an ICCBased).
constexpr int MaxColourSpaceDepth = 2;
// A real number is read with at most this many digits: enough for "1.0".
constexpr int MaxNumberDigits = 18;

enum class Family : uint8_t { Grey, Rgb, Cmyk, Lab, Indexed, Ink, Unknown };

struct ColourSpace {
    Family family = Family::Unknown;
    uint8_t components = 0;                       // samples per pixel
    const std::vector<uint8_t>* profile = nullptr;  // ICCBased: the profile to embed, if any
    Family base = Family::Unknown;                // Indexed: the base's family
    uint8_t baseComponents = 0;
    uint32_t highest = 0;                         // Indexed: the highest index
    std::vector<uint8_t> palette;                 // Indexed: RGB triplets, highest + 1 of them
};

bool NameIs(std::string_view value, std::string_view name) {
    std::string_view read;
    return ReadNameValue(value, read) && read == name;
}

// A number written as an integer or a real, for comparisons with whole values.
bool ReadNumber(std::string_view value, double& number) {
    size_t at = 0;
    bool negative = false;
    if (at < value.size() && (value[at] == '-' || value[at] == '+')) negative = value[at++] == '-';
    double whole = 0;
    int digits = 0;
    while (at < value.size() && value[at] >= '0' && value[at] <= '9' && digits < MaxNumberDigits) {
        whole = whole * 10 + (value[at++] - '0');
        ++digits;
    }
    if (at < value.size() && value[at] == '.') {
        ++at;
        double scale = 0.1;
        while (at < value.size() && value[at] >= '0' && value[at] <= '9' && digits < MaxNumberDigits) {
            whole += (value[at++] - '0') * scale;
            scale /= 10;
            ++digits;
        }
    }
    if (digits == 0 || at != value.size()) return false;
    number = negative ? -whole : whole;
    return true;
}

bool ReadInteger(ResolverSession& session, std::string_view value, int64_t& number) {
    std::string_view resolved;
    return session.Follow(value, resolved) && ReadIntegerValue(resolved, number);
}

// The dictionary's own entry `key`, references followed.
bool Entry(ResolverSession& session, DictionaryText dictionary, std::string_view key, std::string_view& value) {
    ValueText raw;
    return FindDictionaryValue(dictionary, key, raw) && session.Follow(raw, value);
}

// The elements of an array value, up to `capacity`; false for no array or more elements.
template <size_t N>
bool ArrayElements(std::string_view array, std::string_view (&elements)[N], size_t& count) {
    ValueWalk walk;
    if (!StartArrayWalk(array, walk)) return false;
    count = 0;
    ValueText element;
    while (NextArrayElement(walk, element)) {
        if (count == N) return false;
        elements[count++] = element;
    }
    return true;
}

// Keeps bytes among the state's blobs; null when they do not fit.
const std::vector<uint8_t>* KeepBlob(ViewableState& state, std::vector<uint8_t>&& bytes) {
    if (state.blobBytes + bytes.size() > ViewableBlobLimit) return nullptr;
    state.blobBytes += bytes.size();
    state.blobs.push_back(std::move(bytes));
    return &state.blobs.back();
}

// The profile of an ICCBased stream, read once per stream; null when it is
// no profile of `components` colours.
const std::vector<uint8_t>* Profile(const Archive& archive, ViewableState& state, const ResolvedObject& stream,
                                    uint8_t components) {
    for (const ProfileBlob& known : state.profiles) {
        if (known.object == stream.number) return known.bytes;
    }
    std::vector<uint8_t> bytes;
    const std::vector<uint8_t>* kept = nullptr;
    const Status decoded = DecodeStreamBytes(archive, stream, ProfileLimit, bytes);
    if (decoded == Status::OutOfMemory) state.resolver.outOfMemory = true;
    if (decoded == Status::Ok && bytes.size() >= ProfileHeaderBytes &&
        std::memcmp(bytes.data() + ProfileSignatureAt, "acsp", 4) == 0) {
        const char* expected = components == 1 ? "GRAY" : components == 3 ? "RGB " : components == 4 ? "CMYK" : "";
        if (std::strlen(expected) == 4 && std::memcmp(bytes.data() + ProfileColourSpaceAt, expected, 4) == 0) {
            kept = KeepBlob(state, std::move(bytes));
        }
    }
    state.profiles.push_back(ProfileBlob{stream.number, kept});
    return kept;
}

bool ReadColourSpace(const Archive& archive, ViewableState& state, ResolverSession& session, std::string_view value,
                     int depth, ColourSpace& space);

// The palette of an Indexed space as RGB triplets, from the lookup's bytes in its base's colours.
bool MakePalette(ColourSpace& space, const uint8_t* lookup, size_t length) {
    const size_t entries = space.highest + 1;
    if (length < entries * space.baseComponents) return false;
    space.palette.resize(3 * entries);
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* in = lookup + i * space.baseComponents;
        uint8_t* out = space.palette.data() + 3 * i;
        switch (space.base) {
        case Family::Grey:
            out[0] = out[1] = out[2] = in[0];
            break;
        case Family::Rgb:
            std::memcpy(out, in, 3);
            break;
        case Family::Cmyk:
            // The plain conversion: each ink takes its share away, black from all three.
            for (int c = 0; c < 3; ++c) {
                const int sum = in[c] + in[3];
                out[c] = static_cast<uint8_t>(sum > 255 ? 0 : 255 - sum);
            }
            break;
        default:
            return false;
        }
    }
    return true;
}

bool ReadIndexed(const Archive& archive, ViewableState& state, ResolverSession& session, const std::string_view* elements,
                 size_t count, int depth, ColourSpace& space) {
    if (count != 4 || depth >= MaxColourSpaceDepth) return false;
    ColourSpace base;
    if (!ReadColourSpace(archive, state, session, elements[1], depth + 1, base)) return false;
    if (base.family != Family::Grey && base.family != Family::Rgb && base.family != Family::Cmyk) return false;
    int64_t highest = 0;
    if (!ReadInteger(session, elements[2], highest) || highest < 0 || highest >= MaxPaletteEntries) return false;
    space.family = Family::Indexed;
    space.components = 1;
    space.base = base.family;
    space.baseComponents = base.components;
    space.highest = static_cast<uint32_t>(highest);
    // An RGB profile describes the palette's colours; others would not fit a palette.
    if (base.family == Family::Rgb) space.profile = base.profile;
    std::string_view lookup;
    ResolvedObject object;
    if (!session.Follow(elements[3], lookup, &object)) return false;
    if (object.stream) {
        std::vector<uint8_t> bytes;
        const Status decoded = DecodeStreamBytes(archive, object, LookupLimit, bytes);
        if (decoded == Status::OutOfMemory) state.resolver.outOfMemory = true;
        if (decoded != Status::Ok) return false;
        return MakePalette(space, bytes.data(), bytes.size());
    }
    uint8_t bytes[LookupStringCapacity];
    size_t length = 0;
    return ReadStringValue(lookup, bytes, sizeof bytes, length) && MakePalette(space, bytes, length);
}

bool ReadIccBased(const Archive& archive, ViewableState& state, ResolverSession& session, const std::string_view* elements,
                  size_t count, ColourSpace& space) {
    if (count != 2) return false;
    std::string_view dictionary;
    ResolvedObject stream;
    if (!session.Follow(elements[1], dictionary, &stream) || !stream.stream) return false;
    std::string_view nValue;
    int64_t n = 0;
    if (!Entry(session, stream.value, "/N", nValue) || !ReadIntegerValue(nValue, n)) return false;
    switch (n) {
    case 1: space.family = Family::Grey; break;
    case 3: space.family = Family::Rgb; break;
    case 4: space.family = Family::Cmyk; break;
    default: return false;
    }
    space.components = static_cast<uint8_t>(n);
    space.profile = Profile(archive, state, stream, space.components);
    return true;
}

bool ReadColourSpace(const Archive& archive, ViewableState& state, ResolverSession& session, std::string_view value,
                     int depth, ColourSpace& space) {
    std::string_view resolved;
    if (!session.Follow(value, resolved)) return false;
    std::string_view elements[4];
    size_t count = 0;
    std::string_view family;
    if (ReadNameValue(resolved, family)) {
        count = 0;
    } else if (!ArrayElements(resolved, elements, count) || count == 0 || !ReadNameValue(elements[0], family)) {
        return false;
    }
    if (family == "/DeviceGray" || family == "/G" || family == "/CalGray") {
        space.family = Family::Grey;
        space.components = 1;
    } else if (family == "/DeviceRGB" || family == "/RGB" || family == "/CalRGB") {
        space.family = Family::Rgb;
        space.components = 3;
    } else if (family == "/DeviceCMYK" || family == "/CMYK") {
        space.family = Family::Cmyk;
        space.components = 4;
    } else if (family == "/Lab") {
        space.family = Family::Lab;
        space.components = 3;
    } else if (family == "/ICCBased") {
        return ReadIccBased(archive, state, session, elements, count, space);
    } else if (family == "/Indexed" || family == "/I") {
        return ReadIndexed(archive, state, session, elements, count, depth, space);
    } else if (family == "/Separation" && count == 4) {
        space.family = Family::Ink;
        space.components = 1;
    } else if (family == "/DeviceN" && (count == 4 || count == 5)) {
        std::string_view names;
        std::string_view inks[5];
        size_t inkCount = 0;
        if (!session.Follow(elements[1], names) || !ArrayElements(names, inks, inkCount)) return false;
        if (inkCount == 1) {
            space.family = Family::Ink;
        } else if (inkCount == 4) {
            space.family = Family::Cmyk;
        } else {
            return false;
        }
        space.components = static_cast<uint8_t>(inkCount);
    } else {
        return false;
    }
    return true;
}

// Reads "/Decode": which components it swaps. False for any other mapping.
bool ReadDecode(ResolverSession& session, DictionaryText dictionary, const ColourSpace& space, uint8_t bits,
                uint32_t& swapped) {
    swapped = 0;
    std::string_view decode;
    if (!Entry(session, dictionary, "/Decode", decode)) return true;
    constexpr size_t MaxValues = 8;
    std::string_view values[MaxValues];
    size_t count = 0;
    if (!ArrayElements(decode, values, count) || count != 2 * size_t{space.components}) return false;
    for (size_t c = 0; c < space.components; ++c) {
        double low = 0, high = 0;
        if (!ReadNumber(values[2 * c], low) || !ReadNumber(values[2 * c + 1], high)) return false;
        double from = 0, to = 1;
        if (space.family == Family::Indexed) to = static_cast<double>((1u << bits) - 1);
        // Lab's a* and b* follow its /Range, which the mode leaves at its
        // default; only L* is compared.
        if (space.family == Family::Lab && c != 0) continue;
        if (space.family == Family::Lab) to = 100;
        if (low == from && high == to) continue;
        if (low == to && high == from && space.family != Family::Indexed) {
            swapped |= 1u << c;
            continue;
        }
        return false;
    }
    return true;
}

// The filters' names as the dictionary gives them: true when each is one
// the chain undoes (or /Crypt, which the decryption stands for), so that the
// stored data holds samples behind them.
bool FiltersAreUndone(ResolverSession& session, DictionaryText dictionary) {
    std::string_view filter;
    if (!Entry(session, dictionary, "/Filter", filter)) return true;
    std::string_view names[MaxFilterCodes];
    size_t count = 0;
    std::string_view single;
    if (ReadNameValue(filter, single)) {
        names[0] = filter;
        count = 1;
    } else if (!ArrayElements(filter, names, count)) {
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        std::string_view name;
        if (!ReadNameValue(names[i], name)) return false;
        static constexpr std::string_view Known[] = {"/ASCII85Decode", "/A85", "/ASCIIHexDecode", "/AHx", "/FlateDecode",
                                                     "/Fl", "/LZWDecode", "/RunLengthDecode", "/RL", "/Crypt"};
        bool known = false;
        for (std::string_view k : Known) known = known || k == name;
        if (!known) return false;
    }
    return true;
}

// The parameters of the last filter's predictor: "/DecodeParms" (or
// "/DP"), a dictionary, or an array whose last element is one.
PredictorParameters ReadPredictor(ResolverSession& session, DictionaryText dictionary) {
    std::string_view parameters;
    if (!Entry(session, dictionary, "/DecodeParms", parameters) && !Entry(session, dictionary, "/DP", parameters)) {
        return PredictorParameters{};
    }
    std::string_view elements[MaxFilterCodes];
    size_t count = 0;
    if (ArrayElements(parameters, elements, count)) {
        if (count == 0 || !session.Follow(elements[count - 1], parameters)) return PredictorParameters{};
    }
    if (DictionaryAt(parameters.data(), parameters.data() + parameters.size()).empty()) return PredictorParameters{};
    return ReadPredictorParameters(parameters);
}

bool PngAllows(const ImageLayout& layout) {
    switch (layout.photometric) {
    case PhotometricBlackIsZero: return layout.components == 1;
    case PhotometricRgb: return layout.bitsPerComponent >= 8;
    case PhotometricPalette: return layout.bitsPerComponent <= 8;
    default: return false;
    }
}

uint8_t PngColourType(const ImageLayout& layout) {
    if (layout.photometric == PhotometricRgb) return PngRgb;
    return layout.photometric == PhotometricPalette ? PngPalette : PngGrey;
}

// The layout's colours, from the space and the swapped components.
bool DescribeColours(const ColourSpace& space, uint32_t swapped, uint8_t bits, ImageLayout& layout) {
    layout.components = space.components;
    switch (space.family) {
    case Family::Grey:
    case Family::Ink: {
        // No ink is white, as a grey of its full value is.
        const bool whiteIsZero = (space.family == Family::Ink) != (swapped != 0);
        layout.photometric = whiteIsZero ? PhotometricWhiteIsZero : PhotometricBlackIsZero;
        return true;
    }
    case Family::Rgb:
        layout.photometric = PhotometricRgb;
        break;
    case Family::Cmyk:
        layout.photometric = PhotometricSeparated;
        break;
    case Family::Lab:
        // TIFF's CIELab, which PIL reads: a* and b* as signed bytes, which
        // PDF's samples are at their default range less 128.
        layout.photometric = PhotometricCieLab;
        layout.signedComponents = 0b110;
        break;
    case Family::Indexed: {
        if (bits > 8) return false;
        layout.photometric = PhotometricPalette;
        // Indices past 2^bits cannot occur; PNG and TIFF take no more entries.
        const uint32_t reachable = 1u << bits;
        layout.paletteEntries = space.highest + 1 < reachable ? space.highest + 1 : reachable;
        return true;
    }
    case Family::Unknown:
        return false;
    }
    // Several components at fewer than 8 bits are no file PIL or a viewer
    // reads, and neither are CMYK or Lab at 16.
    if (bits < 8 || (bits > 8 && layout.photometric != PhotometricRgb)) return false;
    layout.invertedComponents = swapped;
    return true;
}

}  // namespace

ChainPlan PlanEntryChain(const Archive& archive, const StreamInput& input) {
    if (archive.viewable == nullptr) return PlanChain(input);
    // A mask's "/Decode [1 0]" makes its 1 samples the painted ones.
    ValueText decode;
    ValueWalk walk;
    ValueText first, second;
    double low = 0, high = 1;
    const bool paintedIsOne = FindDictionaryValue(input.dictionary, "/Decode", decode) && StartArrayWalk(decode, walk) &&
                              NextArrayElement(walk, first) && NextArrayElement(walk, second) &&
                              ReadNumber(first, low) && ReadNumber(second, high) && low > high;
    return PlanFaxMaskChain(input, paintedIsOne);
}

ImageRun DecodedRun(const ImageRun& wrap) {
    ImageRun run = wrap;
    run.decodes = true;
    ImageLayout& layout = run.layout;
    layout.source = SampleSource::Rows;
    layout.compression = TiffCompressionNone;
    layout.predictor = TiffPredictorNone;
    layout.dataLength = AllRowsBytes(layout);
    layout.format = PngAllows(layout) ? ImageFileFormat::Png : ImageFileFormat::Tiff;
    layout.pngColourType = PngColourType(layout);
    return run;
}

uint64_t WrappedRowsBytes(const ImageRun& run) {
    const uint64_t rows = AllRowsBytes(run.layout);
    return IsPngPredictor(run.predictor.predictor) ? rows + run.layout.height : rows;
}

bool PlanImage(const Archive& archive, ViewableState& state, const StreamInput& input, ImageRun& run) {
    const DictionaryText dictionary = input.dictionary;
    ValueText subtype;
    if (!FindDictionaryValue(dictionary, "/Subtype", subtype) || !NameIs(subtype, "/Image")) return false;
    try {
        ResolverSession session(archive, state.resolver);
        if (!FiltersAreUndone(session, dictionary)) return false;

        std::string_view value;
        int64_t width = 0, height = 0, bits = 1;
        if (!Entry(session, dictionary, "/Width", value) || !ReadIntegerValue(value, width) ||
            !Entry(session, dictionary, "/Height", value) || !ReadIntegerValue(value, height) || width < 1 ||
            height < 1 || width > INT32_MAX || height > INT32_MAX) {
            return false;
        }
        bool mask = false;
        if (Entry(session, dictionary, "/ImageMask", value)) ReadBooleanValue(value, mask);
        if (Entry(session, dictionary, "/BitsPerComponent", value) && !ReadIntegerValue(value, bits)) return false;
        ColourSpace space;
        if (mask) {
            // An image mask paints where its samples are 0: black on white.
            bits = 1;
            space.family = Family::Grey;
            space.components = 1;
        } else if (!Entry(session, dictionary, "/ColorSpace", value) ||
                   !ReadColourSpace(archive, state, session, value, 0, space)) {
            return false;
        }
        if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16) return false;
        uint32_t swapped = 0;
        if (!ReadDecode(session, dictionary, space, static_cast<uint8_t>(bits), swapped)) return false;

        run = ImageRun{};
        ImageLayout& layout = run.layout;
        layout.width = static_cast<uint32_t>(width);
        layout.height = static_cast<uint32_t>(height);
        layout.bitsPerComponent = static_cast<uint8_t>(bits);
        if (!DescribeColours(space, swapped, layout.bitsPerComponent, layout)) return false;
        if (space.family == Family::Indexed) {
            const std::vector<uint8_t>* palette = KeepBlob(state, std::move(space.palette));
            if (palette == nullptr) return false;
            layout.palette = palette->data();
        }
        if (space.profile != nullptr) {
            layout.profile = space.profile->data();
            layout.profileLength = static_cast<uint32_t>(space.profile->size());
        }
        run.predictor = ReadPredictor(session, dictionary);

        // The wraps: one Flate or LZW step, samples not to be inverted.
        const FilterList& filters = input.filters;
        const bool single = filters.count == 1 && layout.invertedComponents == 0 && layout.signedComponents == 0;
        const PredictorParameters& p = run.predictor;
        const bool predictorMatches = p.colors == layout.components && p.bitsPerComponent == layout.bitsPerComponent &&
                                      p.columns == static_cast<int64_t>(layout.width);
        int32_t earlyChange = 1;
        GetIntValue(dictionary, "/EarlyChange", 1, false, earlyChange);
        const bool tiffPredictor = p.predictor == PredictorNone ||
                                   (p.predictor == PredictorTiff && predictorMatches && layout.bitsPerComponent >= 8);
        layout.source = SampleSource::Stored;
        if (single && filters.codes[0] == FilterCode::Flate && IsPngPredictor(p.predictor) && predictorMatches &&
            PngAllows(layout)) {
            layout.format = ImageFileFormat::Png;
            layout.pngColourType = PngColourType(layout);
        } else if (single && filters.codes[0] == FilterCode::Flate && tiffPredictor) {
            layout.format = ImageFileFormat::Tiff;
            layout.compression = TiffCompressionDeflate;
            layout.predictor = p.predictor == PredictorTiff ? TiffPredictorHorizontal : TiffPredictorNone;
        } else if (single && filters.codes[0] == FilterCode::Lzw && earlyChange == 1 && tiffPredictor) {
            layout.format = ImageFileFormat::Tiff;
            layout.compression = TiffCompressionLzw;
            layout.predictor = p.predictor == PredictorTiff ? TiffPredictorHorizontal : TiffPredictorNone;
        } else {
            // A predictor is undone only after a Flate or LZW step that ends the chain.
            if (p.predictor != PredictorNone &&
                (filters.count == 0 || (filters.codes[filters.count - 1] != FilterCode::Flate &&
                                        filters.codes[filters.count - 1] != FilterCode::Lzw))) {
                return false;
            }
            run = DecodedRun(run);
        }
        // Until the stored length is known, a wrap's layout holds no size.
        if (!run.decodes) layout.dataLength = 0;
        return run.decodes ? ImageFileSize(run.layout) != 0 : true;
    } catch (const std::bad_alloc&) {
        state.resolver.outOfMemory = true;
        return false;
    }
}
