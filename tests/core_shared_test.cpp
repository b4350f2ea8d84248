// Shared pieces every module uses: the "file in /tmp" check, the download
// writer, the operation log with a main type, the camera common record, the
// reply-callback guard, the streaming exchange and the event table names.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cgi/cgic.h"
#include "core/camera_common_param.h"
#include "core/cgi_ipc.h"
#include "core/cgi_reply.h"
#include "core/cgi_util.h"
#include "core/download.h"
#include "core/event_records.h"
#include "core/paths.h"
#include "core/strutil.h"
#include "core/tmp_file.h"
#include "e2e_harness.h"
#include "platform/zrdb.h"

namespace {
// NVR_ROOT points at a fresh environment for in-process checks.
class InRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("NVR_ROOT", env_.root().c_str(), 1);
    nvr_root_reset();
  }
  void TearDown() override {
    unsetenv("NVR_ROOT");
    nvr_root_reset();
  }
  E2eEnv env_;
};

// Captures what the download writer puts on cgiOut.
std::string captured(int (*fn)(void*), void* arg, int* rc) {
  char* data = nullptr;
  size_t len = 0;
  FILE* saved = cgiOut;
  cgiOut = open_memstream(&data, &len);
  *rc = fn(arg);
  std::fclose(cgiOut);
  cgiOut = saved;
  std::string s(data, len);
  std::free(data);
  return s;
}

// Every byte value, in a length that is no multiple of the chunk size.
std::string binary_content(size_t len) {
  std::string s(len, '\0');
  for (size_t i = 0; i < len; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
  return s;
}

std::string headers(const std::string& name) {
  return "Content-Type:application/octet-stream\r\nContent-Disposition: attachment; filename= " + name +
         "\r\n\r\n";
}
}  // namespace

TEST(TmpFileName, AcceptsPlainNamesAndRefusesSystemOnes) {
  for (const char* ok : {"a b.cfg", "cgicAb12Cd", "backup.tar.gz", "x.y", "ssl_cert.csr"})
    EXPECT_TRUE(tmp_file_name_ok(ok)) << ok;
  const std::string longest(255, 'n');
  EXPECT_TRUE(tmp_file_name_ok(longest));
  for (const char* bad : {"", ".", "..", "../etc/passwd", "a/b", ".export_down_file", ".hidden", "a..b",
                          "cgilockfile", "pbdownload", "tmp_diagnostic", "chipinfo.txt", "oem.zip", "zrcore",
                          "log", "a\nb", "tab\there", "del\x7f"})
    EXPECT_FALSE(tmp_file_name_ok(bad)) << bad;
  EXPECT_FALSE(tmp_file_name_ok(longest + "n"));
  EXPECT_FALSE(tmp_file_name_ok(std::string_view("a\0b", 3)));
}

TEST_F(InRoot, PathFormsResolveToTheNameDirectlyInTmp) {
  const std::string full = env_.path("/tmp/");
  EXPECT_EQ(tmp_file_name_of(full + "a b.cfg"), "a b.cfg");
  EXPECT_EQ(tmp_file_name_of("/tmp/a b.cfg"), "a b.cfg");
  const std::vector<std::string> bads = {
       std::string("/tmp/"), full, full + "sub/x", "/tmp/../etc/passwd", full + "../tmp/x", "/tmpx/a",
        "tmp/a", "/var/tmp/a", env_.path("/mnt/nand/app/zrdb.db"), "/tmp//a", full + ".export_down_file"};
  for (const std::string& bad : bads)
    EXPECT_EQ(tmp_file_name_of(bad), "") << bad;
}

TEST_F(InRoot, OnlyARegularFileWithOneLinkPasses) {
  env_.write_file("/tmp/up.cfg", "data");
  env_.write_file("/tmp/cgilockfile", "");
  env_.write_file("/secret", "s");
  mkdir(env_.path("/tmp/dir").c_str(), 0755);
  ASSERT_EQ(symlink(env_.path("/secret").c_str(), env_.path("/tmp/soft").c_str()), 0);
  ASSERT_EQ(link(env_.path("/secret").c_str(), env_.path("/tmp/hard").c_str()), 0);
  ASSERT_EQ(mkfifo(env_.path("/tmp/fifo").c_str(), 0600), 0);

  std::string full = "stale";
  EXPECT_EQ(tmp_file_check(env_.path("/tmp/up.cfg"), &full), 0);
  EXPECT_EQ(full, env_.path("/tmp/up.cfg"));
  EXPECT_EQ(tmp_file_check("/tmp/up.cfg", &full), 0);
  EXPECT_EQ(full, env_.path("/tmp/up.cfg"));
  EXPECT_EQ(tmp_file_check_name("up.cfg", &full), 0);

  for (const char* name : {"missing", "dir", "soft", "hard", "fifo", "cgilockfile"}) {
    full = "stale";
    EXPECT_EQ(tmp_file_check_name(name, &full), -1) << name;
    EXPECT_EQ(full, "") << name;
    EXPECT_EQ(tmp_file_open_read(std::string("/tmp/") + name), -1) << name;
  }
  int fd = tmp_file_open_read(env_.path("/tmp/up.cfg"));
  ASSERT_GE(fd, 0);
  char buf[8] = {};
  EXPECT_EQ(read(fd, buf, sizeof buf), 4);
  EXPECT_STREQ(buf, "data");
  close(fd);
}

TEST_F(InRoot, DownloadWritesHeadersThenExactBytes) {
  // Sizes around the chunk size, and a large file with every byte value.
  for (size_t len : {size_t{0}, size_t{1}, DOWNLOAD_CHUNK - 1, DOWNLOAD_CHUNK, DOWNLOAD_CHUNK + 1,
                     size_t{3 * 1024 * 1024 + 17}}) {
    const std::string content = binary_content(len);
    env_.write_file("/tmp/f.bin", content);
    std::string path = env_.path("/tmp/f.bin");
    int rc = -2;
    std::string out = captured([](void* p) { return download_send_file(static_cast<std::string*>(p)->c_str(), "f.bin"); },
                               &path, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(out == headers("f.bin") + content) << len;

    std::pair<const std::string*, int> buf{&content, 0};
    out = captured(
        [](void* p) {
          auto* b = static_cast<std::pair<const std::string*, int>*>(p);
          return download_send_buffer(b->first->data(), b->first->size(), "mem.bin");
        },
        &buf, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(out == headers("mem.bin") + content) << len;
  }
}

TEST_F(InRoot, DownloadOfAMissingOrLinkedFileWritesNothing) {
  env_.write_file("/secret", "s");
  ASSERT_EQ(symlink(env_.path("/secret").c_str(), env_.path("/tmp/soft").c_str()), 0);
  mkdir(env_.path("/tmp/dir").c_str(), 0755);
  for (const char* abs : {"/tmp/missing", "/tmp/soft", "/tmp/dir"}) {
    std::string path = env_.path(abs);
    int rc = 0;
    std::string out = captured([](void* p) { return download_send_file(static_cast<std::string*>(p)->c_str(), "x"); },
                               &path, &rc);
    EXPECT_EQ(rc, -1) << abs;
    EXPECT_EQ(out, "") << abs;
  }
}

TEST(Download, NameCannotAddHeaderLinesAndBaseNameIsTheLastPart) {
  int rc = 0;
  std::string out = captured(
      [](void*) { return download_send_buffer("x", 1, "a\r\nSet-Cookie: s=1\r\n.txt"); }, nullptr, &rc);
  EXPECT_EQ(out, headers("aSet-Cookie: s=1.txt") + "x");
  EXPECT_STREQ(download_base_name("/tmp/zrcore/export.tar"), "export.tar");
  EXPECT_STREQ(download_base_name("plain"), "plain");
  EXPECT_STREQ(download_base_name("/tmp/"), "");
}

// The whole way a web server sees it: exact bytes on standard output, and a
// name that fails the check sends nothing of the file.
TEST(DownloadE2e, BytesArriveExactly) {
  E2eEnv env;
  const std::string content = binary_content(200000);
  env.write_file("/tmp/packet.tar", content);
  env.write_file("/tmp/cgilockfile", "lock");
  CgiRequest req;
  req.method = "POST";
  req.content_type = "application/json";
  req.path_info = "/9995";
  req.body = env.path("/tmp/packet.tar");
  CgiResult r = env.run(req, PROBE_PATH);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.out == headers("packet.tar") + content) << r.out.size();

  for (const std::string& bad : {env.path("/tmp/cgilockfile"), std::string("/tmp/../tmp/packet.tar")}) {
    req.body = bad;
    r = env.run(req, PROBE_PATH);
    EXPECT_EQ(r.out, "Content-type: text/plain\r\n\r\nNO") << bad;
  }
}

TEST_F(InRoot, OperationLogCarriesTheMainTypeItIsGiven) {
  env_.start_sim();
  log_operation_main(32, 204, 914, 0);
  log_operation(209, 900, 3);
  OperationLogInfo main32;
  cgi_init_log_info(&main32);
  main32.main_type = 32;
  main32.sub_type = 204;
  main32.param = 914;
  OperationLogInfo plain;
  cgi_init_log_info(&plain);
  plain.sub_type = 209;
  plain.param = 900;
  plain.channel = 3;
  EXPECT_EQ(plain.main_type, LOG_MAIN_OPERATION);
  EXPECT_EQ(env_.journal_of(REQ_OPERATION_LOG),
            (std::vector<std::string>{record_hex(main32), record_hex(plain)}));
}

TEST(CameraCommonParam, TextsAreCutAndTerminated) {
  const std::string long_value(300, 'v');
  CommonParam rec = make_common_param(5, "", "vsetting.html", "ptzspeed", long_value);
  EXPECT_EQ(rec.id, 5);
  EXPECT_STREQ(rec.httpname, "vsetting.html");
  EXPECT_STREQ(rec.key, "ptzspeed");
  EXPECT_EQ(std::string(rec.value), long_value.substr(0, sizeof rec.value - 1));
  EXPECT_EQ(rec.pagename[0], '\0');
  EXPECT_EQ(rec.flag, 0);
}

// ---- Reply callbacks never send; the streaming exchange -----------------------------------

namespace {
struct CallbackSends {
  int start_rc = 0;
  int stop_rc = 0;
  int exchange_rc = -5;
  int calls = 0;
};
CallbackSends g_sends;

void sending_cb(void*, void*, void* payload) {
  if (!payload) return;
  ++g_sends.calls;
  int32_t v = 9;
  g_sends.start_rc = cgi_start_ipc(cgi_ignore_reply_cb, 1407, sizeof v, &v, 1);
  notify_core(1408, &v, sizeof v);
  log_operation(204, 914, 0);
  g_sends.exchange_rc = cgi_ipc_exchange(cgi_ignore_reply_cb, 3409, &v, sizeof v, CGI_KIND_JSON);
  g_sends.stop_rc = cgi_stop_ipc();
  g_callback_done = 1;
}

std::atomic<int> g_stream_calls{0};
std::atomic<int32_t> g_stream_last{0};
void stream_cb(void*, void*, void* payload) {
  if (!payload) return;
  ++g_stream_calls;
  int32_t v;
  std::memcpy(&v, payload, sizeof v);
  g_stream_last = v;
  // Data messages never end the wait, like a recording download's.
}

}  // namespace

TEST_F(InRoot, SendsFromAReplyCallbackFailWithALogLine) {
  env_.start_sim("3001 reply hex=01000000\n");
  g_sends = CallbackSends();
  int32_t v = 1;
  setenv("NVR_IPC_WAIT_MS", "30000", 1);
  int done = 0;
  {
    char* data = nullptr;
    size_t len = 0;
    FILE* saved = cgiOut;
    cgiOut = open_memstream(&data, &len);
    done = cgi_ipc_exchange(sending_cb, 3001, &v, sizeof v, CGI_KIND_JSON);
    std::fclose(cgiOut);
    cgiOut = saved;
    EXPECT_EQ(len, 0u) << "the refused exchange wrote an error reply";
    std::free(data);
  }
  unsetenv("NVR_IPC_WAIT_MS");
  EXPECT_EQ(done, 1);
  EXPECT_EQ(g_sends.calls, 1);
  EXPECT_EQ(g_sends.start_rc, -1);
  EXPECT_EQ(g_sends.exchange_rc, 0);
  EXPECT_EQ(g_sends.stop_rc, -1);
  // Only the handler's own request reached the daemon.
  EXPECT_EQ(env_.journal(), std::vector<std::string>{"3001 01000000"});
  const std::string log = env_.read_file("/mnt/nand/cgi_log.txt");
  EXPECT_NE(log.find("send (request 1407) from a reply callback refused"), std::string::npos) << log;
  EXPECT_NE(log.find("send (request 1408) from a reply callback refused"), std::string::npos);
  EXPECT_NE(log.find("send (request 3485) from a reply callback refused"), std::string::npos);
  EXPECT_NE(log.find("exchange (request 3409) from a reply callback refused"), std::string::npos);

  // The channel still works for the handler afterwards.
  notify_core(1407, &v, sizeof v);
  EXPECT_EQ(env_.journal_of(1407), std::vector<std::string>{"01000000"});
}

TEST_F(InRoot, StreamingExchangeTakesEveryMessageUntilStop) {
  // One message within the wait, two after it: all three reach the callback
  // until the channel is closed (an ordinary exchange drops the late ones and
  // any after the first handled reply: see the core channel tests).
  env_.start_sim("1173 reply hex=01000000\n1173 reply hex=02000000 delay=150\n1173 reply hex=03000000\n");
  g_stream_calls = 0;
  setenv("NVR_IPC_WAIT_MS", "50", 1);
  int32_t v = 0;
  EXPECT_EQ(cgi_start_ipc_stream(stream_cb, 1173, sizeof v, &v, 0), 0);
  unsetenv("NVR_IPC_WAIT_MS");
  EXPECT_EQ(g_callback_done.load(), 0);
  // Wait for the late messages (bounded, so a fault fails instead of hanging).
  for (int i = 0; i < 500 && g_stream_calls < 3; ++i) usleep(10000);
  cgi_stop_ipc();
  EXPECT_EQ(g_stream_calls, 3);
  EXPECT_EQ(g_stream_last, 3);
}

// ---- Event table names ---------------------------------------------------------------------

TEST(EventNames, PtzTypesOfEveryEventKind) {
  EXPECT_EQ(get_smart_event_ptz_type(0), 5);
  EXPECT_EQ(get_smart_event_ptz_type(8), 13);
  EXPECT_EQ(get_smart_event_ptz_type(9), -1);
  EXPECT_EQ(get_smart_event_ptz_type(-1), -1);
  EXPECT_EQ(converse_chn_alarmid_to_event_in(0), 30);
  EXPECT_EQ(converse_chn_alarmid_to_event_in(3), 33);
  EXPECT_EQ(converse_chn_alarmid_to_event_in(4), -1);
  EXPECT_EQ(converse_chn_alarmid_to_event_in(-1), -1);
  // Every kind's rows lie apart from every other kind's.
  std::vector<int> types = {PTZ_TYPE_ALARM_IN, PTZ_TYPE_MOTION, PTZ_TYPE_VIDEOLOSS, PTZ_TYPE_PEOPLE_CNT,
                            PTZ_TYPE_POS, PTZ_TYPE_FACE};
  for (int e = 0; e <= 8; ++e) types.push_back(get_smart_event_ptz_type(e));
  for (int mode = 0; mode < 3; ++mode) types.push_back(PTZ_TYPE_PLATE_BASE + mode);
  for (int region = 0; region < 4; ++region) types.push_back(PTZ_TYPE_REGION_PCNT_BASE + region);
  for (int i = 0; i < CAM_ALARM_INPUTS; ++i) types.push_back(converse_chn_alarmid_to_event_in(i));
  std::sort(types.begin(), types.end());
  EXPECT_EQ(std::adjacent_find(types.begin(), types.end()), types.end());
  EXPECT_GE(types.front(), 0);
  EXPECT_LE(types.back(), PTZ_TYPE_MAX);
}

TEST(EventNames, CameraAlarmTablesPerIndex) {
  EXPECT_EQ(cam_alarm_in_table(2, "name"), "alarm_chnIn2_name");
  EXPECT_EQ(cam_alarm_in_table(0, "mail_schedule"), "alarm_chnIn0_mail_schedule");
  EXPECT_EQ(cam_alarm_out_table(1, "effective_schedule"), "alarm_chnOut1_effective_schedule");
  EXPECT_EQ(cam_alarm_in_table(4, "name"), "");
  EXPECT_EQ(cam_alarm_out_table(2, "name"), "");
}

TEST_F(InRoot, CameraAlarmNamesOfAllChannels) {
  CamAlarmInName in{};
  in.channel = 5;
  in.index = 2;
  copy_field(in.alarm_name, "door");
  ASSERT_EQ(zrdb_write_record(ZRDB_PATH, cam_alarm_in_table(2, "name").c_str(), 5, &in, sizeof in), 0);
  CamAlarmOutName out{};
  out.channel = 63;
  out.index = 1;
  out.delay_time = 7;
  copy_field(out.alarm_name, "siren");
  ASSERT_EQ(zrdb_write_record(ZRDB_PATH, cam_alarm_out_table(1, "name").c_str(), 63, &out, sizeof out), 0);

  std::vector<CamAlarmInName> ins(NVR_CHANNELS);
  EXPECT_EQ(read_alarm_chnIn_event_names(2, ins.data()), 0);
  EXPECT_STREQ(ins[5].alarm_name, "door");
  EXPECT_STREQ(ins[4].alarm_name, "");
  EXPECT_EQ(read_alarm_chnIn_event_names(1, ins.data()), 0);
  EXPECT_STREQ(ins[5].alarm_name, "");
  EXPECT_EQ(read_alarm_chnIn_event_names(4, ins.data()), -1);

  std::vector<CamAlarmOutName> outs(NVR_CHANNELS);
  EXPECT_EQ(read_alarm_chnOut_event_names(1, outs.data()), 0);
  EXPECT_STREQ(outs[63].alarm_name, "siren");
  EXPECT_EQ(outs[63].delay_time, 7);
  EXPECT_EQ(read_alarm_chnOut_event_names(2, outs.data()), -1);
}
