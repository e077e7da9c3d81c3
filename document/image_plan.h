// The viewable mode's plan for an image stream (/Subtype /Image whose data
// is neither JPEG nor CCITT fax): which file it becomes, PNG wherever the
// colours allow and the cost is a wrap, TIFF otherwise, and whether the
// stored data goes into that file as it stands or is decoded first.
//
// - Colour spaces: DeviceGray, CalGray, DeviceRGB, CalRGB, DeviceCMYK (TIFF),
//   Lab (TIFF, ICC's Lab encoding), ICCBased (its "/N" read from the profile
//   stream, the profile embedded), Indexed over a grey, RGB or CMYK base (a
//   palette; the lookup from a string or a stream), Separation and DeviceN
//   of one ink as grey with white for no ink (TIFF), DeviceN of four inks as
//   separated (TIFF); image masks as 1-bit images, painted black. A colour
//   space given by reference is followed, into object streams too.
// - Samples of 1, 2, 4, 8 and 16 bits; RGB at 8 and 16, CMYK and Lab at 8
//   (PIL reads them at no other size).
// - "/Decode" either as the colour space's default or with each pair
//   swapped: a swapped grey is written white-is-zero (TIFF), other swapped
//   components are inverted, at 8 and 16 bits.
// - Wraps: Flate with a PNG predictor whose Colors, BitsPerComponent and
//   Columns match the image is a PNG's IDAT; Flate without a predictor, or
//   with TIFF's, is a TIFF Deflate strip; LZW with an early change of 1 a
//   TIFF LZW strip. Anything else (RunLength, chains of filters, no filter, a
//   predictor that does not match) is decoded, predictors undone, and
//   written uncompressed.
// Any other image is left as the default mode lists it, JPEG and CCITT fax
// data too, except that a CCITT image mask gets a TIFF header (PlanEntryChain).
#pragma once

#include "decode/filter_chain.h"
#include "document/archive.h"

// How the mode writes the stream `input` (an object of the archive), when
// it writes it as an image: true with `run` set. Reads and follows what the
// dictionary names, under the state's resolver lock. Short of memory it
// answers false with the resolver's outOfMemory set.
bool PlanImage(const Archive& archive, ViewableState& state, const StreamInput& input, ImageRun& run);

// The steps of a stream that is no image the mode plans, in the archive's
// mode: in the viewable mode a CCITT image mask is written behind a TIFF
// header like any fax image, painted black; otherwise PlanChain's.
ChainPlan PlanEntryChain(const Archive& archive, const StreamInput& input);

// The same image decoded and written uncompressed: what a planned wrap falls
// back to when the stored data does not hold the rows it must.
ImageRun DecodedRun(const ImageRun& wrap);

// Bytes the filters must give for a wrap's rows to be whole: with a PNG
// predictor, each row behind its filter byte.
uint64_t WrappedRowsBytes(const ImageRun& run);
