// SASLprep (RFC 4013, the stringprep profile of RFC 3454) of a password, as
// AES-256 encryption asks for it: characters mapped to nothing are dropped,
// non-ASCII spaces become U+0020, the text is normalized to NFKC, and a
// prohibited character or mixed directions refuse it. Unassigned code points
// are let through, as for a query: a password is checked, never stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// A password is prepared only while its decomposition takes no more code
// points than this: a longer one has no prepared form.
constexpr size_t MaxPreparedCodePoints = 512;

// The prepared form of `utf8` as UTF-8 into the `capacity` bytes at
// `prepared`, cut after `capacity` bytes (the hash reads no more), its length
// into `length`. False when the text is not UTF-8, holds a prohibited
// character, fails the bidirectional rule, or decomposes to more than
// MaxPreparedCodePoints.
bool SaslPrep(std::string_view utf8, uint8_t* prepared, size_t capacity, size_t& length);
