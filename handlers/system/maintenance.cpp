// Maintenance: restart, factory restore, configuration export, download and
// import, firmware upgrade and device information.
// Serves "/1004", "/1005", "/1006", "/1007", "/1008", "/1009", "/1010",
// "/1011", "/1013", "/1019", "/1020", "/1034".
#include <fcntl.h>

#include <chrono>
#include <thread>

#include "core/download.h"
#include "core/event_records.h"
#include "core/tmp_file.h"
#include "handlers/system/maintenance_records.h"
#include "handlers/system/system.h"

namespace sysadmin {

namespace {

constexpr int REQ_RESTORE_KEEP = 3311;
constexpr int REQ_RESTORE = 3410;
constexpr int REQ_UPGRADE_START = 1721;

constexpr int LOG_RESTART = 200;
constexpr int LOG_UPGRADE = 203;
constexpr int LOG_EXPORT = 213;
constexpr int LOG_IMPORT = 214;
constexpr int LOG_RESTORE = 215;

constexpr char kCoreRunDir[] = "/tmp/zrcore";
constexpr char kExportDir[] = "/tmp";
constexpr char kExportPathFile[] = "/tmp/.export_down_file";
constexpr char kUpgradeImage[] = "/dev/shm/updateFM.bin";
constexpr size_t kExportNameRead = 256;
constexpr size_t kExportPathRead = 1168;
constexpr int kMotionIntervalDefault = 20;

struct RestoreRequest {
  int32_t keepIp;
  int32_t keepUser;
};
static_assert(sizeof(RestoreRequest) == 8, "restore payload is 8 bytes");

// What the device information reply adds to the core daemon's record: read
// by the handler before the exchange, so the reply writer only builds text.
struct SystemInfoExtras {
  char pluginVersion[32];
  char mpluginVersion[32];
  char uptime[65];
  char company[64];
  int32_t zrfsDbup;
  int32_t transProtocol;
  int32_t streamInfo;
  int32_t oemOnlineUpdate;
};
SystemInfoExtras g_info_extras;

// At most max bytes of the export path file, up to the first line end (the
// profile tool ends the path with one): false when the file cannot be read.
bool read_export_path(size_t max, std::string* path) {
  path->clear();
  const int fd = open(nvr_path(kExportPathFile).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  std::string buf(max, '\0');
  size_t got = 0;
  while (got < max) {
    const ssize_t n = read(fd, &buf[got], max - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  buf.resize(got);
  path->assign(buf.substr(0, buf.find_first_of(std::string("\r\n\0", 3))));
  return true;
}

// The uptime text of the device page: the "uptime" program's first 64
// bytes, cut before the user count (or before the load figures).
void read_uptime(char (&out)[65]) {
  char text[65] = "";
  if (web_read_command("uptime", text, sizeof text) < 0) CGI_LOG("uptime failed");
  std::string s(text);
  size_t cut = s.find("users");
  if (cut != std::string::npos) {
    cut = cut < 5 ? 0 : cut - 5;
  } else if ((cut = s.find('l')) != std::string::npos) {
    cut = cut < 2 ? 0 : cut - 2;
  } else {
    cut = s.find_first_of("\r\n");
  }
  if (cut != std::string::npos) s.erase(cut);
  copy_field(out, s);
}

void read_info_extras(SystemInfoExtras* x) {
  std::memset(x, 0, sizeof *x);
  get_param_value(ZRDB_PATH, "plugin_version", x->pluginVersion, sizeof x->pluginVersion, "1.0");
  get_param_value(ZRDB_PATH, "mplugin_version", x->mpluginVersion, sizeof x->mpluginVersion, "1.0");
  get_param_value(ZRDB_PATH, "company", x->company, sizeof x->company, "Orvelance");
  x->zrfsDbup = get_param_int(ZRDB_PATH, "zrfs_dbup", 0);
  x->transProtocol = get_param_int(ZRDB_PATH, "transport_protocol", 0);
  x->streamInfo = get_param_int(ZRDB_PATH, "stream_information", 0);
  x->oemOnlineUpdate = get_param_int(ZRDB_PATH, "oemupdateonline", 0);
  read_uptime(x->uptime);
}

// A new motion record of channel 0 may carry intervals of 0, which the
// core daemon would take as "notify on every frame": they become 20
// seconds. Only a record read whole is changed, and only when it needs it.
// The page asks this of anyone before a login, many times while the
// recorder restarts: the write lock is taken only when there is something to
// change, and the record is read again under it.
bool motion_intervals_need_fix() {
  MotionRecord m;
  std::memset(&m, 0, sizeof m);
  return zrdb_read_stored_record(ZRDB_PATH, "motion", 0, &m, sizeof m) == 0 &&
         (m.interval == 0 || m.email_interval == 0);
}

void fix_motion_intervals() {
  if (!motion_intervals_need_fix()) return;
  ZrdbTransaction txn(ZRDB_PATH);
  if (!txn.ok()) return;
  MotionRecord m;
  std::memset(&m, 0, sizeof m);
  if (zrdb_read_stored_record(ZRDB_PATH, "motion", 0, &m, sizeof m) != 0) return;
  if (m.interval != 0 && m.email_interval != 0) return;
  if (m.interval == 0) m.interval = kMotionIntervalDefault;
  if (m.email_interval == 0) m.email_interval = kMotionIntervalDefault;
  if (write_motion(ZRDB_PATH, &m, 0) != 0 || txn.commit() != 0) CGI_LOG("motion intervals not saved");
}

}  // namespace

// ---- Reply writers ----------------------------------------------------------------------
// Reply 8400: the device information as the device page shows it.
void on_get_system_info_cb(const void* payload, uint32_t length) {
  if (length < sizeof(SystemInfoRecord)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    g_callback_done = 1;
    return;
  }
  SystemInfoRecord r;
  std::memcpy(&r, payload, sizeof r);
  const SystemInfoExtras& x = g_info_extras;
  JsonPtr o(json_object_new_object());
  json_object* j = o.get();
  json_add_text(j, "hostName", "");
  json_add_field(j, "deviceName", r.model);
  json_add_int(j, "deviceId", r.deviceId);
  json_add_field(j, "product", r.model);
  json_add_field(j, "hwver", r.hwver);
  json_add_field(j, "software", r.software);
  json_add_int(j, "oemversion", r.oemVersion);
  json_add_field(j, "sn", r.sn);
  json_add_field(j, "prefix", r.prefix);
  json_add_field(j, "pluginVersion", x.pluginVersion);
  json_add_field(j, "mpluginVersion", x.mpluginVersion);
  json_add_field(j, "macAddress", r.mac);
  json_add_int(j, "zrddns", r.zrddns);
  json_add_field(j, "uptime", x.uptime);
  json_add_field(j, "sncode", r.sn);
  json_object* res = json_object_new_object();
  json_add_int(res, "displayNum", r.displayNum);
  json_add_int(res, "maxAudioOut", r.maxAudioOut);
  json_add_int(res, "maxNetworkLan", r.maxNetworkLan);
  json_add_int(res, "maxSensor", r.maxSensor);
  json_add_int(res, "maxAlarm", r.maxAlarm);
  json_add_int(res, "maxCameras", r.maxCameras);
  json_add_int(res, "masRs485", r.maxRs485);
  json_object_object_add(j, "resource", res);
  json_add_int(j, "zrfsDbup", x.zrfsDbup);
  json_add_int(j, "transProtocol", x.transProtocol);
  json_add_int(j, "streamInfo", x.streamInfo);
  json_add_int(j, "oemonlineupdate", x.oemOnlineUpdate);
  json_add_field(j, "company", x.company);
  json_add_int(j, "isSupportTalk", r.supportTalk);
  cgi_write_json(j);
  g_callback_done = 1;
}

// ---- Handlers ---------------------------------------------------------------------------
// "/1004"
void on_restart_device(char*) {
  log_operation(LOG_RESTART, LOG_PARAM_LOGIN, 0);
  notify_core(REQ_REBOOT, nullptr, 0);
  cgi_reply_ok();
}

// "/1005": asked by the page while the recorder restarts, before any login.
void on_get_restart_state(char*) {
  fix_motion_intervals();
  reply_text(access(nvr_path(kCoreRunDir).c_str(), R_OK) == 0 ? "OK" : "NO OK");
}

// "/1006" {"keepIp", "keepUser"}: absent keys restore those settings too; a
// value that is not 0 or 1 refuses the whole request.
void on_restore_device(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  RestoreRequest r{};
  if (!json_plain_int(req.get(), "keepIp", &r.keepIp) || !json_plain_int(req.get(), "keepUser", &r.keepUser) ||
      r.keepIp < 0 || r.keepIp > 1 || r.keepUser < 0 || r.keepUser > 1)
    return;
  cgi_reply_ok();
  std::fflush(cgiOut ? cgiOut : stdout);
  notify_core(REQ_RESTORE_KEEP, &r, sizeof r);
  notify_core(REQ_RESTORE, nullptr, 0);
  log_operation(LOG_RESTORE, LOG_PARAM_LOGIN, 0);
  notify_core(REQ_REBOOT, nullptr, 0);
}

// "/1007": "OK filename=<name>\r\n" with the name of the exported file.
void on_export_config(char*) {
  if (web_system("zrprofile -e " + shell_quote(nvr_path(kExportDir))) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  std::string path, reply = "OK";
  if (read_export_path(kExportNameRead, &path) && path.find('/') != std::string::npos)
    reply = string_printf("OK filename=%s\r\n", download_base_name(path.c_str()));
  log_operation(LOG_EXPORT, LOG_PARAM_LOGIN, 0);
  reply_text(reply.c_str());
}

// "/1008": the profile this request uploaded is imported and removed, also
// when the import fails; a request that uploaded none is refused.
void on_import_config(char*) {
  std::string full;
  if (upload_take(&full) != 0 || !cgiUploadBaseNameAllowed(download_base_name(full.c_str()))) {
    CGI_LOG("profile import refused: %s", upload_path().c_str());
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  static UserRecord accounts[USER_MAX];
  const bool accounts_known = read_all_users(ZRDB_PATH, accounts) == 0;
  const bool imported = web_system("zrprofile -i " + shell_quote(full)) == 0;
  // Also after a failed import, which may have changed part of the store.
  end_sessions_of_changed_accounts(accounts, accounts_known);
  const bool removed = unlink(full.c_str()) == 0;
  if (!imported || !removed) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  cgi_reply_ok();
  log_operation(LOG_IMPORT, LOG_PARAM_LOGIN, 0);
}

// "/1009", "/1020"
void on_get_system_info(char*) {
  read_info_extras(&g_info_extras);
  cgi_ipc_exchange(on_system_ipc_callback, REQ_SYSTEM_INFO, nullptr, 0, CGI_KIND_JSON);
}

// "/1010": "temp & <query>"; a query word holding "reset" asks the core
// daemon to reset the settings with the upgrade.
void on_upgrade_system(char* text) {
  if (!text || !*text) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  char first[256] = "", second[1088] = "";
  std::sscanf(text, "%255s & %1087s", first, second);
  const int32_t reset = std::strstr(second, "reset") ? 1 : 0;
  log_operation(LOG_UPGRADE, LOG_PARAM_LOGIN, 0);
  const int done = cgi_ipc_exchange(on_system_ipc_callback, REQ_UPGRADE, &reset, sizeof reset, -1);
  if (done != 1) {
    reply_text(std::to_string(done).c_str());
    return;
  }
  cgi_reply_ok();
  std::fflush(cgiOut ? cgiOut : stdout);
  log_operation(LOG_RESTART, LOG_PARAM_LOGIN, 0);
  notify_core(REQ_REBOOT, nullptr, 0);
}

// "/1011": nothing is removed here.
void on_clean_upgrade_files(char*) {
  struct stat st {};
  reply_text(lstat(nvr_path(kUpgradeImage).c_str(), &st) != 0 && errno == ENOENT ? "OK" : "Error");
}

// "/1013": the exported profile as a download; the file is removed after
// it was sent, the path file stays.
void on_download_config(char*) {
  std::string path, full;
  if (!read_export_path(kExportPathRead, &path) || tmp_file_check(path, &full) != 0) return;
  const int fd = tmp_file_open_read(path);
  if (fd < 0) return;
  if (download_send_fd(fd, download_base_name(full.c_str())) != 0) CGI_LOG("profile download broke off");
  close(fd);
  unlink(full.c_str());
}

// "/1019": takes the upload (the release step removes it) and answers
// nothing.
void on_upload_placeholder(char*) {}

// "/1034"
void on_cgi_upgrade_system_init(char*) {
  notify_core(REQ_UPGRADE_START, nullptr, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  JsonPtr o(json_object_new_object());
  json_add_int(o.get(), "res", 0);
  cgi_write_json(o.get());
}

}  // namespace sysadmin
