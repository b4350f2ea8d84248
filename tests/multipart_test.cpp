// The multipart decoder: exact on good bodies, safe on hostile ones.
#include <sys/stat.h>

#include "form_test_util.h"

using formtest::closing;
using formtest::EntrySnap;
using formtest::field_part;
using formtest::file_part;
using formtest::FormFixture;
using formtest::snapshot;

namespace {
const std::string B = "bound";

class Multipart : public FormFixture {};

EntrySnap field(const std::string& name, const std::string& value) {
  return {name, value, static_cast<int>(value.size()), "", "", false, ""};
}
EntrySnap file(const std::string& name, const std::string& file_name, const std::string& bytes,
               const std::string& type = "application/octet-stream") {
  return {name, "", static_cast<int>(bytes.size()), file_name, type, true, bytes};
}
}  // namespace

TEST_F(Multipart, FieldsAndFileInBodyOrder) {
  std::string binary;
  for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
  binary += "\r\n--boun\r\n\r\n";  // line breaks and a near-boundary inside the data
  std::string body = "preamble\r\n" + field_part(B, "a", "1") + file_part(B, "file", "x.bin", binary) +
                     field_part(B, "b", "two\r\nlines") + closing(B) + "epilogue";
  ASSERT_EQ(decode(body, B), cgiParseSuccess);
  std::vector<EntrySnap> want = {field("a", "1"), file("file", "x.bin", binary),
                                 field("b", "two\r\nlines")};
  EXPECT_EQ(snapshot(), want);

  // The temporary file is <root>/tmp/cgic + six characters, owner-only.
  const char* path = cgiFormEntryTempFile("file");
  ASSERT_NE(path, nullptr);
  std::string p(path);
  ASSERT_EQ(p.size(), root_.size() + std::string("/tmp/cgicXXXXXX").size());
  EXPECT_EQ(p.compare(0, root_.size() + 9, root_ + "/tmp/cgic"), 0);
  struct stat st {};
  ASSERT_EQ(stat(path, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_STREQ(cgiFormEntryTempFile("a"), "");
  EXPECT_EQ(cgiFormEntryTempFile("none"), nullptr);
}

// Bodies whose content stresses the boundary scan; each must keep every
// content byte and end the part only at the full CR LF "--" boundary.
TEST_F(Multipart, ContentNearTheBoundaryStaysContent) {
  const char* contents[] = {
      "\r\n--boun\x01tail",  // a partial boundary followed by other bytes
      "\r\n--bou\r\n--bounX",  // a match restarting inside a put-back run
      "\r\r\n--boun",          // CR before the real CR LF
      "--bound",               // the boundary without its CR LF is content
      "\r\n-\r\n--\r\n--b",
      "",
      "\r\n",
  };
  for (const char* c : contents) {
    cgiFreeFormEntries();
    std::string body = field_part(B, "f", c) + file_part(B, "g", "n", c) + closing(B);
    ASSERT_EQ(decode(body, B), cgiParseSuccess) << c;
    std::vector<EntrySnap> want = {field("f", c), file("g", "n", c)};
    EXPECT_EQ(snapshot(), want) << c;
  }
}

TEST_F(Multipart, EdgeCasesOfTheParts) {
  struct Row {
    const char* what;
    std::string body;
    std::string boundary;
    std::vector<EntrySnap> want;
  };
  const Row rows[] = {
      {"empty file name is a field",
       "--bound\r\nContent-Disposition: form-data; name=\"f\"; filename=\"\"\r\n\r\nv\r\n--bound--",
       B, {field("f", "v")}},
      {"unquoted file name keeps its path",
       "--bound\r\nContent-Disposition: form-data; name=file; filename=C:\\x\\y.bin\r\n\r\nd\r\n--bound--",
       B, {file("file", "C:\\x\\y.bin", "d", "")}},
      {"final boundary first", "--bound--\r\n" + field_part(B, "a", "1"), B, {}},
      {"boundary never appears", "no boundary here\r\n--other\r\n", B, {}},
      {"quoted boundary", field_part(B, "a", "1") + closing(B), "\"bound\"", {field("a", "1")}},
      {"header names and types without case, type parameters dropped",
       "--bound\r\ncontent-disposition: FORM-DATA; NAME=a; FileName=\"q.txt\"\r\n"
       "CONTENT-TYPE: text/plain; charset=UTF-8\r\nX-Other: 1\r\n\r\nz\r\n--bound--",
       B, {file("a", "q.txt", "z", "text/plain")}},
      {"LF-only and CR-only header lines",
       "--bound\r\nContent-Disposition: form-data; name=a\nContent-Type: t/u\r\rv\r\n--bound--",
       B, {{"a", "v", 1, "", "t/u", false, ""}}},
      {"white space around names and parameters",
       "--bound\r\n Content-Disposition :  form-data ;  name = \"a b\" \r\n\r\nv\r\n--bound--",
       B, {field("a b", "v")}},
      {"junk after the boundary is dropped",
       "--boundxy" "Content-Disposition: form-data; name=a\r\n\r\nv\r\n--bound--",
       B, {field("a", "v")}},
      {"a part that is not form-data is skipped, its content never read as headers",
       "--bound\r\nContent-Disposition: attachment; name=x\r\n\r\n"
       "Content-Disposition: form-data; name=\"smuggled\"\r\n\r\nbad\r\n"
       "--bound\r\n\r\nno disposition\r\n" + field_part(B, "a", "1") + closing(B),
       B, {field("a", "1")}},
      {"parameters stop at a missing '='",
       "--bound\r\nContent-Disposition: form-data; flag; name=a\r\n\r\nv\r\n--bound--",
       B, {field("", "v")}},
      {"body ends right after the last part's boundary line", field_part(B, "a", "1") + "--bound\r\n",
       B, {field("a", "1")}},
  };
  for (const Row& row : rows) {
    cgiFreeFormEntries();
    EXPECT_EQ(decode(row.body, row.boundary), cgiParseSuccess) << row.what;
    EXPECT_EQ(snapshot(), row.want) << row.what;
  }
}

TEST_F(Multipart, EmptyBodySucceedsWithoutReading) {
  EXPECT_EQ(decode("", B), cgiParseSuccess);
  EXPECT_EQ(decode(field_part(B, "a", "1") + closing(B), B, 0), cgiParseSuccess);
  EXPECT_EQ(consumed(), 0);
  EXPECT_TRUE(snapshot().empty());
}

TEST_F(Multipart, FileNamesAreRecordedLiterally) {
  const std::string names[] = {
      "a;b.cfg", "../../etc/passwd", "..", "C:\\dir\\a b.cfg", "$(touch x)`id`", "\xff\xfe\x80.bin",
      std::string(900, 'n'),
  };
  for (const std::string& n : names) {
    cgiFreeFormEntries();
    ASSERT_EQ(decode(file_part(B, "file", n, "data") + closing(B), B), cgiParseSuccess) << n;
    char out[2048];
    EXPECT_EQ(cgiFormFileName("file", out, sizeof out), cgiFormSuccess) << n;
    EXPECT_EQ(std::string(out), n);
  }
  // A quote ends a quoted name; what follows up to the next ';' is dropped.
  cgiFreeFormEntries();
  ASSERT_EQ(decode(file_part(B, "file", "a\\\"b.txt", "d") + closing(B), B), cgiParseSuccess);
  char out[64];
  EXPECT_EQ(cgiFormFileName("file", out, sizeof out), cgiFormSuccess);
  EXPECT_STREQ(out, "a\\");
}

TEST_F(Multipart, LongHeaderTextsAreCutAndTheLineStillEnds) {
  std::string long_name(3000, 'n');
  std::string body = "--bound\r\nContent-Disposition: form-data; name=\"" + long_name +
                     "\"; filename=\"" + std::string(5000, 'f') + "\"\r\n" + "X-" +
                     std::string(4000, 'h') + ": " + std::string(4000, 'v') + "\r\n\r\ndata\r\n" +
                     field_part(B, "after", "ok") + closing(B);
  ASSERT_EQ(decode(body, B), cgiParseSuccess);
  auto s = snapshot();
  ASSERT_EQ(s.size(), 2u);
  // The header value itself is cut at 1023 characters, before the name
  // parameter's text ends: the name is what fits.
  EXPECT_LE(s[0].name.size(), 1023u);
  EXPECT_EQ(s[0].name, std::string(s[0].name.size(), 'n'));
  EXPECT_FALSE(s[0].is_file);
  EXPECT_EQ(s[0].value, "data");
  EXPECT_EQ(s[1], field("after", "ok"));
}

TEST_F(Multipart, ThousandsOfTinyParts) {
  std::string body;
  for (int i = 0; i < 3000; ++i) body += field_part(B, "f" + std::to_string(i), "");
  for (int i = 0; i < CGI_UPLOAD_PARTS_MAX; ++i) body += file_part(B, "u", "n", std::string(1, static_cast<char>(i)));
  ASSERT_EQ(decode(body + closing(B), B), cgiParseSuccess);
  auto s = snapshot();
  ASSERT_EQ(s.size(), 3000u + CGI_UPLOAD_PARTS_MAX);
  EXPECT_EQ(s[2999], field("f2999", ""));
  EXPECT_EQ(s.back(), file("u", "n", std::string(1, static_cast<char>(CGI_UPLOAD_PARTS_MAX - 1))));
  EXPECT_EQ(formtest::list_dir(root_ + "/tmp").size(), static_cast<size_t>(CGI_UPLOAD_PARTS_MAX));
  cgiFreeFormEntries();
  // One file part more than a body may make: refused, nothing left behind.
  EXPECT_EQ(decode(body + file_part(B, "u", "n", "x") + closing(B), B), cgiParseIO);
  cgiFreeFormEntries();
  EXPECT_TRUE(formtest::list_dir(root_ + "/tmp").empty());
}

// Failures: the result, the entries that stay, and how far the decoder read.
TEST_F(Multipart, HostileBodiesFailCleanly) {
  const std::string good = field_part(B, "a", "1");
  struct Row {
    const char* what;
    std::string body;
    long content_length;  // -1: the body's size
    std::string boundary;
    int result;
    size_t entries;
  };
  const Row rows[] = {
      {"body shorter than CONTENT_LENGTH inside a file part",
       good + file_part(B, "file", "x", "partial"), 100000, B, cgiParseIO, 1},
      {"CONTENT_LENGTH cuts a file part", good + file_part(B, "file", "x", "data") + closing(B),
       static_cast<long>(good.size() + 90), B, cgiParseIO, 1},
      {"no final boundary", good + file_part(B, "file", "x", "unterminated data"), -1, B, cgiParseIO,
       1},
      {"last boundary without the two bytes after it", good + "--bound", -1, B, cgiParseIO, 0},
      {"headers never end", "--bound\r\nContent-Disposition: form-data; name=a\r\n", -1, B,
       cgiParseIO, 0},
      {"first boundary without anything after it", "--bound", -1, B, cgiParseIO, 0},
      {"no boundary in the content type", good + closing(B), -1, "", cgiParseIO, 0},
      {"boundary longer than the put-back ring", good, -1, std::string(1100, 'b'), cgiParseIO, 0},
  };
  for (const Row& row : rows) {
    cgiFreeFormEntries();
    EXPECT_EQ(decode(row.body, row.boundary, row.content_length), row.result) << row.what;
    EXPECT_EQ(snapshot().size(), row.entries) << row.what;
    EXPECT_LE(consumed(), static_cast<long>(row.body.size())) << row.what;
    // The file of the part that failed is gone already.
    size_t files = 0;
    for (const auto& e : snapshot()) files += e.is_file;
    EXPECT_EQ(formtest::list_dir(root_ + "/tmp").size(), files) << row.what;
  }
}

TEST_F(Multipart, NeverReadsBeyondContentLength) {
  const std::string body = field_part(B, "a", "1") + closing(B);
  const std::string extra = "--bound\r\nContent-Disposition: form-data; name=late\r\n\r\nx\r\n--bound--";
  struct Row {
    size_t cut;
    int result;
    size_t entries;
  };
  const Row rows[] = {
      {body.size(), cgiParseSuccess, 1},
      {body.size() - 2, cgiParseSuccess, 1},  // no CR LF after the final "--"
      {body.size() - 3, cgiParseIO, 0},       // the boundary's two bytes cannot be read
      {body.size() - 4, cgiParseIO, 0},
      {body.size() - 9, cgiParseIO, 0},       // inside the CR LF "--bound" of the field
  };
  for (const Row& row : rows) {
    cgiFreeFormEntries();
    EXPECT_EQ(decode(body + extra, B, static_cast<long>(row.cut)), row.result) << row.cut;
    EXPECT_LE(consumed(), static_cast<long>(row.cut)) << row.cut;
    EXPECT_EQ(snapshot().size(), row.entries) << row.cut;
  }
}

namespace {
// A FILE whose reads return at most `first` bytes on the first call and
// then at most `step` bytes per call.
struct ShortReads {
  std::string data;
  size_t pos = 0;
  size_t first, step;
  bool first_done = false;
};

ssize_t short_read(void* cookie, char* buf, size_t size) {
  auto* s = static_cast<ShortReads*>(cookie);
  size_t limit = s->first_done ? s->step : s->first;
  s->first_done = true;
  if (limit == 0) limit = 1;  // a zero-byte read would mean the end
  size_t n = std::min({size, limit, s->data.size() - s->pos});
  std::memcpy(buf, s->data.data() + s->pos, n);
  s->pos += n;
  return static_cast<ssize_t>(n);
}
}  // namespace

TEST_F(Multipart, SplitAnywhereGivesTheSameEntries) {
  std::string content = "x\r\n--boun\r\n--boun-\r\n" + std::string(40, '\0') + "\r\n";
  std::string body = "pre\r\n" + field_part(B, "a", "v\r\n--b") + file_part(B, "file", "f.bin", content) +
                     "--bound\r\nContent-Disposition: form-data; name=\"c\"\r\n\r\n" + "last" +
                     "\r\n--bound--\r\n";
  ASSERT_EQ(decode(body, B), cgiParseSuccess);
  const auto want = snapshot();
  ASSERT_EQ(want.size(), 3u);
  ASSERT_EQ(want[1].file_bytes, content);

  for (size_t step : {size_t(1), size_t(3), size_t(4096)}) {
    for (size_t split = 0; split <= body.size(); ++split) {
      cgiFreeFormEntries();
      close_in();
      ShortReads src{body, 0, split, step};
      cookie_io_functions_t io{short_read, nullptr, nullptr, nullptr};
      FILE* f = fopencookie(&src, "r", io);
      ASSERT_NE(f, nullptr);
      cgiIn = f;
      cgiContentLength = static_cast<int>(body.size());
      ASSERT_EQ(cgiDecodeMultipartBody(), cgiParseSuccess) << split << "/" << step;
      ASSERT_EQ(snapshot(), want) << split << "/" << step;
      std::fclose(f);
      cgiIn = nullptr;
    }
  }
}

// The decoder through a pipe: a writer that stops early never makes the
// decoder wait for bytes that cannot come.
TEST_F(Multipart, PipeClosedEarly) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string body = field_part(B, "a", "1") + file_part(B, "file", "n", "abc");
  ASSERT_EQ(write(fds[1], body.data(), body.size()), static_cast<ssize_t>(body.size()));
  close(fds[1]);
  FILE* f = fdopen(fds[0], "rb");
  cgiIn = f;
  cgiContentLength = 1 << 20;
  cgiMultipartBoundary = "bound";
  EXPECT_EQ(cgiDecodeMultipartBody(), cgiParseIO);
  EXPECT_EQ(snapshot().size(), 1u);
  std::fclose(f);
  cgiIn = nullptr;
}
