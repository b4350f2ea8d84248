// Stand-in for the maker's text helpers: URL percent-encoding of the texts
// the web page shows and sends back (network disk credentials).
#pragma once
#include <cstddef>

// Encodes src into dst (size bytes with the terminator): letters, digits and
// "-_.~" stay, every other byte becomes "%XX" (upper-case hex). A "%XX" is
// never cut: the text stops before a unit that does not fit. Returns the
// length written; 0 for a null argument or size 0 (dst then untouched).
size_t get_url_encode(const char* src, char* dst, size_t size);

// Decodes "%XX" units of src into dst (at most size-1 bytes, cut at a UTF-8
// character boundary, terminated, the rest of dst cleared).
// '+' stays '+', a '%' not followed by two hex digits and "%00" are kept as
// written, so a decoded text never holds a NUL. Returns the length written.
size_t get_url_decode(const char* src, char* dst, size_t size);
