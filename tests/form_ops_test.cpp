// Form, cookie, header and escape operations, and the capture file.
#include <ctime>

#include "core/clock.h"
#include "form_test_util.h"

using formtest::closing;
using formtest::field_part;
using formtest::file_part;
using formtest::FormFixture;
using formtest::snapshot;

namespace {
class FormOps : public FormFixture {
 protected:
  void add(const std::string& name, const std::string& value) {
    auto* e = new FormEntry;
    e->name = name;
    e->value = value;
    e->value_length = static_cast<int>(value.size());
    cgiAppendFormEntry(e);
  }
};

// Output of fn written to cgiOut.
template <typename Fn>
std::string captured(Fn fn) {
  char* buf = nullptr;
  size_t len = 0;
  FILE* saved = cgiOut;
  cgiOut = open_memstream(&buf, &len);
  fn();
  std::fclose(cgiOut);
  cgiOut = saved;
  std::string out(buf, len);
  std::free(buf);
  return out;
}
}  // namespace

TEST_F(FormOps, StringsAndLineBreaks) {
  struct Row {
    const char* value;
    int max;
    const char* with_newlines;
    int r1;
    const char* without;
    int r2;
  };
  const Row rows[] = {
      {"a\r\nb", 64, "a\nb", cgiFormSuccess, "ab", cgiFormSuccess},
      {"a\n\nb", 64, "a\n\nb", cgiFormSuccess, "ab", cgiFormSuccess},
      {"a\r\r\nb", 64, "a\n\nb", cgiFormSuccess, "ab", cgiFormSuccess},
      {"a\rb\n", 64, "a\nb\n", cgiFormSuccess, "ab", cgiFormSuccess},
      {"abcdef", 4, "abc", cgiFormTruncated, "abc", cgiFormTruncated},
      {"ab\n\n\ncd", 4, "ab\n", cgiFormTruncated, "abc", cgiFormTruncated},
      {"ab\xc3\xa9", 4, "ab", cgiFormTruncated, "ab", cgiFormTruncated},  // never half a character
      {"", 64, "", cgiFormEmpty, "", cgiFormEmpty},
      {"\r\n", 64, "\n", cgiFormSuccess, "", cgiFormEmpty},
  };
  for (const Row& row : rows) {
    cgiFreeFormEntries();
    add("f", row.value);
    add("f", "second");
    char out[64];
    EXPECT_EQ(cgiFormString("f", out, row.max), row.r1) << row.value;
    EXPECT_STREQ(out, row.with_newlines);
    EXPECT_EQ(cgiFormStringNoNewlines("f", out, row.max), row.r2) << row.value;
    EXPECT_STREQ(out, row.without);
  }
  char out[8] = "junk";
  EXPECT_EQ(cgiFormString("missing", out, sizeof out), cgiFormNotFound);
  EXPECT_STREQ(out, "");
  int need = 0;
  EXPECT_EQ(cgiFormStringSpaceNeeded("f", &need), cgiFormSuccess);
  EXPECT_EQ(need, 3);  // "\r\n" + 1
  EXPECT_EQ(cgiFormStringSpaceNeeded("missing", &need), cgiFormNotFound);
  EXPECT_EQ(need, 1);
}

TEST_F(FormOps, NumbersAndBounds) {
  struct Row {
    const char* value;
    int want;
    int result;
  };
  const Row ints[] = {
      {" 42", 42, cgiFormSuccess},   {"-7x", -7, cgiFormSuccess},
      {"+3", 3, cgiFormSuccess},     {"x1", 99, cgiFormBadType},
      {"", 99, cgiFormEmpty},        {"  ", 99, cgiFormEmpty},
      {"99999999999", 2147483647, cgiFormSuccess}, {"-99999999999", -2147483647 - 1, cgiFormSuccess},
  };
  for (const Row& row : ints) {
    cgiFreeFormEntries();
    add("n", row.value);
    int v = 0;
    EXPECT_EQ(cgiFormInteger("n", &v, 99), row.result) << row.value;
    EXPECT_EQ(v, row.want) << row.value;
  }
  cgiFreeFormEntries();
  add("n", "15");
  add("m", "-3");
  add("d", " .5");
  add("e", "7.25");
  int v = 0;
  EXPECT_EQ(cgiFormIntegerBounded("n", &v, 0, 10, 1), cgiFormConstrained);
  EXPECT_EQ(v, 10);
  EXPECT_EQ(cgiFormIntegerBounded("m", &v, 0, 10, 1), cgiFormConstrained);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(cgiFormIntegerBounded("n", &v, 0, 20, 1), cgiFormSuccess);
  EXPECT_EQ(v, 15);
  EXPECT_EQ(cgiFormIntegerBounded("none", &v, 0, 10, 1), cgiFormNotFound);
  EXPECT_EQ(v, 1);
  double d = 0;
  EXPECT_EQ(cgiFormDouble("d", &d, 9), cgiFormSuccess);
  EXPECT_DOUBLE_EQ(d, 0.5);
  EXPECT_EQ(cgiFormDoubleBounded("e", &d, 0, 5, 1), cgiFormConstrained);
  EXPECT_DOUBLE_EQ(d, 5);
  EXPECT_EQ(cgiFormDouble("none", &d, 9), cgiFormNotFound);
  EXPECT_DOUBLE_EQ(d, 9);
}

TEST_F(FormOps, ChoicesAndMultipleValues) {
  add("color", "green");
  add("pick", "b");
  add("pick", "zz");
  add("pick", "d");
  add("color", "red");
  const char* choices[] = {"red", "green", "blue"};
  int idx = -1;
  EXPECT_EQ(cgiFormSelectSingle("color", choices, 3, &idx, 7), cgiFormSuccess);
  EXPECT_EQ(idx, 1);
  EXPECT_EQ(cgiFormRadio("pick", choices, 3, &idx, 7), cgiFormNoSuchChoice);
  EXPECT_EQ(idx, 7);
  EXPECT_EQ(cgiFormRadio("none", choices, 3, &idx, 7), cgiFormNotFound);

  const char* letters[] = {"a", "b", "c", "d"};
  int flags[4] = {9, 9, 9, 9};
  int invalid = -1;
  EXPECT_EQ(cgiFormSelectMultiple("pick", letters, 4, flags, &invalid), cgiFormSuccess);
  EXPECT_EQ(std::vector<int>(flags, flags + 4), (std::vector<int>{0, 1, 0, 1}));
  EXPECT_EQ(invalid, 1);
  EXPECT_EQ(cgiFormCheckboxMultiple("color", letters, 4, flags, &invalid), cgiFormNotFound);
  EXPECT_EQ(invalid, 2);
  EXPECT_EQ(cgiFormCheckboxSingle("color"), cgiFormSuccess);
  EXPECT_EQ(cgiFormCheckboxSingle("none"), cgiFormNotFound);

  char** values = nullptr;
  EXPECT_EQ(cgiFormStringMultiple("pick", &values), cgiFormSuccess);
  std::vector<std::string> got;
  for (char** p = values; *p; ++p) got.push_back(*p);
  EXPECT_EQ(got, (std::vector<std::string>{"b", "zz", "d"}));
  cgiStringArrayFree(values);
  EXPECT_EQ(cgiFormStringMultiple("none", &values), cgiFormNotFound);
  EXPECT_EQ(values[0], nullptr);
  cgiStringArrayFree(values);

  char** names = nullptr;
  EXPECT_EQ(cgiFormEntries(&names), cgiFormSuccess);
  got.clear();
  for (char** p = names; *p; ++p) got.push_back(*p);
  EXPECT_EQ(got, (std::vector<std::string>{"color", "pick"}));
  cgiStringArrayFree(names);
}

TEST_F(FormOps, FileOperations) {
  std::string bytes(3000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  std::string body = field_part("b", "plain", "v") + file_part("b", "up", "C:\\d\\n.bin", bytes) +
                     "--b\r\nContent-Disposition: form-data; name=\"bare\"; filename=\"x\"\r\n\r\nq\r\n" +
                     closing("b");
  ASSERT_EQ(decode(body, "b"), cgiParseSuccess);

  char text[8];
  EXPECT_EQ(cgiFormFileName("up", text, sizeof text), cgiFormTruncated);
  EXPECT_STREQ(text, "C:\\d\\n.");
  EXPECT_EQ(cgiFormFileName("plain", text, sizeof text), cgiFormNoFileName);
  EXPECT_EQ(cgiFormFileName("none", text, sizeof text), cgiFormNotFound);
  char type[64];
  EXPECT_EQ(cgiFormFileContentType("up", type, sizeof type), cgiFormSuccess);
  EXPECT_STREQ(type, "application/octet-stream");
  EXPECT_EQ(cgiFormFileContentType("bare", type, sizeof type), cgiFormNoContentType);

  int size = -1;
  EXPECT_EQ(cgiFormFileSize("up", &size), cgiFormSuccess);
  EXPECT_EQ(size, 3000);
  EXPECT_EQ(cgiFormFileSize("plain", &size), cgiFormNotAFile);
  EXPECT_EQ(cgiFormFileSize("none", &size), cgiFormNotFound);

  cgiFilePtr f = nullptr;
  EXPECT_EQ(cgiFormFileOpen("plain", &f), cgiFormNotAFile);
  EXPECT_EQ(cgiFormFileOpen("none", &f), cgiFormNotFound);
  ASSERT_EQ(cgiFormFileOpen("up", &f), cgiFormSuccess);
  std::string read;
  char buf[1000];
  int got = 0, r;
  while ((r = cgiFormFileRead(f, buf, sizeof buf, &got)) == cgiFormSuccess) read.append(buf, got);
  EXPECT_EQ(r, cgiFormEOF);
  EXPECT_EQ(read, bytes);
  EXPECT_EQ(cgiFormFileClose(f), cgiFormSuccess);
  EXPECT_EQ(cgiFormFileRead(nullptr, buf, 1, &got), cgiFormOpenFailed);
  EXPECT_EQ(cgiFormFileClose(nullptr), cgiFormOpenFailed);

  // The file is gone (moved away): opening fails with an I/O result.
  ASSERT_EQ(unlink(cgiFormEntryTempFile("up")), 0);
  EXPECT_EQ(cgiFormFileOpen("up", &f), cgiFormIO);
  EXPECT_EQ(f, nullptr);
}

TEST_F(FormOps, CookieLookup) {
  struct Row {
    const char* cookie;
    const char* name;
    int max;
    const char* want;
    int result;
  };
  const Row rows[] = {
      {"a=1; b=2", "b", 64, "2", cgiFormSuccess},
      {"ab=1; b=2", "b", 64, "2", cgiFormSuccess},  // no prefix matches
      {"a=1;b=2;c", "b", 64, "2", cgiFormSuccess},
      {"  sessionId=xyz", "sessionId", 64, "xyz", cgiFormSuccess},
      {"a=1; b", "b", 64, "", cgiFormNotFound},
      {"a=", "a", 64, "", cgiFormSuccess},
      {"a=12345", "a", 4, "123", cgiFormTruncated},
      {"x=a=b; y", "x", 64, "a=b", cgiFormSuccess},
      {"", "a", 64, "", cgiFormNotFound},
      {"a=1 ;b=2", "a", 64, "1 ", cgiFormSuccess},
  };
  for (const Row& row : rows) {
    cgiCookie = row.cookie;
    char out[64] = "junk";
    EXPECT_EQ(cgiCookieString(row.name, out, row.max), row.result) << row.cookie;
    EXPECT_STREQ(out, row.want) << row.cookie;
  }
  cgiCookie = "n=42; big=99999999999; t=x";
  int v = 0;
  EXPECT_EQ(cgiCookieInteger("n", &v, 5), cgiFormSuccess);
  EXPECT_EQ(v, 42);
  EXPECT_EQ(cgiCookieInteger("big", &v, 5), cgiFormSuccess);
  EXPECT_EQ(v, 2147483647);
  EXPECT_EQ(cgiCookieInteger("t", &v, 5), cgiFormSuccess);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(cgiCookieInteger("none", &v, 5), cgiFormNotFound);
  EXPECT_EQ(v, 5);

  cgiCookie = "a=1; b=2;c;  d=";
  char** names = nullptr;
  ASSERT_EQ(cgiCookies(&names), cgiFormSuccess);
  std::vector<std::string> got;
  for (char** p = names; *p; ++p) got.push_back(*p);
  EXPECT_EQ(got, (std::vector<std::string>{"a", "b", "c", "d"}));
  cgiStringArrayFree(names);
  cgiCookie = "";
}

TEST(FormHeaders, WritersAndEscapes) {
  auto expiry = [](time_t when) {
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    struct tm t {};
    gmtime_r(&when, &t);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d-%s-%04d %02d:%02d:%02d GMT", days[t.tm_wday], t.tm_mday,
                  months[t.tm_mon], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    return std::string(buf);
  };
  // The clock may tick between the two readings: either expiry is right.
  time_t before = nvr_time();
  std::string out = captured([] { cgiHeaderCookieSetString("sessionId", "abc", 3600, "/", "nvr.lan"); });
  time_t after = nvr_time();
  std::string head = "Set-Cookie: sessionId=abc; domain=nvr.lan; expires=";
  EXPECT_TRUE(out == head + expiry(before + 3600) + "; path=/; SameSite=Strict\r\n" ||
              out == head + expiry(after + 3600) + "; path=/; SameSite=Strict\r\n")
      << out;
  out = captured([] { cgiHeaderCookieSetInteger("n", -5, 0, "/x", "d"); });
  EXPECT_EQ(out.compare(0, 29, "Set-Cookie: n=-5; domain=d; e"), 0) << out;

  // Line breaks in a value can never start a header of their own.
  out = captured([] { cgiHeaderCookieSetString("a", "v\r\nSet-Cookie: admin=1", 0, "/", "d"); });
  EXPECT_EQ(out.find("\r\nSet-Cookie: admin"), std::string::npos) << out;
  EXPECT_EQ(captured([] { cgiHeaderLocation("/x\r\nX-Evil: 1"); }), "Location: /xX-Evil: 1\r\n\r\n");
  EXPECT_EQ(captured([] { cgiHeaderStatus(404, "Not Found"); }), "Status: 404 Not Found\r\n\r\n");
  EXPECT_EQ(captured([] { cgiHeaderContentType("text/html"); }), "Content-type: text/html\r\n\r\n");

  EXPECT_EQ(captured([] { EXPECT_EQ(cgiHtmlEscape("<a href=\"x\">&amp;</a>"), 0); }),
            "&lt;a href=\"x\"&gt;&amp;amp;&lt;/a&gt;");
  EXPECT_EQ(captured([] { EXPECT_EQ(cgiValueEscape("say \"hi\" <b>"), 0); }), "say &#34;hi&#34; <b>");
  EXPECT_EQ(captured([] { cgiHtmlEscapeData("a\0<", 3); }), std::string("a\0&lt;", 6));

  FILE* saved = cgiOut;
  cgiOut = std::fopen("/dev/full", "w");
  ASSERT_NE(cgiOut, nullptr);
  setvbuf(cgiOut, nullptr, _IONBF, 0);
  EXPECT_EQ(cgiHtmlEscape("x"), cgiFormIO);
  EXPECT_EQ(cgiValueEscape("\""), cgiFormIO);
  std::fclose(cgiOut);
  cgiOut = saved;
}

// ---- Capture file -----------------------------------------------------------------

namespace {
class Capture : public FormFixture {
 protected:
  std::string capture_path() const { return root_ + "/capture.bin"; }
};

void put_int(std::string& s, int32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); }
void put_text(std::string& s, const std::string& t) {
  put_int(s, static_cast<int32_t>(t.size()));
  s += t;
}
}  // namespace

TEST_F(Capture, RoundTripRestoresEnvironmentEntriesAndFiles) {
  std::string bytes("\0\r\n--b\xff", 7);
  std::string body = field_part("B1", "a", std::string("x\0y", 3)) +
                     file_part("B1", "file", "n.bin", bytes) + closing("B1");
  ASSERT_EQ(decode(body, "B1"), cgiParseSuccess);
  const auto want = snapshot();
  const std::string old_file = cgiFormEntryTempFile("file");
  cgiPathInfo = "/9990";
  cgiQueryString = "q=1";
  cgiCookie = "sessionId=s";
  cgiServerAddr = "10.0.0.1";
  cgiContentType = cgiContentTypeData;
  std::strcpy(cgiContentTypeData, "multipart/form-data");
  cgiContentLength = static_cast<int>(body.size());
  ASSERT_EQ(cgiWriteEnvironment(capture_path().c_str()), cgiEnvironmentSuccess);

  cgiPathInfo = cgiQueryString = cgiCookie = cgiServerAddr = "";
  cgiContentLength = 0;
  ASSERT_EQ(cgiReadEnvironment(capture_path().c_str()), cgiEnvironmentSuccess);
  EXPECT_TRUE(cgiRestored);
  EXPECT_STREQ(cgiPathInfo, "/9990");
  EXPECT_STREQ(cgiQueryString, "q=1");
  EXPECT_STREQ(cgiCookie, "sessionId=s");
  EXPECT_STREQ(cgiServerAddr, "10.0.0.1");
  EXPECT_STREQ(cgiContentType, "multipart/form-data");
  EXPECT_NE(cgiContentType, cgiContentTypeData);
  EXPECT_EQ(cgiContentLength, static_cast<int>(body.size()));
  EXPECT_EQ(snapshot(), want);
  // The old entries and their file were dropped first; the file was made anew.
  EXPECT_EQ(access(old_file.c_str(), F_OK), -1);
  EXPECT_EQ(formtest::list_dir(root_ + "/tmp").size(), 1u);
  cgiReleaseRequest();
  EXPECT_FALSE(cgiRestored);
  cgiPathInfo = cgiQueryString = cgiCookie = cgiServerAddr = "";
}

TEST_F(Capture, RefusesOtherVersionsAndDamagedFiles) {
  cgiPathInfo = "/keep";
  std::string v1;
  put_text(v1, "CGIC1.0");
  for (int i = 0; i < 20; ++i) put_text(v1, "/x");
  std::ofstream(capture_path(), std::ios::binary) << v1;
  EXPECT_EQ(cgiReadEnvironment(capture_path().c_str()), cgiEnvironmentWrongVersion);
  EXPECT_STREQ(cgiPathInfo, "/keep");
  EXPECT_FALSE(cgiRestored);

  std::string good;
  put_text(good, "CGIC2.0");
  for (int i = 0; i < 20; ++i) put_text(good, i == 6 ? "/restored" : "");
  put_int(good, 5);
  put_text(good, "addr");
  std::string entry;
  put_text(entry, "file");
  put_text(entry, "");
  put_text(entry, "n");
  put_text(entry, "");
  put_int(entry, 4);
  put_int(entry, 1);
  entry += "DATA";

  struct Row {
    const char* what;
    std::string file;
    int result;
  };
  std::string negative = good;
  put_int(negative, -1);
  std::string huge = good;
  put_int(huge, 0x7fffffff);  // a name longer than the file
  std::string bad_flag = good + entry.substr(0, entry.size() - 8);
  put_int(bad_flag, 2);
  const Row rows[] = {
      {"empty file", "", cgiEnvironmentIO},
      {"cut inside the environment", good.substr(0, 40), cgiEnvironmentIO},
      {"negative text length", negative, cgiEnvironmentIO},
      {"text length beyond the file", huge, cgiEnvironmentIO},
      {"file bytes cut short", good + entry.substr(0, entry.size() - 2), cgiEnvironmentIO},
      {"entry cut after its name", good + entry.substr(0, 9), cgiEnvironmentIO},
      {"unknown file flag", bad_flag, cgiEnvironmentIO},
      {"no entries", good, cgiEnvironmentSuccess},
      {"one file entry", good + entry, cgiEnvironmentSuccess},
  };
  for (const Row& row : rows) {
    cgiPathInfo = "/keep";
    std::ofstream(capture_path(), std::ios::binary | std::ios::trunc) << row.file;
    EXPECT_EQ(cgiReadEnvironment(capture_path().c_str()), row.result) << row.what;
    const bool ok = row.result == cgiEnvironmentSuccess;
    EXPECT_STREQ(cgiPathInfo, ok ? "/restored" : "/keep") << row.what;
    EXPECT_EQ(cgiRestored, ok) << row.what;
    // A failed load keeps no entry and no file.
    EXPECT_EQ(formtest::list_dir(root_ + "/tmp").size(), cgiFormEntryList() ? 1u : 0u) << row.what;
    if (!ok) {
      EXPECT_EQ(cgiFormEntryList(), nullptr) << row.what;
    }
  }
  char name[8];
  EXPECT_EQ(cgiFormFileName("file", name, sizeof name), cgiFormSuccess);
  EXPECT_STREQ(name, "n");
  EXPECT_EQ(formtest::slurp(cgiFormEntryTempFile("file")), "DATA");
  EXPECT_EQ(cgiReadEnvironment((root_ + "/missing").c_str()), cgiEnvironmentIO);
  cgiReleaseRequest();
  cgiPathInfo = "";
}

TEST_F(Capture, FailedWriteLeavesNoCaptureFile) {
  auto* e = new FormEntry;
  e->name = "file";
  e->value_length = 10;
  e->temp_file = root_ + "/tmp/cgicGONE00";  // removed behind the layer's back
  cgiAppendFormEntry(e);
  EXPECT_EQ(cgiWriteEnvironment(capture_path().c_str()), cgiEnvironmentIO);
  EXPECT_EQ(access(capture_path().c_str(), F_OK), -1);
  EXPECT_EQ(cgiWriteEnvironment((root_ + "/no/such/dir/c.bin").c_str()), cgiEnvironmentIO);
}
