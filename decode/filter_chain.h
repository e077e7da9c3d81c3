// The filter chain: reads a stream's "/Filter" and "/Subtype" into FilterCodes,
// undoes them in order into the entry's own buffer, and types the result.
#pragma once

#include <cstdint>

#include "decode/filter_codes.h"
#include "platform/win32.h"

struct StreamEntry;

// The extensions an entry can get, chosen by the first rule that applies:
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

// Fills the list from the dictionary's "/Filter" names; "/Subtype" containing
// "/XML" makes it the single code 1. Cannot fail.
void ParseFilterList(const char* dictionaryText, uint32_t (&filterCodes)[MaxFilterCodes], uint32_t& filterCount);
// Runs the chain on entry.data and, on success, sets extension and typeWord.
// Each step's input is released as soon as the step ends; a CCITT fax step
// ends the chain. Returns 0, or the number of the step that failed (8, 13,
// 777, 1392, ...), leaving extension and typeWord unset. May throw
// std::bad_alloc (from the LZW table); the step's input is released then too.
uint32_t DecodeEntry(StreamEntry& entry, const char* dictionaryText);
