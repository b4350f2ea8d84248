// Text codecs: URL-safe and plain Base64, %-escapes and the OEM package
// cipher, the last checked against the real openssl tool.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "core/text_codecs.h"
#include "temp_dir.h"

namespace {

std::string enc_url(const std::string& s) {
  char out[256];
  return base64EncodeUrl(s.data(), s.size(), out, sizeof out) < 0 ? "<fail>" : out;
}
std::string dec_url(const std::string& s) {
  uint8_t out[256];
  const int n = base64DecodeUrl(s, out, sizeof out);
  return n < 0 ? "<fail>" : std::string(reinterpret_cast<char*>(out), static_cast<size_t>(n));
}
std::string run_capture(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

std::string hex_key(const std::string& key) {
  std::string h;
  char b[3];
  for (size_t i = 0; i < 32; ++i) {
    std::snprintf(b, sizeof b, "%02x", i < key.size() ? static_cast<unsigned char>(key[i]) : 0);
    h += b;
  }
  return h;
}

TEST(TextCodecs, UrlSafeBase64) {
  EXPECT_EQ(enc_url("door.wav"), "ZG9vci53YXY");
  EXPECT_EQ(enc_url("Front door"), "RnJvbnQgZG9vcg");
  EXPECT_EQ(enc_url(std::string("\xfb\xff", 2)), "-_8");
  EXPECT_EQ(dec_url("-_8"), std::string("\xfb\xff", 2));
  EXPECT_EQ(dec_url("RnJvbnQgZG9vcg=="), "Front door");
  // Every length round-trips.
  std::string s;
  for (int i = 0; i < 60; ++i) {
    EXPECT_EQ(dec_url(enc_url(s)), s) << i;
    s.push_back(static_cast<char>(i * 37));
  }
  // Refused: plain-alphabet characters, impossible lengths, too small output.
  EXPECT_EQ(dec_url("ab+/"), "<fail>");
  EXPECT_EQ(dec_url("abcde"), "<fail>");
  char small[4];
  EXPECT_EQ(base64EncodeUrl("abcd", 4, small, sizeof small), -1);
  uint8_t tiny[2];
  EXPECT_EQ(base64DecodeUrl("ZG9vci53YXY", tiny, sizeof tiny), -1);
}

TEST(TextCodecs, PlainBase64SkipsLineBreaksAndKeepsItsLimit) {
  std::vector<uint8_t> out;
  EXPECT_EQ(zr_base64_decode("SGVs\nbG8s\r\nIHdv cmxk\n", &out, 100), 12);
  EXPECT_EQ(std::string(out.begin(), out.end()), "Hello, world");
  EXPECT_EQ(zr_base64_decode("aGk=\n", &out, 100), 2);
  EXPECT_EQ(zr_base64_decode("aGk=aGk=", &out, 100), -1);  // data after padding
  EXPECT_EQ(zr_base64_decode("a-b_", &out, 100), -1);      // URL alphabet
  EXPECT_EQ(zr_base64_decode("aGVsbG8=", &out, 3), -1);    // over the limit
}

TEST(TextCodecs, AesKnownAnswerAndPadding) {
  // The standard AES-256 example: with a zero IV the first CBC block is the
  // plain block cipher.
  std::string key;
  for (int i = 0; i < 32; ++i) key.push_back(static_cast<char>(i));
  const uint8_t plain[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                             0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
  const uint8_t expect[16] = {0x8e, 0xa2, 0xb7, 0xca, 0x51, 0x67, 0x45, 0xbf,
                              0xea, 0xfc, 0x49, 0x90, 0x4b, 0x49, 0x60, 0x89};
  std::vector<uint8_t> cipher, back;
  aesEncryWeb(plain, sizeof plain, key, &cipher);
  ASSERT_EQ(cipher.size(), 32u);  // a whole padding block follows
  EXPECT_EQ(std::vector<uint8_t>(cipher.begin(), cipher.begin() + 16), std::vector<uint8_t>(expect, expect + 16));
  ASSERT_EQ(aesDecryWeb(cipher.data(), cipher.size(), key, &back), 16);
  EXPECT_EQ(back, std::vector<uint8_t>(plain, plain + 16));
  // Wrong key, broken length, empty key.
  EXPECT_EQ(aesDecryWeb(cipher.data(), cipher.size(), "other", &back), -1);
  EXPECT_EQ(aesDecryWeb(cipher.data(), 31, key, &back), -1);
  EXPECT_EQ(aesDecryWeb(cipher.data(), cipher.size(), "", &back), -1);
}

TEST(TextCodecs, AesMatchesTheOpensslTool) {
  const std::string dir = make_temp_dir("codecs");
  ASSERT_FALSE(dir.empty());
  const std::string in = dir + "/plain.bin", enc = dir + "/cipher.b64";
  std::string data;
  for (int i = 0; i < 1000; ++i) data.push_back(static_cast<char>(i * 7 + 3));
  std::ofstream(in, std::ios::binary) << data;
  const std::string key = "oem-key-2026";
  ASSERT_EQ(std::system(("openssl enc -aes-256-cbc -K " + hex_key(key) + " -iv 00000000000000000000000000000000 -a -in " +
                         in + " -out " + enc)
                            .c_str()),
            0);
  std::stringstream b64;
  b64 << std::ifstream(enc).rdbuf();
  std::vector<uint8_t> cipher, plain;
  ASSERT_GT(zr_base64_decode(b64.str(), &cipher, 1 << 20), 0);
  ASSERT_EQ(aesDecryWeb(cipher.data(), cipher.size(), key, &plain), 1000);
  EXPECT_EQ(std::string(plain.begin(), plain.end()), data);
  // And the other way round.
  aesEncryWeb(reinterpret_cast<const uint8_t*>(data.data()), data.size(), key, &cipher);
  std::ofstream(enc, std::ios::binary).write(reinterpret_cast<const char*>(cipher.data()),
                                             static_cast<std::streamsize>(cipher.size()));
  EXPECT_EQ(run_capture("openssl enc -d -aes-256-cbc -K " + hex_key(key) +
                        " -iv 00000000000000000000000000000000 -in " + enc),
            data);
  std::system(("rm -rf " + dir).c_str());
}

}  // namespace
