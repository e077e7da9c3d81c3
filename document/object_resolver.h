// Following references, for the viewable mode: an object's value by its
// number, whether it stands in the body's text (found through the object
// index) or inside an object stream (/Type /ObjStm), and a stream object's
// dictionary and data. Object streams are found and decoded with the chain
// only when an object the body lacks is asked for, and kept, up to
// ObjectStreamCacheBytes, while the archive is open; the default mode never
// makes a resolver.
//
// Lookups run under the resolver's lock, held by a ResolverSession for as
// long as the views it gave are used.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string_view>
#include <vector>

#include "decode/status.h"
#include "document/object_index.h"
#include "platform/heap_block.h"
#include "syntax/dictionary.h"

struct Archive;

// Decoded object streams kept at most, in bytes; past this the cache is
// emptied before the next session's first lookup.
constexpr uint64_t ObjectStreamCacheBytes = uint64_t{16} << 20;
// Bytes of the biggest object stream decoded.
constexpr uint64_t ObjectStreamLimit = uint64_t{64} << 20;
// References followed one after another at most before a value counts as missing.
constexpr int MaxReferenceChain = 8;

// One object as a lookup found it.
struct ResolvedObject {
    std::string_view value;             // its value, from its first byte to its last
    uint32_t number = 0;
    uint32_t generation = 0;            // 0 for an object inside an object stream
    bool stream = false;                // a stream object: value is its dictionary
    const uint8_t* dataBegin = nullptr; // a stream's stored data
    const uint8_t* dataEnd = nullptr;
};

// Where an object inside an object stream is.
struct ContainedObject {
    uint32_t number;      // the object's
    uint32_t container;   // the object stream's number
    uint32_t index;       // its place in the object stream
};

// A decoded object stream.
struct DecodedObjectStream {
    uint32_t number = 0;
    HeapBlock bytes;
    uint64_t size = 0;     // bytes of `bytes` in use
    uint64_t first = 0;    // "/First": where the first object starts
    uint32_t count = 0;    // "/N": objects it holds
};

struct ObjectResolver {
    std::mutex lock;                                   // guards everything below
    ObjectIndex index;                                 // the body's objects
    bool containersFound = false;                      // objectsInStreams is made
    std::vector<ContainedObject> objectsInStreams;     // sorted by number; of one number, in body order
    std::deque<DecodedObjectStream> cache;             // decoded object streams
    uint64_t cachedBytes = 0;
    // A lookup or an image's plan found no memory: its answer may differ from
    // the one memory would give, so the archive's listing ends with 11. Set
    // from any thread, never cleared.
    std::atomic<bool> outOfMemory{false};
};

// A stream's bytes with its filters undone (and decrypted), into `bytes`
// (resized to them). InvalidData when they do not decode or pass `limit`.
Status DecodeStreamBytes(const Archive& archive, const ResolvedObject& stream, uint64_t limit,
                         std::vector<uint8_t>& bytes);

// Lookups under the resolver's lock. The views the lookups give stay valid
// until the session ends.
class ResolverSession {
public:
    ResolverSession(const Archive& archive, ObjectResolver& resolver);
    ResolverSession(const ResolverSession&) = delete;
    ResolverSession& operator=(const ResolverSession&) = delete;

    // The object `number`: its last definition in the body, or when the body
    // has none, in the object stream defined last that holds it. False when
    // there is none or it cannot be read.
    bool Resolve(uint32_t number, ResolvedObject& object);
    // The value itself, or the value of the object it refers to ("N G R"),
    // following up to MaxReferenceChain references; `object` tells which
    // object it came from (number 0 for a direct value). False for a
    // reference to nothing.
    bool Follow(std::string_view value, std::string_view& resolved, ResolvedObject* object = nullptr);

private:
    bool ResolveInBody(uint32_t number, ResolvedObject& object);
    bool ResolveInStream(const ContainedObject& contained, ResolvedObject& object);
    void FindContainers();
    bool DecodeContainer(uint32_t number, DecodedObjectStream& decoded);
    // Keeps a decoded object stream while the cache has room; null when not kept.
    const DecodedObjectStream* KeepContainer(DecodedObjectStream&& decoded);
    // The object stream `number`, from the cache or decoded into it.
    const DecodedObjectStream* Container(uint32_t number);

    const Archive& archive_;
    ObjectResolver& resolver_;
    std::lock_guard<std::mutex> held_;
};
