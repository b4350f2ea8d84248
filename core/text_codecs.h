// Text codecs of the web pages: URL-safe Base64 (audio file names), plain
// Base64 (uploaded packages) and the decryption of OEM packages. The
// %-escapes are in platform/textutil.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// URL-safe Base64 ('-' and '_' for '+' and '/', no padding) of len bytes
// into out (terminated): its length, or -1 when out (out_size bytes with
// the terminator) is too small.
int base64EncodeUrl(const void* data, size_t len, char* out, size_t out_size);
// Decodes a URL-safe Base64 text (padding optional) into out: the number
// of bytes, or -1 for a character outside the alphabet, a length that no
// encoding has, or an out too small (out_size bytes).
int base64DecodeUrl(std::string_view text, uint8_t* out, size_t out_size);

// Plain Base64 as packages and tools write it: line breaks and other white
// space are skipped, '=' padding is taken. The bytes, or -1 for anything
// else in the text or a result above max bytes.
int zr_base64_decode(std::string_view text, std::vector<uint8_t>* out, size_t max);

// OEM package decryption: AES-256 in CBC mode with PKCS#7 padding. The key
// is the key text's bytes (at most 32) padded with zero bytes to 32; the IV
// is 16 zero bytes. What `openssl enc -aes-256-cbc -K <hex key> -iv 0`
// writes decrypts here. The plain length, or -1 when the data is not a
// whole number of blocks, the key text is empty or the padding is wrong.
int aesDecryWeb(const uint8_t* data, size_t len, std::string_view key_text, std::vector<uint8_t>* plain);
// The encryption that matches it, for tests and tools.
void aesEncryWeb(const uint8_t* data, size_t len, std::string_view key_text, std::vector<uint8_t>* cipher);
