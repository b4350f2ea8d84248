#include "base/strutil.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

std::string_view utf8_head(std::string_view text, size_t max) {
  if (text.size() <= max) return text;
  // The byte at the cut continues a character: step back to that
  // character's lead byte (a character is at most 4 bytes) and cut before
  // it when the character it starts reaches past the cut.
  size_t n = max;
  for (int back = 0; back < 3 && n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80; ++back) --n;
  const unsigned char lead = static_cast<unsigned char>(text[n]);
  const size_t len = lead >= 0xF0 && lead <= 0xF7 ? 4 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xC0 && lead <= 0xDF ? 2 : 0;
  if (n < max && len && n + len > max) return text.substr(0, n);
  return text.substr(0, max);  // no character split (or bytes that are not UTF-8): a plain cut
}

size_t copy_text(char* dst, size_t size, std::string_view src) {
  if (!dst || size == 0) return 0;
  const std::string_view head = utf8_head(src, size - 1);
  const size_t n = head.size();
  if (n) std::memmove(dst, head.data(), n);
  std::memset(dst + n, 0, size - n);
  return n;
}

std::string string_printf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  char small[512];
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(small, sizeof small, fmt, ap);
  va_end(ap);
  std::string out;
  if (n < 0) {
    va_end(ap2);
    return out;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    out.assign(small, static_cast<size_t>(n));
  } else {
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(&out[0], out.size(), fmt, ap2);
    out.resize(static_cast<size_t>(n));
  }
  va_end(ap2);
  return out;
}

std::string shell_quote(std::string_view value) {
  // Single quotes keep every byte literal; a single quote itself is written
  // as '\'' (close, escaped quote, reopen).
  std::string out;
  out.reserve(value.size() + 2);
  out += '\'';
  for (char c : value) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  out += '\'';
  return out;
}

bool equals_no_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

bool parse_int_strict(std::string_view text, int* out) {
  if (text.empty() || text.size() > 12) return false;
  char buf[16];
  copy_text(buf, sizeof buf, text);
  const char* p = buf;
  if (*p == '+' || *p == '-') ++p;
  if (!*p) return false;
  for (const char* q = p; *q; ++q)
    if (!std::isdigit(static_cast<unsigned char>(*q))) return false;
  errno = 0;
  long v = std::strtol(buf, nullptr, 10);
  if (errno || v < INT_MIN || v > INT_MAX) return false;
  if (out) *out = static_cast<int>(v);
  return true;
}

uint64_t channel_mask_from_text(std::string_view text) {
  uint64_t mask = 0;
  for (size_t i = 0; i < text.size() && i < 64; ++i)
    if (text[i] == '1') mask |= 1ULL << i;
  return mask;
}

bool parse_text_int(const char* text, int* out) {
  if (!text) return false;
  std::string_view v(text);
  while (!v.empty() && std::isspace(static_cast<unsigned char>(v.front()))) v.remove_prefix(1);
  while (!v.empty() && std::isspace(static_cast<unsigned char>(v.back()))) v.remove_suffix(1);
  return parse_int_strict(v, out);
}
