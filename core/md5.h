// MD5 digest (RFC 1321). The web pages send passwords as the MD5 digest of
// the password, and the stored accounts keep that digest.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// The 16 digest bytes of data.
void md5_digest(const void* data, size_t len, unsigned char out[16]);
// The digest as 32 lower-case hexadecimal characters.
std::string md5_hex(std::string_view data);
