#include "platform/textutil.h"

#include <cstring>
#include <string>

#include "base/strutil.h"

namespace {
bool is_unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == '~';
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

size_t get_url_encode(const char* src, char* dst, size_t size) {
  if (!src || !dst || size == 0) return 0;
  static const char digits[] = "0123456789ABCDEF";
  size_t n = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(src); *p; ++p) {
    if (is_unreserved(*p)) {
      if (n + 1 >= size) break;
      dst[n++] = static_cast<char>(*p);
    } else {
      if (n + 3 >= size) break;
      dst[n++] = '%';
      dst[n++] = digits[*p >> 4];
      dst[n++] = digits[*p & 15];
    }
  }
  dst[n] = '\0';
  return n;
}

size_t get_url_decode(const char* src, char* dst, size_t size) {
  if (!src || !dst || size == 0) return 0;
  // Decoded whole first, then cut: the cut then never splits a character
  // that was written as several "%XX" units.
  std::string out;
  out.reserve(std::strlen(src));
  for (const char* p = src; *p; ++p) {
    if (*p == '%' && p[1] && p[2]) {
      const int hi = hex_value(p[1]), lo = hex_value(p[2]);
      if (hi >= 0 && lo >= 0 && (hi | lo) != 0) {
        out += static_cast<char>(hi * 16 + lo);
        p += 2;
        continue;
      }
    }
    out += *p;
  }
  return copy_text(dst, size, out);
}
