// Uploads end to end: a multipart body through the built program, the move
// of the uploaded file to its client base name, and what is left in /tmp.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "e2e_harness.h"

namespace {
const std::string kText = "Content-type: text/plain\r\n\r\n";
const std::string kBoundary = "------------------------d74496d66958873e";  // as curl makes them

std::vector<std::string> tmp_files(const E2eEnv& env) {
  std::vector<std::string> names;
  if (DIR* d = opendir(env.path("/tmp").c_str())) {
    while (dirent* de = readdir(d))
      if (std::strcmp(de->d_name, ".") != 0 && std::strcmp(de->d_name, "..") != 0)
        names.push_back(de->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string upload_body(const std::string& file_name, const std::string& content,
                        const std::string& boundary = kBoundary) {
  return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhello\r\n" +
         "--" + boundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + file_name +
         "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content + "\r\n--" + boundary +
         "--\r\n";
}

CgiRequest upload(const std::string& name, const std::string& body, const std::string& query = "",
                  const std::string& boundary = kBoundary) {
  CgiRequest r;
  r.method = "POST";
  r.path_info = name;
  r.query = query;
  r.content_type = "multipart/form-data; boundary=" + boundary;
  r.body = body;
  return r;
}

std::string binary_content(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + 7) & 0xff);
  // Line breaks and a near-boundary inside the data.
  const std::string inner = "\r\n--" + kBoundary.substr(0, 20) + "\r\n\r\n";
  if (size > inner.size() + 10) s.replace(5, inner.size(), inner);
  return s;
}
}  // namespace

TEST(Upload, BodyDecodedByteExactAndMovedToTheBaseName) {
  E2eEnv env;
  const std::string head = upload_body("C:\\dir\\a b.cfg", "");
  const size_t content_start = head.find("\r\n\r\n", head.find("filename")) + 4;
  // Sizes that make the part end exactly at, just before and just after the
  // edges of the reader's buffers.
  for (size_t end_at : {size_t(1024), size_t(4095), size_t(4096), size_t(4097), size_t(65536),
                        size_t(200000)}) {
    const std::string content = binary_content(end_at - content_start);
    auto r = env.run(upload("/9994", upload_body("C:\\dir\\a b.cfg", content), "param:cfg1&x=1"),
                     PROBE_PATH);
    const std::string target = env.path("/tmp/a b.cfg");
    EXPECT_EQ(r.exit_code, 0) << end_at;
    EXPECT_EQ(r.out, kText + target + " & cfg1\n" + content) << end_at;
    EXPECT_EQ(env.read_file("/tmp/a b.cfg"), content) << end_at;
    EXPECT_EQ(tmp_files(env), std::vector<std::string>{"a b.cfg"}) << end_at;
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    unlink(target.c_str());
  }
}

TEST(Upload, RequestTextWithoutParamAndWithQuotedBoundary) {
  E2eEnv env;
  auto r = env.run(upload("/9990", upload_body("cfg.bin", "abc", "XyZ"), "x=1", "\"XyZ\""), PROBE_PATH);
  EXPECT_EQ(r.out, kText + env.path("/tmp/cfg.bin"));
  EXPECT_EQ(env.read_file("/tmp/cfg.bin"), "abc");

  // A server that keeps standard input open after the body: the decoder
  // stops at CONTENT_LENGTH and the request completes.
  CgiRequest open_stdin = upload("/9990", upload_body("b.bin", "def"));
  open_stdin.keep_stdin_open = true;
  r = env.run(open_stdin, PROBE_PATH);
  EXPECT_EQ(r.out, kText + env.path("/tmp/b.bin"));
}

TEST(Upload, HostileFileNamesLandLiterallyAndNothingRuns) {
  const char* names[] = {
      "$(touch HACKED)", "`touch HACKED`", "a'b\"c;d.cfg", "x; touch HACKED", "-rf", "\xff\xfe.bin",
      "..\\..\\etc\\passwd",
  };
  const char* landed[] = {
      "$(touch HACKED)", "`touch HACKED`", "a'b", "x; touch HACKED", "-rf", "\xff\xfe.bin", "passwd",
  };
  E2eEnv env;
  for (size_t i = 0; i < std::size(names); ++i) {
    auto r = env.run(upload("/9994", upload_body(names[i], "payload")), PROBE_PATH);
    const std::string target = env.path(std::string("/tmp/") + landed[i]);
    EXPECT_EQ(r.out, kText + target + "\npayload") << names[i];
    EXPECT_EQ(tmp_files(env), std::vector<std::string>{landed[i]}) << names[i];
    unlink(target.c_str());
    EXPECT_FALSE(env.exists("/HACKED")) << names[i];
    EXPECT_NE(access("HACKED", F_OK), 0) << names[i];
  }
}

TEST(Upload, RefusedUploadsLeaveNothingBehind) {
  struct Row {
    const char* what;
    CgiRequest req;
    int exit_code;
  };
  std::string truncated = upload_body("a.cfg", std::string(5000, 'z'));
  truncated.resize(truncated.size() - 100);
  CgiRequest short_body = upload("/9994", truncated);
  short_body.send_content_length = false;
  short_body.env["CONTENT_LENGTH"] = std::to_string(truncated.size() + 100);
  const Row rows[] = {
      {"empty base name", upload("/9994", upload_body("C:\\dir\\", "x")), 0},
      {"base name .", upload("/9994", upload_body(".", "x")), 0},
      {"base name ..", upload("/9994", upload_body("up/..", "x")), 0},
      {"unregistered name", upload("/9999", upload_body("a.cfg", "x")), 0},
      {"no file field", upload("/9994", upload_body("", "x")), 0},
      {"body shorter than CONTENT_LENGTH", short_body, 255},
      {"no final boundary", upload("/9994", truncated), 255},
  };
  E2eEnv env;
  for (const Row& row : rows) {
    auto r = env.run(row.req, PROBE_PATH);
    EXPECT_EQ(r.exit_code, row.exit_code) << row.what;
    EXPECT_EQ(r.out, "") << row.what;
    EXPECT_TRUE(tmp_files(env).empty()) << row.what;
  }
}
