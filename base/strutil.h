// Small bounded text helpers shared by every module.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// The longest head of text of at most max bytes that does not end inside a
// UTF-8 character: a cut never leaves the first bytes of a character
// behind. Bytes that are not UTF-8 are kept as they are.
std::string_view utf8_head(std::string_view text, size_t max);

// The one bounded copy into a fixed text field: at most size-1 bytes of
// src, cut at a UTF-8 character boundary, terminated, and the rest of the
// field cleared (a record keeps no bytes of an older text past its own).
// Nothing is written when size is 0. Returns the number of bytes copied.
size_t copy_text(char* dst, size_t size, std::string_view src);

// Same for a fixed char array field.
template <size_t N>
inline size_t copy_field(char (&dst)[N], std::string_view src) {
  return copy_text(dst, N, src);
}

// Length of a fixed field's text, never reading past the field even when the
// field holds no terminator (records from the core daemon may not).
template <size_t N>
inline std::string_view field_view(const char (&src)[N]) {
  return std::string_view(src, strnlen(src, N));
}

// printf into a std::string.
std::string string_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Quotes a value for /bin/sh: the result is one word whatever the value holds.
std::string shell_quote(std::string_view value);

// Whole-text equality, letters compared without case.
bool equals_no_case(std::string_view a, std::string_view b);

// Parses a decimal int32 strictly (optional sign, digits only, in range).
bool parse_int_strict(std::string_view text, int* out);

// Channel mask of a '0'/'1' text: bit n for a '1' at position n (n < 64).
uint64_t channel_mask_from_text(std::string_view text);

// A request text that is a bare decimal int32, blanks around it allowed.
bool parse_text_int(const char* text, int* out);
