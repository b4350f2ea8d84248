#include "core/text_codecs.h"

#include <cstring>

namespace {

constexpr char kUrlAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// Value of a Base64 character, -1 outside the alphabet. url selects '-' '_'
// in place of '+' '/'.
int b64_value(unsigned char c, bool url) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == (url ? '-' : '+')) return 62;
  if (c == (url ? '_' : '/')) return 63;
  return -1;
}

// ---- AES-256 ---------------------------------------------------------------------
// The S-box is computed once from the field inverse and the affine map.
struct AesTables {
  uint8_t sbox[256];
  uint8_t inv[256];
  AesTables() {
    uint8_t p = 1, q = 1;
    do {
      p = static_cast<uint8_t>(p ^ (p << 1) ^ (p & 0x80 ? 0x1b : 0));  // p * 3
      q ^= static_cast<uint8_t>(q << 1);                               // q / 3
      q ^= static_cast<uint8_t>(q << 2);
      q ^= static_cast<uint8_t>(q << 4);
      if (q & 0x80) q ^= 0x09;
      const uint8_t x = static_cast<uint8_t>(q ^ rotl(q, 1) ^ rotl(q, 2) ^ rotl(q, 3) ^ rotl(q, 4));
      sbox[p] = static_cast<uint8_t>(x ^ 0x63);
    } while (p != 1);
    sbox[0] = 0x63;
    for (int i = 0; i < 256; ++i) inv[sbox[i]] = static_cast<uint8_t>(i);
  }
  static uint8_t rotl(uint8_t v, int n) { return static_cast<uint8_t>((v << n) | (v >> (8 - n))); }
};
const AesTables& aes() {
  static const AesTables t;
  return t;
}

uint8_t xtime(uint8_t v) { return static_cast<uint8_t>((v << 1) ^ (v & 0x80 ? 0x1b : 0)); }
uint8_t gmul(uint8_t a, uint8_t b) {
  uint8_t r = 0;
  while (b) {
    if (b & 1) r ^= a;
    a = xtime(a);
    b >>= 1;
  }
  return r;
}

constexpr int kRounds = 14;
using RoundKeys = uint8_t[(kRounds + 1) * 16];

void expand_key(const uint8_t key[32], RoundKeys rk) {
  const AesTables& t = aes();
  std::memcpy(rk, key, 32);
  uint8_t rcon = 1;
  for (int i = 8; i < 4 * (kRounds + 1); ++i) {
    uint8_t w[4];
    std::memcpy(w, rk + 4 * (i - 1), 4);
    if (i % 8 == 0) {
      const uint8_t first = w[0];
      w[0] = static_cast<uint8_t>(t.sbox[w[1]] ^ rcon);
      w[1] = t.sbox[w[2]];
      w[2] = t.sbox[w[3]];
      w[3] = t.sbox[first];
      rcon = xtime(rcon);
    } else if (i % 8 == 4) {
      for (uint8_t& b : w) b = t.sbox[b];
    }
    for (int j = 0; j < 4; ++j) rk[4 * i + j] = static_cast<uint8_t>(rk[4 * (i - 8) + j] ^ w[j]);
  }
}

void add_round_key(uint8_t s[16], const uint8_t* k) {
  for (int i = 0; i < 16; ++i) s[i] ^= k[i];
}

void encrypt_block(uint8_t s[16], const RoundKeys rk) {
  const AesTables& t = aes();
  add_round_key(s, rk);
  for (int round = 1; round <= kRounds; ++round) {
    uint8_t n[16];
    for (int i = 0; i < 16; ++i) n[i] = t.sbox[s[(i + 4 * (i % 4)) % 16]];  // sub bytes, shift rows
    if (round != kRounds) {
      for (int c = 0; c < 4; ++c) {
        uint8_t* col = n + 4 * c;
        const uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
        col[0] = static_cast<uint8_t>(xtime(a0) ^ xtime(a1) ^ a1 ^ a2 ^ a3);
        col[1] = static_cast<uint8_t>(a0 ^ xtime(a1) ^ xtime(a2) ^ a2 ^ a3);
        col[2] = static_cast<uint8_t>(a0 ^ a1 ^ xtime(a2) ^ xtime(a3) ^ a3);
        col[3] = static_cast<uint8_t>(xtime(a0) ^ a0 ^ a1 ^ a2 ^ xtime(a3));
      }
    }
    std::memcpy(s, n, 16);
    add_round_key(s, rk + 16 * round);
  }
}

void decrypt_block(uint8_t s[16], const RoundKeys rk) {
  const AesTables& t = aes();
  add_round_key(s, rk + 16 * kRounds);
  for (int round = kRounds - 1; round >= 0; --round) {
    uint8_t n[16];
    for (int i = 0; i < 16; ++i) n[(i + 4 * (i % 4)) % 16] = t.inv[s[i]];  // inverse shift rows, sub bytes
    add_round_key(n, rk + 16 * round);
    if (round != 0) {
      for (int c = 0; c < 4; ++c) {
        uint8_t* col = n + 4 * c;
        const uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
        col[0] = static_cast<uint8_t>(gmul(a0, 14) ^ gmul(a1, 11) ^ gmul(a2, 13) ^ gmul(a3, 9));
        col[1] = static_cast<uint8_t>(gmul(a0, 9) ^ gmul(a1, 14) ^ gmul(a2, 11) ^ gmul(a3, 13));
        col[2] = static_cast<uint8_t>(gmul(a0, 13) ^ gmul(a1, 9) ^ gmul(a2, 14) ^ gmul(a3, 11));
        col[3] = static_cast<uint8_t>(gmul(a0, 11) ^ gmul(a1, 13) ^ gmul(a2, 9) ^ gmul(a3, 14));
      }
    }
    std::memcpy(s, n, 16);
  }
}

void web_key(std::string_view key_text, RoundKeys rk) {
  uint8_t key[32] = {};
  std::memcpy(key, key_text.data(), key_text.size() < 32 ? key_text.size() : 32);
  expand_key(key, rk);
}

}  // namespace

int base64EncodeUrl(const void* data, size_t len, char* out, size_t out_size) {
  const uint8_t* in = static_cast<const uint8_t*>(data);
  const size_t need = len / 3 * 4 + (len % 3 ? len % 3 + 1 : 0);
  if (!out || out_size <= need) return -1;
  size_t o = 0;
  for (size_t i = 0; i < len; i += 3) {
    const uint32_t v = static_cast<uint32_t>(in[i]) << 16 | (i + 1 < len ? in[i + 1] << 8 : 0) |
                       (i + 2 < len ? in[i + 2] : 0);
    out[o++] = kUrlAlphabet[v >> 18 & 63];
    out[o++] = kUrlAlphabet[v >> 12 & 63];
    if (i + 1 < len) out[o++] = kUrlAlphabet[v >> 6 & 63];
    if (i + 2 < len) out[o++] = kUrlAlphabet[v & 63];
  }
  out[o] = '\0';
  return static_cast<int>(o);
}

int base64DecodeUrl(std::string_view text, uint8_t* out, size_t out_size) {
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  if (text.size() % 4 == 1) return -1;
  size_t o = 0;
  uint32_t acc = 0;
  int bits = 0;
  for (char ch : text) {
    const int v = b64_value(static_cast<unsigned char>(ch), true);
    if (v < 0) return -1;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      if (o >= out_size) return -1;
      out[o++] = static_cast<uint8_t>(acc >> bits);
    }
  }
  return static_cast<int>(o);
}

int zr_base64_decode(std::string_view text, std::vector<uint8_t>* out, size_t max) {
  out->clear();
  uint32_t acc = 0;
  int bits = 0;
  bool padded = false;
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') {
      padded = true;
      continue;
    }
    const int v = b64_value(c, false);
    if (v < 0 || padded) return -1;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      if (out->size() >= max) return -1;
      out->push_back(static_cast<uint8_t>(acc >> bits));
    }
  }
  return static_cast<int>(out->size());
}

int aesDecryWeb(const uint8_t* data, size_t len, std::string_view key_text, std::vector<uint8_t>* plain) {
  plain->clear();
  if (key_text.empty() || len == 0 || len % 16 != 0) return -1;
  RoundKeys rk;
  web_key(key_text, rk);
  plain->resize(len);
  uint8_t prev[16] = {};
  for (size_t off = 0; off < len; off += 16) {
    uint8_t block[16];
    std::memcpy(block, data + off, 16);
    decrypt_block(block, rk);
    for (int i = 0; i < 16; ++i) (*plain)[off + i] = static_cast<uint8_t>(block[i] ^ prev[i]);
    std::memcpy(prev, data + off, 16);
  }
  const uint8_t pad = plain->back();
  if (pad == 0 || pad > 16) return -1;
  for (size_t i = len - pad; i < len; ++i)
    if ((*plain)[i] != pad) return -1;
  plain->resize(len - pad);
  return static_cast<int>(plain->size());
}

void aesEncryWeb(const uint8_t* data, size_t len, std::string_view key_text, std::vector<uint8_t>* cipher) {
  RoundKeys rk;
  web_key(key_text, rk);
  const size_t pad = 16 - len % 16;
  cipher->assign(data, data + len);
  cipher->insert(cipher->end(), pad, static_cast<uint8_t>(pad));
  uint8_t prev[16] = {};
  for (size_t off = 0; off < cipher->size(); off += 16) {
    uint8_t* block = cipher->data() + off;
    for (int i = 0; i < 16; ++i) block[i] ^= prev[i];
    encrypt_block(block, rk);
    std::memcpy(prev, block, 16);
  }
}
