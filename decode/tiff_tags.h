// The TIFF field types and tag numbers vellum writes (TIFF 6.0), shared by
// the fax wrap and the image writer.
#pragma once

#include <cstdint>

namespace tiff {

constexpr uint16_t Version = 42;

constexpr uint16_t TypeShort = 3;
constexpr uint16_t TypeLong = 4;
constexpr uint16_t TypeUndefined = 7;

constexpr uint16_t TagImageWidth = 256;
constexpr uint16_t TagImageLength = 257;
constexpr uint16_t TagBitsPerSample = 258;
constexpr uint16_t TagCompression = 259;
constexpr uint16_t TagPhotometric = 262;
constexpr uint16_t TagStripOffsets = 273;
constexpr uint16_t TagSamplesPerPixel = 277;
constexpr uint16_t TagRowsPerStrip = 278;
constexpr uint16_t TagStripByteCounts = 279;
constexpr uint16_t TagPlanarConfiguration = 284;
constexpr uint16_t TagT4Options = 292;
constexpr uint16_t TagPredictor = 317;
constexpr uint16_t TagColorMap = 320;
constexpr uint16_t TagInkSet = 332;
constexpr uint16_t TagIccProfile = 34675;

}  // namespace tiff
