// The viewable mode's image entries: made while the archive is opened, from
// the plan (image_plan.h), and found again when they are extracted.
//
// A wrap is listed only when the stream's filters give exactly the rows the
// image promises (each behind a filter byte of 0 to 4 with a PNG predictor):
// the filters run once into a counter, as the default mode's listing runs
// them, and the file's size then follows from the stored data's. Otherwise,
// and for every image whose samples are decoded, the image's own chain runs
// into the listing's output, as a default entry's does.
#pragma once

#include <cstdint>

#include "decode/filter_chain.h"
#include "document/archive.h"
#include "decode/sink.h"

// Where an image's bytes go while it is listed.
struct ImageListing {
    uint8_t* scratch = nullptr;       // SinkWindowBytes of counting room
    Sink* output = nullptr;           // where a decoded image's file goes: kept, held ahead or counted
};

// What listing an image gave.
struct ListedImage {
    bool listed = false;              // the entry is an image; else the default mode lists the stream
    ImageRun run;                     // how it is written
    bool written = false;             // its file went whole into the listing's output
};

// Lists the stream of `input` as an image when the mode writes it as one:
// fills the row's size and kind. Answers Ok (also when it is no image the
// mode writes), InvalidData when its filters fail as they would in the
// default mode, or OutOfMemory.
Status ListImage(const Archive& archive, const StreamInput& input, const ImageListing& where, EntryRow& row,
                 ListedImage& image);

// The plan of the image entry in `row`, copied into `run`; false when it is none.
bool FindImageRun(Archive& archive, uint32_t row, ImageRun& run);
