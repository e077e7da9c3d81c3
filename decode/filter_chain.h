// The filter chain: reads a stream's "/Filter" and "/Subtype" into FilterCodes,
// undoes them in order, and types the result. A pure step: it reads the
// stream's bytes and its dictionary and touches nothing else, so any thread
// may run it.
#pragma once

#include <cstdint>

#include "decode/byte_buffer.h"
#include "syntax/dictionary.h"
#include "decode/filter_codes.h"
#include "platform/win32.h"

// The extensions a stream can get, chosen by the first rule that applies:
// ".xml" when the list is the XML code; then by the decoded bytes: "II*" and
// a zero byte ".tif", "P4" and LF ".pbm", FF D8 FF ".jpg", "%PDF-1." ".pdf";
// ".dat" for everything else. Entries point at these constants.
inline constexpr WCHAR ExtensionXml[] = WIDE(".xml");
inline constexpr WCHAR ExtensionTiff[] = WIDE(".tif");
inline constexpr WCHAR ExtensionPbm[] = WIDE(".pbm");
inline constexpr WCHAR ExtensionJpeg[] = WIDE(".jpg");
inline constexpr WCHAR ExtensionPdf[] = WIDE(".pdf");
inline constexpr WCHAR ExtensionData[] = WIDE(".dat");
// The type word of every decoded entry's name.
inline constexpr WCHAR TypeWordStream[] = WIDE("stream");

// What decoding one stream gives.
struct DecodedStream {
    ByteBuffer data;                          // the decoded bytes (cursor at begin): an owned block, or
                                              // a view of the stream's bytes when no step replaced them
    uint32_t filterCodes[MaxFilterCodes];     // the chain; unused slots hold 0
    uint32_t filterCount;                     // used slots of filterCodes
    const WCHAR* extension;                   // one of the constants above; null unless decoded
};

// Fills the list from the dictionary's "/Filter" names; "/Subtype" containing
// "/XML" makes it the single code 1. Cannot fail.
void ParseFilterList(DictionaryText dictionary, uint32_t (&filterCodes)[MaxFilterCodes], uint32_t& filterCount);
// Undoes the filters of the stream bytes [first, last), which are only read,
// into `decoded` (empty when called). Each step's input is released as soon
// as the step ends; a CCITT fax step ends the chain; an owned result gives
// its block's slack back. Returns 0, or the number of the step that failed
// (8, 13, 777, 1392, ...), and then `decoded` holds no bytes and no
// extension. May throw std::bad_alloc (from the LZW table); nothing is held
// then either.
uint32_t DecodeStream(const uint8_t* first, const uint8_t* last, DictionaryText dictionary, DecodedStream& decoded);
