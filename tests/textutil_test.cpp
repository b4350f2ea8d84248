// The URL codec of the credential texts and the reader of request texts
// that are a bare number.
#include <gtest/gtest.h>

#include <string>

#include "core/strutil.h"
#include "platform/textutil.h"

namespace {

std::string encode(const std::string& s, size_t size = 128) {
  char buf[256] = {};
  get_url_encode(s.c_str(), buf, size);
  return buf;
}
std::string decode(const std::string& s, size_t size = 128) {
  char buf[256] = {};
  get_url_decode(s.c_str(), buf, size);
  return buf;
}

TEST(UrlCodec, EncodesEverythingButUnreservedCharacters) {
  EXPECT_EQ(encode("Admin_1.-~"), "Admin_1.-~");
  EXPECT_EQ(encode("p&w=1 x/y%+"), "p%26w%3D1%20x%2Fy%25%2B");
  EXPECT_EQ(encode("\xc3\xa9"), "%C3%A9");
  EXPECT_EQ(encode(""), "");
}

TEST(UrlCodec, EncodingNeverCutsAUnit) {
  // 127 characters of room: 42 units of three fit, the 43rd does not.
  const std::string spaces(50, ' ');
  std::string out = encode(spaces);
  EXPECT_EQ(out.size(), 126u);
  EXPECT_EQ(out.substr(0, 6), "%20%20");
  EXPECT_EQ(encode("ab&", 4), "ab");
  EXPECT_EQ(encode("abc", 1), "");
  char untouched[4] = "xyz";
  EXPECT_EQ(get_url_encode("a", untouched, 0), 0u);
  EXPECT_STREQ(untouched, "xyz");
  EXPECT_EQ(get_url_encode(nullptr, untouched, 4), 0u);
}

TEST(UrlCodec, DecodesWhatTheEncoderWrites) {
  for (const std::string s : {"p&w=1 x/y%+", "admin", "\xc3\xa9t\xc3\xa9", "100%"})
    EXPECT_EQ(decode(encode(s)), s) << s;
  EXPECT_EQ(decode("a%2fb%2Fc"), "a/b/c");
  EXPECT_EQ(decode("a+b"), "a+b");
}

TEST(UrlCodec, DecodingKeepsBrokenUnitsAndNeverMakesANul) {
  EXPECT_EQ(decode("100%"), "100%");
  EXPECT_EQ(decode("%4"), "%4");
  EXPECT_EQ(decode("%zz%41"), "%zzA");
  EXPECT_EQ(decode("a%00b"), "a%00b");
  // Bounded by the destination: 32 characters of a 33-byte field.
  EXPECT_EQ(decode(std::string(40, 'x'), 33), std::string(32, 'x'));
  EXPECT_EQ(decode("%41%42%43", 3), "AB");
}

TEST(StrictNumbers, RequestTextsAreBareDecimalNumbers) {
  int v = -1;
  EXPECT_TRUE(parse_text_int("12", &v));
  EXPECT_EQ(v, 12);
  EXPECT_TRUE(parse_text_int(" 0\r\n", &v));
  EXPECT_EQ(v, 0);
  for (const char* bad : {"", " ", "abc", "1x", "1.0", "0x10", "99999999999", "1 2"})
    EXPECT_FALSE(parse_text_int(bad, &v)) << bad;
  EXPECT_FALSE(parse_text_int(nullptr, &v));
}

}  // namespace
