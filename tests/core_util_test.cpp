// Reply writers, JSON getters, environment capture and the small utilities.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cgi/cgic.h"
#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_log.h"
#include "core/cgi_reply.h"
#include "core/cgi_util.h"
#include "core/paths.h"
#include "core/strutil.h"
#include "e2e_harness.h"
#include "platform/zrfs.h"

namespace {
// Captures what the reply writers put on cgiOut.
class Output {
 public:
  Output() : f_(std::tmpfile()) { cgiOut = f_; }
  ~Output() {
    cgiOut = stdout;
    std::fclose(f_);
  }
  std::string text() {
    std::fflush(f_);
    std::rewind(f_);
    std::string s;
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f_)) > 0) s.append(buf, n);
    return s;
  }

 private:
  FILE* f_;
};

const std::string kText = "Content-type: text/plain\r\n\r\n";
const std::string kJson = "Content-type: application/json\r\n\r\n";
}  // namespace

TEST(ReplyWriters, KindsAndErrors) {
  {
    Output o;
    EXPECT_EQ(cgi_writeback_webserver(0, "OK"), 0);
    EXPECT_EQ(cgi_writeback_webserver(1, "{}"), 0);
    EXPECT_EQ(cgi_writeback_webserver(7, "raw"), 0);
    EXPECT_EQ(cgi_writeback_webserver(0, nullptr), -1);
    EXPECT_EQ(o.text(), kText + "OK" + kJson + "{}" + "raw");
  }
  {
    Output o;
    cgi_error_to_webserver(0);
    cgi_error_to_webserver(1);
    cgi_error_to_webserver(2);
    EXPECT_EQ(o.text(), kText + "CGI ERROR" + kJson + "{status:\"CGI ERROR\"}");
  }
}

TEST(ReplyWriters, CommonCallbacks) {
  {
    Output o;
    g_callback_done = 0;
    int32_t status = 3;
    on_cgi_common_json_cb(1, &status);
    EXPECT_EQ(o.text(), kJson + "{\"status\":3}");
    EXPECT_EQ(g_callback_done.load(), 1);
  }
  {
    Output o;
    g_callback_done = 0;
    on_cgi_common_json_cb(0, "abcd");
    on_cgi_common_json_cb(1, nullptr);
    EXPECT_EQ(o.text(), "");
    EXPECT_EQ(g_callback_done.load(), 0);
  }
  {
    Output o;
    on_cgi_common_text_cb(1, -5, "x");
    on_cgi_common_text_cb(1, 0, nullptr);
    EXPECT_EQ(o.text(), kText + "CGI ERROR status:[-5], data:[x]" + kText + "CGI OK status:[0]");
    EXPECT_EQ(g_callback_done.load(), 1);
  }
  {
    // The whole text stays within 255 characters.
    Output o;
    on_cgi_common_text_cb(1, 1, std::string(1000, 'd').c_str());
    EXPECT_EQ(o.text().size(), kText.size() + 255);
  }
}

TEST(JsonGetters, PresentAbsentAndWrongShapes) {
  int v = -1;
  EXPECT_EQ(on_cgi_get_value_by_json("{\"chn\":5}", "chn", &v), 0);
  EXPECT_EQ(v, 5);
  EXPECT_EQ(on_cgi_get_value_by_json("{\"chn\":5}", "x", &v), -1);
  EXPECT_EQ(on_cgi_get_value_by_json("{bad", "chn", &v), -1);
  EXPECT_EQ(on_cgi_get_value_by_json(nullptr, "chn", &v), -1);
  EXPECT_EQ(get_request_tokener_json_object(nullptr), nullptr);

  JsonPtr obj(get_request_tokener_json_object("{\"n\":\"abcdef\",\"i\":7,\"a\":[1,2],\"z\":null}"));
  char buf[4];
  EXPECT_EQ(on_cgi_get_string_from_json(obj.get(), "n", buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(on_cgi_get_string_from_json(obj.get(), "q", buf, sizeof buf), -1);
  EXPECT_EQ(json_get_int(obj.get(), "missing"), 0);
  char text[8] = "keep";
  json_get_text(obj.get(), "missing", text);
  EXPECT_STREQ(text, "");
  json_get_text(obj.get(), "z", text);
  EXPECT_STREQ(text, "");

  int32_t stored = 99;
  EXPECT_FALSE(json_take_int(obj.get(), "missing", &stored));
  EXPECT_EQ(stored, 99);
  EXPECT_TRUE(json_take_int(obj.get(), "i", &stored));
  EXPECT_EQ(stored, 7);

  EXPECT_EQ(json_array_size(json_array_member(obj.get(), "a")), 2u);
  EXPECT_EQ(json_array_member(obj.get(), "i"), nullptr);  // not an array: never reaches json-c's array calls
  EXPECT_EQ(json_array_size(json_array_member(obj.get(), "missing")), 0u);

  // A request text that is an array or a number, not an object.
  JsonPtr arr(get_request_tokener_json_object("[1,2,3]"));
  EXPECT_EQ(json_get_int(arr.get(), "chn"), 0);
  EXPECT_EQ(json_array_member(arr.get(), "chn"), nullptr);

  for (int t : {11, 12, 13, 14}) EXPECT_EQ(on_cgi_is_zr_lpr(t), 1);
  for (int t : {0, 10, 15, -1}) EXPECT_EQ(on_cgi_is_zr_lpr(t), 0);
}

TEST(CapturedEnvironment, ContentTypeBoundaryAndAbsentVariables) {
  struct Row {
    const char* content_type;
    const char* type;
    const char* boundary;
  };
  const Row rows[] = {
      {"multipart/form-data; boundary=xyz", "multipart/form-data", "xyz"},
      {"multipart/form-data;charset=x; BOUNDARY=ab cd", "multipart/form-data", "ab"},
      {"multipart/form-data; boundary=\"q\"", "multipart/form-data", "\"q\""},
      {"application/json; charset=UTF-8", "application/json", ""},
      {"text/plain", "text/plain", ""},
  };
  for (const Row& row : rows) {
    setenv("CONTENT_TYPE", row.content_type, 1);
    cgiCaptureEnvironment();
    EXPECT_STREQ(cgiContentType, row.type) << row.content_type;
    EXPECT_STREQ(cgiMultipartBoundary, row.boundary) << row.content_type;
  }
  std::string huge(3000, 't');
  setenv("CONTENT_TYPE", huge.c_str(), 1);
  unsetenv("HTTP_COOKIE");
  setenv("CONTENT_LENGTH", "abc", 1);
  cgiCaptureEnvironment();
  EXPECT_EQ(std::strlen(cgiContentType), 1023u);
  EXPECT_STREQ(cgiCookie, "");
  EXPECT_EQ(cgiContentLength, 0);
  unsetenv("CONTENT_TYPE");
  unsetenv("CONTENT_LENGTH");
}

TEST(TextHelpers, StrrplAndParam) {
  char out[64];
  EXPECT_STREQ(strrpl(out, "{%22a%22:%2222}", "%22", "\""), "{\"a\":\"22}");
  EXPECT_STREQ(strrpl(out, "%2%22%", "%22", "\""), "%2\"%");
  char param[300];
  EXPECT_TRUE(cgiQueryParamAfter("a=1&param:x1&y", param, sizeof param));
  EXPECT_STREQ(param, "x1");
  EXPECT_FALSE(cgiQueryParamAfter("a=1", param, sizeof param));
  std::string longq = "param:" + std::string(400, 'p');
  EXPECT_TRUE(cgiQueryParamAfter(longq.c_str(), param, sizeof param));
  EXPECT_EQ(std::strlen(param), 255u);
  EXPECT_TRUE(cgiIsRawUploadPath("/6082"));
  EXPECT_FALSE(cgiIsRawUploadPath("/1019"));
}

TEST(Utilities, UserNameFromCookie) {
  struct Row {
    const char* cookie;
    int rc;
    const char* name;
  };
  const Row rows[] = {
      {"lang=en; userName=admin; sid=1", 0, "admin"},
      {"userName=admin", 0, "admin"},
      {"sid=1; lang=en", -1, ""},
      {"", -1, ""},
  };
  for (const Row& row : rows) {
    cgiCookie = row.cookie;
    char name[64] = "";
    EXPECT_EQ(get_current_username(name), row.rc) << row.cookie;
    EXPECT_STREQ(name, row.name) << row.cookie;
    OperationLogInfo info;
    cgiRemoteAddr = "10.1.2.3";
    ASSERT_EQ(cgi_init_log_info(&info), 0);
    EXPECT_STREQ(info.user_name, row.name);
    EXPECT_STREQ(info.client_addr, "10.1.2.3");
    EXPECT_EQ(info.main_type, 4);
    EXPECT_EQ(info.one, 1);
  }
  std::string longname = "userName=" + std::string(200, 'u');
  cgiCookie = longname.c_str();
  char name[64];
  EXPECT_EQ(get_current_username(name), 0);
  EXPECT_EQ(std::strlen(name), 63u);
  EXPECT_EQ(get_current_username(nullptr), -1);
  EXPECT_EQ(cgi_init_log_info(nullptr), -1);
  cgiCookie = "";
  cgiRemoteAddr = "";
}

TEST(Utilities, WebSystemResults) {
  EXPECT_EQ(web_system("true"), 0);
  EXPECT_EQ(web_system("exit 1"), -1);
  EXPECT_EQ(web_system("kill -9 $$"), -1);
  EXPECT_EQ(web_system(static_cast<const char*>(nullptr)), -1);
  EXPECT_EQ(web_system("test " + shell_quote("a b'c") + " = \"a b'c\""), 0);
  EXPECT_EQ(web_system("test " + shell_quote("") + " = ''"), 0);
}

TEST(Utilities, MacAddressesAlwaysHaveTheirForm) {
  char a[18], b[18];
  EXPECT_EQ(get_mac_addr(a, b), 0);
  for (const char* mac : {a, b}) {
    ASSERT_EQ(std::strlen(mac), 17u);
    for (int i = 2; i < 17; i += 3) EXPECT_EQ(mac[i], ':');
  }
  EXPECT_STRNE(a, b);
}

TEST(Utilities, DebugLogLineAndRotation) {
  E2eEnv env;
  setenv("NVR_ROOT", env.root().c_str(), 1);
  nvr_root_reset();
  ASSERT_EQ(cgi_log("src", 12, "fn", "value %d", 5), 0);
  std::string log = env.read_file("/mnt/nand/cgi_log.txt");
  ASSERT_GT(log.size(), 40u);
  EXPECT_EQ(log.rfind("[tarn debug] ", 0), 0u);
  EXPECT_NE(log.find("  src:12 in fn: value 5\n"), std::string::npos);

  // Past 256 KiB the log moves to cgi_log.txt.1 and starts again.
  std::string line(1500, 'x');
  for (int i = 0; i < 200; ++i) cgi_log("src", 1, "fn", "%s", line.c_str());
  struct stat st {};
  ASSERT_EQ(stat(env.path("/mnt/nand/cgi_log.txt").c_str(), &st), 0);
  EXPECT_LT(st.st_size, CGI_LOG_MAX_BYTES + 2048);
  EXPECT_TRUE(env.exists("/mnt/nand/cgi_log.txt.1"));
  // A debug log that cannot be opened loses the line.
  setenv("NVR_ROOT", "/nonexistent-root-for-test", 1);
  nvr_root_reset();
  EXPECT_EQ(cgi_log("src", 1, "fn", "lost"), -1);
  unsetenv("NVR_ROOT");
  nvr_root_reset();
}

// True while process pid waits for a file lock (a "->" line of /proc/locks).
bool waits_for_lock(pid_t pid) {
  std::ifstream in("/proc/locks");
  const std::string who = " " + std::to_string(pid) + " ";
  std::string line;
  while (std::getline(in, line))
    if (line.find("->") != std::string::npos && line.find(who) != std::string::npos) return true;
  return false;
}

TEST(Utilities, DebugLogFullForTwoWritersIsRotatedOnce) {
  E2eEnv env;
  setenv("NVR_ROOT", env.root().c_str(), 1);
  nvr_root_reset();
  const std::string path = env.path("/mnt/nand/cgi_log.txt");
  const std::string full(CGI_LOG_MAX_BYTES, 'o');
  env.write_file("/mnt/nand/cgi_log.txt", full);
  // This process is the first writer to find the log full: it holds the
  // log's lock while it rotates. A second writer comes meanwhile.
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  const pid_t second = fork();
  if (second == 0) _exit(cgi_log("src", 1, "fn", "second writer") == 0 ? 0 : 1);
  int status = 0;
  bool exited = false;
  while (!(exited = waitpid(second, &status, WNOHANG) == second) && !waits_for_lock(second)) usleep(1000);
  ASSERT_EQ(std::rename(path.c_str(), (path + ".1").c_str()), 0);
  env.write_file("/mnt/nand/cgi_log.txt", "first writer\n");
  flock(fd, LOCK_UN);
  close(fd);
  if (!exited) waitpid(second, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // The previous log survives, and the second line went to the new log.
  EXPECT_EQ(env.read_file("/mnt/nand/cgi_log.txt.1"), full);
  const std::string log = env.read_file("/mnt/nand/cgi_log.txt");
  EXPECT_EQ(log.rfind("first writer\n", 0), 0u) << log;
  EXPECT_NE(log.find("in fn: second writer\n"), std::string::npos) << log;
  unsetenv("NVR_ROOT");
  nvr_root_reset();
}

TEST(Utilities, LockFiles) {
  E2eEnv env;
  const std::string path = env.path("/tmp/cgilockfile");
  int fd = file_lock(path.c_str());
  ASSERT_GE(fd, 0);
  // Another process cannot take the lock while it is held.
  EXPECT_NE(web_system("flock -n " + shell_quote(path) + " true"), 0);
  EXPECT_EQ(file_unlock(fd), 0);
  EXPECT_EQ(web_system("flock -n " + shell_quote(path) + " true"), 0);
  EXPECT_EQ(file_lock(nullptr), -1);
  EXPECT_EQ(file_unlock(-3), -3);
}

TEST(Utilities, ShellQuoteHostileValues) {
  E2eEnv env;
  const char* values[] = {"$(id)", "`id`", ";id", "|id", "&id", "'", "\"", "a\nb", "-rf", "a'\"'b", ""};
  for (const char* v : values) {
    const std::string out = env.path("/tmp/q");
    ASSERT_EQ(web_system("printf '%s' " + shell_quote(v) + " > " + shell_quote(out)), 0) << v;
    EXPECT_EQ(env.read_file("/tmp/q"), v);
  }
}

TEST(LogDetail, SizeAndDataLandWhereTheLogReaderLooks) {
  OperationLogInfo info;
  std::memset(&info, 0, sizeof info);
  const int32_t values[3] = {1, 2, 3};
  ASSERT_EQ(zrfs_log_pack_detail(info.detail, sizeof info.detail, 107, values, sizeof values), 0);
  const unsigned char* rec = reinterpret_cast<const unsigned char*>(&info);
  int32_t size = 0;
  std::memcpy(&size, rec + 148, sizeof size);
  EXPECT_EQ(size, 12);
  EXPECT_EQ(std::memcmp(rec + 152, values, sizeof values), 0);
  // A block larger than the area is refused.
  std::string big(600, 'x');
  EXPECT_EQ(zrfs_log_pack_detail(info.detail, sizeof info.detail, 1, big.data(), big.size()), -1);
}
