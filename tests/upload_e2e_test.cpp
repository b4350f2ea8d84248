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

#include "cgi/cgic.h"
#include "core/access.h"
#include "core/clock.h"
#include "core/session.h"
#include "core/strutil.h"
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

// A live session of the viewer "viewer", who may watch live video only.
const char kViewerCookie[] = "userName=viewer; sessionId=27182818284590452353602874713526";
void seed_viewer_session(const E2eEnv& env) {
  SessionRecord rec;
  std::memset(&rec, 0, sizeof rec);
  copy_field(rec.id, "27182818284590452353602874713526");
  copy_field(rec.user, "viewer");
  copy_field(rec.addr, "127.0.0.1");
  rec.user_id = 1;
  rec.level = 2;
  rec.rights = ACCESS_VIEWER_RIGHTS;
  rec.created = rec.last_used = nvr_uptime();
  ASSERT_EQ(session_put_in(env.path(SESSION_STORE_PATH), rec), 0);
}

CgiRequest with_length(CgiRequest r, long long length) {
  r.send_content_length = false;
  r.env["CONTENT_LENGTH"] = std::to_string(length);
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
    auto r = env.run(upload("/9994", upload_body("C:\\dir\\a b.cfg", content), "param:cfg1&x=1&keep=1"),
                     PROBE_PATH);
    const std::string target = env.path("/tmp/a b.cfg");
    EXPECT_EQ(r.exit_code, 0) << end_at;
    EXPECT_EQ(r.out, kText + target + " & cfg1\n" + content) << end_at;
    // The upload itself is gone with the request; the handler's second name
    // shows what it was.
    EXPECT_EQ(env.read_file("/tmp/a b.cfg.kept"), content) << end_at;
    EXPECT_EQ(tmp_files(env), std::vector<std::string>{"a b.cfg.kept"}) << end_at;
    struct stat st {};
    ASSERT_EQ(stat((target + ".kept").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    unlink((target + ".kept").c_str());
  }
}

TEST(Upload, RequestTextWithoutParamAndWithQuotedBoundary) {
  E2eEnv env;
  auto r = env.run(upload("/9990", upload_body("cfg.bin", "abc", "XyZ"), "x=1", "\"XyZ\""), PROBE_PATH);
  EXPECT_EQ(r.out, kText + env.path("/tmp/cfg.bin"));
  EXPECT_FALSE(env.exists("/tmp/cfg.bin"));  // the upload goes with the request

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
    EXPECT_TRUE(tmp_files(env).empty()) << names[i];
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
  // The same, and the server holds standard input open: the body deadline
  // ends the request.
  CgiRequest held_open = short_body;
  held_open.keep_stdin_open = true;
  held_open.env["NVR_BODY_IDLE_MS"] = "200";
  CgiRequest json_held_open;
  json_held_open.method = "POST";
  json_held_open.path_info = "/9990";
  json_held_open.content_type = "application/json";
  json_held_open.body = "{\"a\":";
  json_held_open.send_content_length = false;
  json_held_open.env["CONTENT_LENGTH"] = "100";
  json_held_open.keep_stdin_open = true;
  json_held_open.env["NVR_BODY_IDLE_MS"] = "200";
  // More file parts than one body may make.
  std::string parts;
  for (int i = 0; i <= CGI_UPLOAD_PARTS_MAX; ++i)
    parts += "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"f" + std::to_string(i) +
             ".bin\"\r\n\r\nx\r\n";
  // Five file parts and a sixth still arriving when a signal ends the request.
  E2eEnv env;
  auto signalled = [&](int sig) {
    std::string body;
    for (int i = 0; i < 6; ++i)
      body += "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"f" + std::to_string(i) +
              ".bin\"\r\n\r\n" + std::string(1000, 'p') + (i < 5 ? "\r\n" : "");
    CgiRequest r = with_length(upload("/9994", body), static_cast<long long>(body.size()) + 5000);
    r.keep_stdin_open = true;
    r.signal = sig;
    r.signal_when = [&env] { return tmp_files(env).size() == 6; };
    return r;
  };
  const Row rows[] = {
      {"empty base name", upload("/9994", upload_body("C:\\dir\\", "x")), 0},
      {"base name .", upload("/9994", upload_body(".", "x")), 0},
      {"base name ..", upload("/9994", upload_body("up/..", "x")), 0},
      {"unregistered name", upload("/9999", upload_body("a.cfg", "x")), 0},
      {"no file field", upload("/9994", upload_body("", "x")), 0},
      {"body shorter than CONTENT_LENGTH", short_body, 255},
      {"no final boundary", upload("/9994", truncated), 255},
      {"body held open short of CONTENT_LENGTH", held_open, 255},
      {"JSON body held open short of CONTENT_LENGTH", json_held_open, 255},
      {"more file parts than allowed", upload("/9994", parts + "--" + kBoundary + "--\r\n"), 255},
      {"SIGTERM mid-body", signalled(SIGTERM), 128 + SIGTERM},
      {"SIGINT mid-body", signalled(SIGINT), 128 + SIGINT},
      {"SIGHUP mid-body", signalled(SIGHUP), 128 + SIGHUP},
      {"SIGPIPE mid-body", signalled(SIGPIPE), 128 + SIGPIPE},
  };
  for (const Row& row : rows) {
    auto r = env.run(row.req, PROBE_PATH);
    EXPECT_EQ(r.exit_code, row.exit_code) << row.what;
    EXPECT_EQ(r.out, "") << row.what;
    EXPECT_TRUE(tmp_files(env).empty()) << row.what;
  }
}

TEST(Upload, OnlyTheNamesThatTakeAFileReadAMultipartBody) {
  struct Row {
    const char* what;
    CgiRequest req;
    std::string out;
  };
  auto anonymous = [](CgiRequest r) {
    r.anonymous = true;
    return r;
  };
  auto as_viewer = [](CgiRequest r) {
    r.cookie = kViewerCookie;
    return r;
  };
  const Row rows[] = {
      // Public names: without any session, nothing is read or moved.
      {"/json replacing the lock file", anonymous(upload("/json", upload_body("cgilockfile", "evil"))), ""},
      {"/1000 planting the export marker",
       anonymous(upload("/1000", upload_body(".export_down_file", "/mnt/nand/app/zrdb.db"))), ""},
      {"/1000 with 2 MB", anonymous(upload("/1000", upload_body("big.bin", std::string(2 << 20, 'b')))), ""},
      // A live-view session through a page every session may use.
      {"/2012 as a viewer", as_viewer(upload("/2012", upload_body("cgilockfile", "evil"))), ""},
      {"/2012 as an administrator", upload("/2012", upload_body("notes.txt", "x")), ""},
      // The access check still comes first for the upload names.
      {"/6321 without a session", anonymous(upload("/6321", upload_body("a.wav", "x"))),
       "Status: 401 Unauthorized\r\n\r\n"},
      {"/6321 as a viewer", as_viewer(upload("/6321", upload_body("a.wav", "x"))),
       "Status: 403 Forbidden\r\n\r\n"},
  };
  E2eEnv env;
  seed_viewer_session(env);
  env.write_file("/tmp/cgilockfile", "lock");
  for (const Row& row : rows) {
    auto r = env.run(row.req);
    EXPECT_EQ(r.exit_code, 0) << row.what;
    EXPECT_EQ(r.out, row.out) << row.what;
    EXPECT_EQ(tmp_files(env), std::vector<std::string>{"cgilockfile"}) << row.what;
    EXPECT_EQ(env.read_file("/tmp/cgilockfile"), "lock") << row.what;
  }
}

TEST(Upload, NamesTheSystemKeepsAndNonFilesAreNeverReplaced) {
  E2eEnv env;
  env.write_file("/tmp/victim", "keep");
  env.write_file("/tmp/cgilockfile", "lock");
  env.write_file("/tmp/zrcore", "core");
  env.write_file("/tmp/cgicAbC123", "other request");
  ASSERT_EQ(symlink(env.path("/tmp/victim").c_str(), env.path("/tmp/link.cfg").c_str()), 0);
  ASSERT_EQ(mkdir(env.path("/tmp/dir.cfg").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(env.path("/tmp/log").c_str(), 0755), 0);
  const std::vector<std::string> before = tmp_files(env);
  for (const char* name : {"cgilockfile", ".export_down_file", ".hidden", "zrcore", "cgicAbC123", "log",
                           "link.cfg", "dir.cfg", "C:\\x\\link.cfg"}) {
    auto r = env.run(upload("/9994", upload_body(name, "evil")), PROBE_PATH);
    EXPECT_EQ(r.exit_code, 0) << name;
    EXPECT_EQ(r.out, "") << name;
    EXPECT_EQ(tmp_files(env), before) << name;
  }
  EXPECT_EQ(env.read_file("/tmp/victim"), "keep");
  EXPECT_EQ(env.read_file("/tmp/cgilockfile"), "lock");
  EXPECT_EQ(env.read_file("/tmp/zrcore"), "core");
  EXPECT_EQ(env.read_file("/tmp/cgicAbC123"), "other request");
  struct stat st {};
  ASSERT_EQ(lstat(env.path("/tmp/link.cfg").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  // An earlier upload of the same name, a regular file, is replaced.
  env.write_file("/tmp/a.cfg", "old");
  auto r = env.run(upload("/9994", upload_body("a.cfg", "new")), PROBE_PATH);
  EXPECT_EQ(r.out, kText + env.path("/tmp/a.cfg") + "\nnew");
  EXPECT_FALSE(env.exists("/tmp/a.cfg"));  // and goes with the request
}

TEST(Upload, BodiesPastTheNameLimitAreRefusedBeforeReading) {
  const long long mib = 1LL << 20;
  const std::string too_large = "Status: 413 Payload Too Large\r\n\r\n";
  struct Row {
    const char* name;
    long long length;
    bool refused;
  } rows[] = {
      {"/1008", 16 * mib + 1, true},   {"/6321", 16 * mib + 1, true},  {"/7084", 16 * mib + 1, true},
      {"/oem", 16 * mib + 1, true},    {"/1010", 256 * mib + 1, true}, {"/1019", 256 * mib + 1, true},
      {"/2079", 256 * mib + 1, true},  {"/6082", 256 * mib + 1, true}, {"/6082", 9999999999LL, true},
      // At the limit the body is read, and this one ends inside its part.
      {"/1008", 16 * mib, false},      {"/6082", 256 * mib, false},
  };
  const std::string unfinished = "--" + kBoundary +
                                 "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"f.bin\"\r\n\r\nxyz";
  E2eEnv env;
  for (const Row& row : rows) {
    auto r = env.run(with_length(upload(row.name, unfinished), row.length));
    EXPECT_EQ(r.out, row.refused ? too_large : "") << row.name << " " << row.length;
    EXPECT_EQ(r.exit_code, row.refused ? 0 : 255) << row.name << " " << row.length;
    EXPECT_TRUE(tmp_files(env).empty()) << row.name;
  }
}
