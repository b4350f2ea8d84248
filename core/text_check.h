// Texts that end up in the core's configuration files carry no control
// characters: a line end would start a line of its own there. Shared by
// the network and maintenance pages.
#pragma once
#include <cstddef>

// True when the text (up to its terminator, at most n bytes) holds no
// control character.
inline bool clean_text(const char* s, size_t n) {
  for (size_t i = 0; i < n && s[i]; ++i)
    if (static_cast<unsigned char>(s[i]) < 0x20 || s[i] == 0x7f) return false;
  return true;
}
template <size_t N>
inline bool clean_field(const char (&s)[N]) {
  return clean_text(s, N);
}
