// The resolver. An object of the body is read where the object index says
// its last definition starts; the object streams are found once, by the
// "/Type /ObjStm" of the body's stream objects, and each one's table of
// numbers and offsets is read when it is first decoded.
#include "document/object_resolver.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "decode/filter_chain.h"
#include "document/archive.h"
#include "document/scanner.h"
#include "document/stream_decoding.h"
#include "syntax/value_reader.h"

namespace {

constexpr char StreamKeyword[] = "stream";
constexpr size_t StreamKeywordLength = sizeof StreamKeyword - 1;
// Bytes the sink of DecodeStreamBytes offers at a time.
constexpr size_t GrowthWindowBytes = 64 * 1024;

// A sink that appends to a vector, up to a limit.
struct GrowingSink {
    Sink sink;
    std::vector<uint8_t>* bytes = nullptr;
    uint64_t limit = 0;
    uint8_t window[GrowthWindowBytes];
};

Status TakeGrowing(Sink& sink, const uint8_t* written, size_t count, bool ending) {
    auto& growing = *static_cast<GrowingSink*>(sink.owner);
    if (growing.bytes->size() + count > growing.limit) return Status::InvalidData;
    try {
        growing.bytes->insert(growing.bytes->end(), written, written + count);
    } catch (const std::bad_alloc&) {
        return Status::OutOfMemory;
    }
    sink.room = growing.window;
    sink.roomLeft = ending ? 0 : GrowthWindowBytes;
    return Status::Ok;
}

bool IsObjectStream(DictionaryText dictionary) {
    ValueText type;
    std::string_view name;
    return FindDictionaryValue(dictionary, "/Type", type) && ReadNameValue(type, name) && name == "/ObjStm";
}

bool ReadDirectInteger(DictionaryText dictionary, std::string_view key, int64_t& number) {
    ValueText value;
    return FindDictionaryValue(dictionary, key, value) && ReadIntegerValue(value, number);
}

}  // namespace

Status DecodeStreamBytes(const Archive& archive, const ResolvedObject& stream, uint64_t limit,
                         std::vector<uint8_t>& bytes) {
    bytes.clear();
    const StreamInput input =
        StreamInputFor(archive, stream.dataBegin, stream.dataEnd, stream.value, stream.number, stream.generation);
    const ChainPlan plan = PlanChain(input);
    if (plan.fax) return Status::InvalidData;
    auto growing = std::make_unique<GrowingSink>();
    growing->bytes = &bytes;
    growing->limit = limit;
    growing->sink = Sink{growing->window, GrowthWindowBytes, TakeGrowing, growing.get()};
    ChainOutcome outcome;
    return RunChain(input, plan, FaxRun{}, growing->sink, outcome);
}

ResolverSession::ResolverSession(const Archive& archive, ObjectResolver& resolver)
    : archive_(archive), resolver_(resolver), held_(resolver.lock) {
    if (resolver_.index.begin == nullptr) {
        StartObjectIndex(resolver_.index, archive.body.Data(), archive.body.Data() + archive.body.Size());
    }
    // Views of the cache live as long as a session; between sessions it may go.
    if (resolver_.cachedBytes > ObjectStreamCacheBytes) {
        resolver_.cache.clear();
        resolver_.cachedBytes = 0;
    }
}

bool ResolverSession::ResolveInBody(uint32_t number, ResolvedObject& object) {
    ObjectLocation location;
    if (!FindObject(resolver_.index, number, location)) {
        if (resolver_.index.unavailable) resolver_.outOfMemory = true;
        return false;
    }
    const char* const bodyEnd = reinterpret_cast<const char*>(resolver_.index.end);
    const char* const start = SkipWhiteSpace(reinterpret_cast<const char*>(location.value), bodyEnd);
    const char* const valueEnd = SkipValue(start, bodyEnd);
    if (valueEnd == nullptr) return false;
    object = ResolvedObject{};
    object.number = number;
    object.generation = location.generation;
    object.value = std::string_view(start, static_cast<size_t>(valueEnd - start));
    const char* const keyword = SkipWhiteSpace(valueEnd, bodyEnd);
    const bool stream = object.value.substr(0, 2) == "<<" && static_cast<size_t>(bodyEnd - keyword) >= StreamKeywordLength &&
                        std::memcmp(keyword, StreamKeyword, StreamKeywordLength) == 0;
    if (!stream) return true;
    // The stream's data as the listing finds it, from its header line on.
    // The scan borrows the resolver's index, built already, to follow an
    // indirect /Length without a pass of its own over the body.
    ScanState scan;
    StartScan(scan, resolver_.index.begin, resolver_.index.end);
    scan.position = location.header;
    scan.objects = std::move(resolver_.index);
    FoundStream found{};
    const bool foundStream = FindNextStream(scan, found);
    resolver_.index = std::move(scan.objects);
    if (!foundStream || found.objectNumber != number || found.dictionary.data() > valueEnd) return false;
    object.stream = true;
    object.value = found.dictionary;
    object.dataBegin = found.dataBegin;
    object.dataEnd = found.dataEnd;
    return true;
}

// Reads an object stream's table into `contained`.
void ReadContainerTable(const DecodedObjectStream& decoded, std::vector<ContainedObject>& contained) {
    const char* at = reinterpret_cast<const char*>(decoded.bytes.Data());
    const char* const tableEnd = at + decoded.first;
    for (uint32_t i = 0; i < decoded.count; ++i) {
        at = SkipWhiteSpace(at, tableEnd);
        const char* const numberEnd = SkipValue(at, tableEnd);
        int64_t objectNumber = 0;
        if (numberEnd == nullptr || !ReadIntegerValue(ValueText(at, static_cast<size_t>(numberEnd - at)), objectNumber)) return;
        at = SkipWhiteSpace(numberEnd, tableEnd);
        const char* const offsetEnd = SkipValue(at, tableEnd);
        if (offsetEnd == nullptr) return;
        at = offsetEnd;
        if (objectNumber >= 0 && objectNumber <= UINT32_MAX) {
            contained.push_back(ContainedObject{static_cast<uint32_t>(objectNumber), decoded.number, i});
        }
    }
}

void ResolverSession::FindContainers() {
    resolver_.containersFound = true;
    ObjectIndex& index = resolver_.index;
    BuildObjectIndex(index);
    const char* const bodyEnd = reinterpret_cast<const char*>(index.end);
    std::vector<ContainedObject> contained;
    try {
        // Only a dictionary saying /Type /ObjStm is worth reading further;
        // the object streams are read in body order.
        std::vector<ObjectDefinition> containers;
        for (const ObjectDefinition& definition : index.definitions) {
            ObjectLocation location;
            if (!FindObject(index, definition.number, location)) continue;
            const char* const start = SkipWhiteSpace(reinterpret_cast<const char*>(location.value), bodyEnd);
            if (IsObjectStream(DictionaryAt(start, bodyEnd))) containers.push_back(definition);
        }
        std::sort(containers.begin(), containers.end(),
                  [](const ObjectDefinition& a, const ObjectDefinition& b) { return a.offset < b.offset; });
        for (const ObjectDefinition& definition : containers) {
            DecodedObjectStream decoded;
            if (!DecodeContainer(definition.number, decoded)) continue;
            ReadContainerTable(decoded, contained);
            KeepContainer(std::move(decoded));
        }
        // Of two object streams holding one number, the one defined later wins.
        std::stable_sort(contained.begin(), contained.end(), [&](const ContainedObject& a, const ContainedObject& b) {
            return a.number < b.number;
        });
        resolver_.objectsInStreams = std::move(contained);
    } catch (const std::bad_alloc&) {
        resolver_.objectsInStreams.clear();
        resolver_.outOfMemory = true;
    }
}

bool ResolverSession::DecodeContainer(uint32_t number, DecodedObjectStream& decoded) {
    ResolvedObject object;
    if (!ResolveInBody(number, object) || !object.stream || !IsObjectStream(object.value)) return false;
    int64_t count = 0;
    int64_t first = 0;
    if (!ReadDirectInteger(object.value, "/N", count) || !ReadDirectInteger(object.value, "/First", first) || count < 0 ||
        count > UINT32_MAX || first < 0) {
        return false;
    }
    std::vector<uint8_t> bytes;
    const Status status = DecodeStreamBytes(archive_, object, ObjectStreamLimit, bytes);
    if (status == Status::OutOfMemory) resolver_.outOfMemory = true;
    if (status != Status::Ok || static_cast<uint64_t>(first) > bytes.size()) return false;
    decoded.number = number;
    decoded.size = bytes.size();
    decoded.first = static_cast<uint64_t>(first);
    decoded.count = static_cast<uint32_t>(count);
    if (!decoded.bytes.Allocate(bytes.size() + 1)) {
        resolver_.outOfMemory = true;
        return false;
    }
    if (!bytes.empty()) std::memcpy(decoded.bytes.Data(), bytes.data(), bytes.size());
    return true;
}

const DecodedObjectStream* ResolverSession::KeepContainer(DecodedObjectStream&& decoded) {
    if (resolver_.cachedBytes + decoded.size > ObjectStreamCacheBytes && !resolver_.cache.empty()) return nullptr;
    resolver_.cachedBytes += decoded.size;
    resolver_.cache.push_back(std::move(decoded));
    return &resolver_.cache.back();
}

const DecodedObjectStream* ResolverSession::Container(uint32_t number) {
    for (const DecodedObjectStream& cached : resolver_.cache) {
        if (cached.number == number) return &cached;
    }
    DecodedObjectStream decoded;
    if (!DecodeContainer(number, decoded)) return nullptr;
    // One too big for the cache is kept until the next session starts.
    resolver_.cachedBytes += decoded.size;
    resolver_.cache.push_back(std::move(decoded));
    return &resolver_.cache.back();
}

bool ResolverSession::ResolveInStream(const ContainedObject& contained, ResolvedObject& object) {
    const DecodedObjectStream* decoded = Container(contained.container);
    if (decoded == nullptr || contained.index >= decoded->count) return false;
    // The table's pair at the object's place gives its offset from /First.
    const char* at = reinterpret_cast<const char*>(decoded->bytes.Data());
    const char* const tableEnd = at + decoded->first;
    int64_t offset = -1;
    for (uint32_t i = 0; i <= contained.index; ++i) {
        for (int field = 0; field < 2; ++field) {
            at = SkipWhiteSpace(at, tableEnd);
            const char* const end = SkipValue(at, tableEnd);
            if (end == nullptr) return false;
            if (i == contained.index && field == 1 && !ReadIntegerValue(ValueText(at, static_cast<size_t>(end - at)), offset)) {
                return false;
            }
            at = end;
        }
    }
    if (offset < 0 || decoded->first + static_cast<uint64_t>(offset) >= decoded->size) return false;
    const char* const objectsEnd = reinterpret_cast<const char*>(decoded->bytes.Data()) + decoded->size;
    const char* const start =
        SkipWhiteSpace(reinterpret_cast<const char*>(decoded->bytes.Data()) + decoded->first + offset, objectsEnd);
    const char* const end = SkipValue(start, objectsEnd);
    if (end == nullptr) return false;
    object = ResolvedObject{};
    object.number = contained.number;
    object.value = std::string_view(start, static_cast<size_t>(end - start));
    return true;
}

bool ResolverSession::Resolve(uint32_t number, ResolvedObject& object) {
    // The body's definition stands whenever there is one, so that what a
    // lookup finds never depends on which lookups came before it.
    ObjectLocation location;
    if (FindObject(resolver_.index, number, location)) return ResolveInBody(number, object);
    if (resolver_.index.unavailable) {
        resolver_.outOfMemory = true;
        return false;
    }
    if (!resolver_.containersFound) FindContainers();
    const auto& contained = resolver_.objectsInStreams;
    auto at = std::lower_bound(contained.begin(), contained.end(), number,
                               [](const ContainedObject& c, uint32_t n) { return c.number < n; });
    // Of several object streams holding it, the last one found, the one defined last, wins.
    auto last = at;
    while (last != contained.end() && last->number == number) ++last;
    return last != at && ResolveInStream(*(last - 1), object);
}

bool ResolverSession::Follow(std::string_view value, std::string_view& resolved, ResolvedObject* object) {
    ResolvedObject found;
    for (int step = 0; step <= MaxReferenceChain; ++step) {
        uint32_t number = 0;
        uint32_t generation = 0;
        if (!ReadReferenceValue(value, number, generation)) {
            resolved = value;
            if (object != nullptr) *object = found;
            return true;
        }
        if (!Resolve(number, found)) return false;
        value = found.value;
    }
    return false;
}
