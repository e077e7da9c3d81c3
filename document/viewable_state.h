// What an archive opened in the viewable mode keeps beside its table of
// entries: the resolver that follows references, the palettes and ICC
// profiles the image plans point into, and the plans themselves, one for
// each entry written as PNG or TIFF, in a table of their own so that the
// entries' rows stay as small as in the default mode.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "decode/filter_chain.h"
#include "document/object_resolver.h"

// Bytes of palettes and profiles kept at most; an image whose palette or
// profile does not fit then goes without the profile, or is not planned.
constexpr uint64_t ViewableBlobLimit = uint64_t{64} << 20;

// An entry written as an image, and how.
struct ImagePlanRow {
    uint32_t row;          // the entry's row
    ImageRun run;          // its palette and profile point into the state's blobs
};

// An ICC profile stream read once.
struct ProfileBlob {
    uint32_t object;                       // the profile stream's number
    const std::vector<uint8_t>* bytes;     // null when it is no profile vellum embeds
};

struct ViewableState {
    ObjectResolver resolver;               // its lock also guards blobs, blobBytes and profiles
    std::deque<std::vector<uint8_t>> blobs;  // palettes and profiles, at stable places
    uint64_t blobBytes = 0;
    std::vector<ProfileBlob> profiles;     // profiles read so far
    std::vector<ImagePlanRow> plans;       // sorted by row: filed in listing order
};
