// Record layouts and byte handling on the two builds: the recorder's 32-bit
// ARM (char unsigned, long and pointers 4 bytes, int64 8-byte aligned) and
// the x86-64 development build (char signed, long and pointers 8 bytes).
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "cgi/cgic.h"
#include "cgi/dispatchreq.h"
#include "core/cgi_util.h"
#include "core/strutil.h"
#include "temp_dir.h"
#include "e2e_harness.h"
#include "platform/zrsocket.h"

namespace {

enum class Target { Arm32, X86_64, Other };

#if defined(__arm__) && !defined(__aarch64__)
constexpr Target kTarget = Target::Arm32;
#elif defined(__x86_64__)
constexpr Target kTarget = Target::X86_64;
#else
constexpr Target kTarget = Target::Other;
#endif

// What a record that holds a pointer or long measures on each build.
struct SizedRecord {
  const char* name;
  size_t size, align;
  size_t arm32_size, arm32_align;
  size_t x86_64_size, x86_64_align;
};

const SizedRecord kPointerRecords[] = {
    // Registry row: 8-byte name, then the handler pointer.
    {"WebRes", sizeof(WebRes), alignof(WebRes), 12, 4, 16, 8},
};

TEST(Layout, DataModelOfTheBuild) {
  switch (kTarget) {
    case Target::Arm32:
      EXPECT_EQ(4u, sizeof(void*));
      EXPECT_EQ(4u, sizeof(long));
      EXPECT_EQ(8u, alignof(int64_t));  // EABI: 64-bit fields are 8-aligned
      EXPECT_EQ(8u, alignof(double));
      EXPECT_FALSE(std::is_signed<char>::value);
      EXPECT_EQ(0, CHAR_MIN);
      break;
    case Target::X86_64:
      EXPECT_EQ(8u, sizeof(void*));
      EXPECT_EQ(8u, sizeof(long));
      EXPECT_EQ(8u, alignof(int64_t));
      EXPECT_TRUE(std::is_signed<char>::value);
      break;
    case Target::Other:
      GTEST_SKIP() << "layouts are stated for 32-bit ARM and x86-64 only";
  }
  // Large-file interfaces on both (see the top-level CMakeLists).
  EXPECT_EQ(8u, sizeof(off_t));
  EXPECT_EQ(8u, sizeof(ino_t));
}

// Files over 2 GiB and directories on file systems with 64-bit cookies:
// a 32-bit build without 64-bit offsets gets EOVERFLOW from stat and
// readdir here.
TEST(LargeFiles, StatSeekAndListBeyondThirtyTwoBits) {
  const std::string dir = make_temp_dir("nvr-lfs");
  ASSERT_FALSE(dir.empty());

  const std::string big = dir + "/big.bin";
  const off_t size = (off_t{3} << 30) + 5;  // sparse: no blocks written
  int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(0, ftruncate(fd, size));
  close(fd);
  struct stat st {};
  EXPECT_EQ(0, stat(big.c_str(), &st));
  EXPECT_EQ(size, st.st_size);
  FILE* f = std::fopen(big.c_str(), "rb");
  ASSERT_NE(nullptr, f);
  EXPECT_EQ(0, fseeko(f, 0, SEEK_END));
  EXPECT_EQ(size, ftello(f));
  std::fclose(f);

  for (int i = 0; i < 40; ++i) std::fclose(std::fopen((dir + "/f" + std::to_string(i)).c_str(), "w"));
  int listed = 0;
  if (DIR* d = opendir(dir.c_str())) {
    errno = 0;
    while (dirent* de = readdir(d))
      if (de->d_name[0] != '.') ++listed;
    EXPECT_EQ(0, errno);
    closedir(d);
  }
  EXPECT_EQ(41, listed);
  std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(Layout, RecordsHoldingPointers) {
  if (kTarget == Target::Other) GTEST_SKIP();
  for (const SizedRecord& r : kPointerRecords) {
    SCOPED_TRACE(r.name);
    if (kTarget == Target::Arm32) {
      EXPECT_EQ(r.arm32_size, r.size);
      EXPECT_EQ(r.arm32_align, r.align);
    } else {
      EXPECT_EQ(r.x86_64_size, r.size);
      EXPECT_EQ(r.x86_64_align, r.align);
    }
  }
  // A table of registry rows is packed without gaps on both.
  WebRes rows[2] = {};
  EXPECT_EQ(sizeof(WebRes), static_cast<size_t>(reinterpret_cast<char*>(&rows[1]) -
                                                reinterpret_cast<char*>(&rows[0])));
}

// Records that cross the socket or are stored must be the same bytes on
// both builds: same size, offsets, padding and byte order.
TEST(Layout, WireImagesAreTheSameOnBothBuilds) {
  ZrMsgHeader h{};
  std::memcpy(h.magic, "ZRSK", 4);
  h.version = 1;
  h.seq = 7;
  h.type = REQ_OPERATION_LOG;
  h.flags = 1;
  h.length = sizeof(OperationLogInfo);
  EXPECT_EQ("5a52534b" "01000000" "07000000" "9d0d0000" "01000000" "a0020000", record_hex(h));

  OperationLogInfo info;
  std::memset(&info, 0, sizeof info);
  info.main_type = 4;
  info.sub_type = INT64_C(0x11223344556677cc);
  info.param = 914;
  info.one = 1;
  info.channel = -1;
  copy_field(info.client_addr, "10.0.0.2");
  copy_field(info.user_name, "admin");
  info.detail[0] = 0xff;
  info.detail[525] = 0x80;
  const std::string hex = record_hex(info);
  ASSERT_EQ(2 * 672u, hex.size());
  EXPECT_EQ("04000000" "00000000" "cc77665544332211" "0000000000000000" "92030000" "01000000"
            "ffffffff",
            hex.substr(0, 2 * 36));
  EXPECT_EQ("31302e302e302e3200", hex.substr(2 * 36, 18));       // client address at 36
  EXPECT_EQ("61646d696e00", hex.substr(2 * 82, 12));             // user name at 82
  EXPECT_EQ("ff", hex.substr(2 * 146, 2));                       // detail at 146
  EXPECT_EQ("80", hex.substr(hex.size() - 2));                   // last byte at 671
}

// ---- Bytes 0x80..0xff, where a signed char goes negative -------------------

std::string g_seen;
void record_text(char* text) { g_seen = text; }

// Feeds a POST body through the real entry path to a registered handler,
// with or without CONTENT_LENGTH (without it the body ends at end of input).
std::string post_through_entry(const std::string& body, bool with_length) {
  WebResResetForTest();
  const WebRes row = {"/9999", record_text};
  EXPECT_EQ(0, WebResRegister(&row, 1));
  cgiSetEnvText(&cgiPathInfo, "/9999");
  if (with_length)
    setenv("CONTENT_LENGTH", std::to_string(body.size()).c_str(), 1);
  else
    unsetenv("CONTENT_LENGTH");
  cgiContentLength = with_length ? static_cast<int>(body.size()) : 0;
  FILE* saved = cgiIn;
  cgiIn = std::tmpfile();
  std::fwrite(body.data(), 1, body.size(), cgiIn);
  std::rewind(cgiIn);
  g_seen = "<not called>";
  cgiDealPost();
  std::fclose(cgiIn);
  cgiIn = saved;
  unsetenv("CONTENT_LENGTH");
  WebResResetForTest();
  return g_seen;
}

TEST(CharBytes, PostBodyHighBytesReachTheHandlerWhole) {
  // Read into a char, byte 0xff equals EOF where char is signed, and on ARM
  // (unsigned) EOF itself never does, so the end of input goes unseen.
  const char* const bodies[] = {
      "{\"name\":\"\xff\xfe\"}",
      "\xff",
      "caf\xc3\xa9 \x80\x81\n\xff tail",
      "\xff\n\xff\n\xff",
  };
  for (const char* body : bodies) {
    SCOPED_TRACE(to_hex(body, std::strlen(body)));
    EXPECT_EQ(body, post_through_entry(body, true));
    EXPECT_EQ(body, post_through_entry(body, false));
  }
}

TEST(CharBytes, TextHelpersTreatHighBytesAsPlainBytes) {
  // Case folding touches ASCII letters only; high bytes compare exactly.
  struct {
    const char* a;
    const char* b;
    bool equal;
  } const folds[] = {
      {"Admin", "aDMIN", true},
      {"\xc9t\xc9", "\xc9T\xc9", true},
      {"\xc9", "\xe9", false},   // Latin-1 E-acute vs e-acute: not folded
      {"\xff", "\x7f", false},   // same low seven bits
      {"a\x80", "A\x80", true},
  };
  for (const auto& f : folds) {
    SCOPED_TRACE(to_hex(f.a, std::strlen(f.a)));
    EXPECT_EQ(f.equal, equals_no_case(f.a, f.b));
    EXPECT_EQ(f.equal, cgiEqualsNoCase(f.a, f.b));
  }

  // Digits are ASCII digits only.
  struct {
    const char* text;
    bool ok;
    int value;
  } const numbers[] = {
      {"42", true, 42},
      {"-7", true, -7},
      {"4\xb2", false, 0},   // superscript two
      {"\xb9", false, 0},    // superscript one
      {"\xff" "1", false, 0},
  };
  for (const auto& n : numbers) {
    SCOPED_TRACE(to_hex(n.text, std::strlen(n.text)));
    int v = 0;
    EXPECT_EQ(n.ok, parse_int_strict(n.text, &v));
    if (n.ok) {
      EXPECT_EQ(n.value, v);
    }
  }

  // Quoting keeps every byte; a bounded copy keeps every byte of the
  // characters that fit, never the first bytes of one that does not, and
  // cuts bytes that are not UTF-8 where the field ends.
  EXPECT_EQ("'\xff'\\''\x80'", shell_quote("\xff'\x80"));
  char field[4];
  copy_field(field, "\xff\x80\xc3\xa9");
  EXPECT_EQ(std::string("\xff\x80"), std::string(field_view(field)));
  EXPECT_EQ(0, field[2]);
  copy_field(field, "\xff\x80\x80\x80\x80");
  EXPECT_EQ(std::string("\xff\x80\x80"), std::string(field_view(field)));
  copy_field(field, "a\xe2\x82\xac");
  EXPECT_EQ(std::string("a"), std::string(field_view(field)));
  copy_field(field, "\xe2\x82\xac");
  EXPECT_EQ(std::string("\xe2\x82\xac"), std::string(field_view(field)));
  EXPECT_EQ("00017f80ff", to_hex("\x00\x01\x7f\x80\xff", 5));
}

}  // namespace
