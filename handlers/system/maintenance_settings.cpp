// Maintenance settings: host name and device id, log and photo retention,
// the file system database flag, automatic reboot, and the general display
// and device settings.
// Serves "/1012", "/1016", "/1017", "/1023", "/1032", "/1033", "/6080",
// "/6081".
#include "core/network_record.h"
#include "core/text_check.h"
#include "handlers/system/maintenance_records.h"
#include "handlers/system/system.h"

namespace sysadmin {

namespace {

constexpr int REQ_DEVICE_ID = 1705;
constexpr int REQ_RETENTION_CHANGED = 2102;
constexpr int REQ_AUTOREBOOT_CHANGED = 1718;
constexpr int REQ_DISPLAY_RESOLUTION = 1001;
constexpr int REQ_DISPLAY_APPLY = 1015;
constexpr int REQ_DISPLAY_AUDIO = 1002;
constexpr int REQ_SUB_OUTPUT = 1023;

constexpr int LOG_GENERAL_SETTINGS = 204;
constexpr int LOG_PARAM_GENERAL = 913;

// The remote-control id of the recorder, one range for the device page
// and the general page; a stored value outside it reads as the default.
constexpr int kDeviceIdMin = 1;
constexpr int kDeviceIdMax = 255;
constexpr int kDeviceIdDefault = 255;

constexpr int kRetentionValues[] = {-1, 0, 1, 2, 4, 6, 8, 10, 12};

struct ResolutionRequest {
  int32_t output;  // 0 main, 1 sub
  int32_t resolution;
};
struct AudioRequest {
  int32_t hdmiAudioOn;
  int32_t audioOutputOn;
  int32_t audioVolume;
};
static_assert(sizeof(ResolutionRequest) == 8 && sizeof(AudioRequest) == 12, "display payloads");

int stored_device_id() {
  char text[16] = "";
  get_param_value(ZRDB_PATH, "deviceid", text, sizeof text, "255");
  int id = 0;
  if (!parse_int_strict(text, &id) || id < kDeviceIdMin || id > kDeviceIdMax) return kDeviceIdDefault;
  return id;
}

bool retention_ok(int v) {
  for (int ok : kRetentionValues)
    if (v == ok) return true;
  return false;
}

// A present member read strictly within lo..hi.
bool take_in(json_object* req, const char* key, int lo, int hi, int32_t* out) {
  return json_strict_int_in(req, key, lo, hi, out);
}

// An absent member keeps *stored; a present one must read strictly within
// lo..hi.
bool keep_or_take(json_object* req, const char* key, int lo, int hi, int32_t* stored) {
  if (!json_has(req, key)) return true;
  return json_strict_int_in(req, key, lo, hi, stored);
}

// Stores an integer parameter as its decimal text when it changed.
bool store_int_param(const char* key, int value, int stored) {
  return value == stored || set_param_value(ZRDB_PATH, key, std::to_string(value).c_str()) == 0;
}


}  // namespace

// "/1012" {"hostName", "deviceId"}
void on_set_system_info(char* text) {
  JsonPtr req = parse_request(text);
  char host[128] = "";
  int32_t id = 0;
  json_get_text(req.get(), "hostName", host);
  if (!req || !host[0] || !clean_field(host) || !take_in(req.get(), "deviceId", kDeviceIdMin, kDeviceIdMax, &id))
    return;
  bool ok = true;
  {
    ZrdbTransaction txn(ZRDB_PATH);
    ok = txn.ok() && write_network_host_name(ZRDB_PATH, host) == 0 &&
         store_int_param("deviceid", id, stored_device_id()) && txn.commit() == 0;
  }
  if (!ok) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  notify_core_int(REQ_DEVICE_ID, id);
  notify_core_changed("hostname");
  cgi_reply_ok();
}

// "/1016": a damaged record reads as zeros, a store that fails is an error.
void on_get_auto_maintenance(char*) {
  DiskMaintainInfo info{};
  if (read_disk_maintain_info(ZRDB_PATH, &info) < 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr o(json_object_new_object());
  json_add_int(o.get(), "logRetention", info.logRetention);
  json_add_int(o.get(), "photoRetention", info.photoRetention);
  cgi_write_json(o.get());
}

// "/1017" {"logRetention", "photoRetention"}: both required.
void on_set_auto_maintenance(char* text) {
  JsonPtr req = parse_request(text);
  DiskMaintainInfo info{};
  if (!req || !json_strict_int(req.get(), "logRetention", &info.logRetention) ||
      !json_strict_int(req.get(), "photoRetention", &info.photoRetention) || !retention_ok(info.logRetention) ||
      !retention_ok(info.photoRetention))
    return;
  // Both values are given, so a missing or damaged record is replaced.
  DiskMaintainInfo stored{};
  const int rc = read_disk_maintain_info(ZRDB_PATH, &stored);
  bool ok = rc >= 0;
  if (ok && (rc != 0 || std::memcmp(&stored, &info, sizeof info) != 0))
    ok = write_disk_maintain_info(ZRDB_PATH, &info) == 0;
  if (!ok) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  notify_core(REQ_RETENTION_CHANGED, nullptr, 0);
  cgi_reply_ok();
}

// "/1023"
void on_clear_fs_dbup(char*) {
  if (set_param_int(ZRDB_PATH, "zrfs_dbup", 0) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  cgi_reply_ok();
}

// "/1032": a damaged record reads as zeros, a store that fails is an error.
void on_get_auto_reboot(char*) {
  AutoRebootConf c{};
  if (read_autoreboot_conf(ZRDB_PATH, &c) < 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr o(json_object_new_object());
  json_add_int(o.get(), "enable", c.enable);
  json_add_int(o.get(), "wday", c.wday);
  json_add_int(o.get(), "hour", c.hour);
  json_add_int(o.get(), "minutes", c.minutes);
  json_add_int(o.get(), "seconds", c.seconds);
  cgi_write_json(o.get());
}

// "/1033": absent keys keep their stored values (zeros for a missing or
// damaged record, which the save replaces); a time outside the day is
// refused.
void on_set_auto_reboot(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  bool ok = true;
  {
    ZrdbTransaction txn(ZRDB_PATH);
    AutoRebootConf before{};
    const int rc = txn.ok() ? read_autoreboot_conf(ZRDB_PATH, &before) : -1;
    ok = rc >= 0;
    AutoRebootConf c = before;
    json_object* r = req.get();
    if (ok && !(keep_or_take(r, "enable", 0, 1, &c.enable) && keep_or_take(r, "wday", 0, INT32_MAX, &c.wday) &&
                keep_or_take(r, "hour", 0, 23, &c.hour) && keep_or_take(r, "minutes", 0, 59, &c.minutes) &&
                keep_or_take(r, "seconds", 0, 59, &c.seconds)))
      return;
    if (ok && (rc != 0 || std::memcmp(&c, &before, sizeof c) != 0)) ok = write_autoreboot_conf(ZRDB_PATH, &c) == 0;
    if (ok) ok = txn.commit() == 0;
  }
  if (!ok) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  notify_core(REQ_AUTOREBOOT_CHANGED, nullptr, 0);
  cgi_reply_ok();
}

// "/6080"
void on_get_general_info(char*) {
  DisplayRecord d{};
  NetworkRecord net;
  std::memset(&net, 0, sizeof net);
  if (read_display(ZRDB_PATH, &d) != 0 || read_network(ZRDB_PATH, &net) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr o(json_object_new_object());
  json_object* j = o.get();
  json_add_int(j, "displayMode", get_param_int(ZRDB_PATH, "display_mode", 0));
  json_add_int(j, "hdmihotplug", get_param_int(ZRDB_PATH, "hdmihotplug", 1));
  json_add_int(j, "mainResolution", d.mainResolution);
  json_add_int(j, "hdmiAudioOn", d.hdmiAudioOn);
  json_add_int(j, "homologous", get_param_int(ZRDB_PATH, "homologous", 1));
  json_add_int(j, "curControl", d.curControl);
  json_add_int(j, "subEnable", d.subEnable);
  json_add_int(j, "subResolution", d.subResolution);
  json_add_int(j, "audioOutputOn", d.audioOutputOn);
  json_add_int(j, "audioVolume", d.audioVolume);
  json_add_int(j, "deviceId", stored_device_id());
  json_add_field(j, "hostname", net.hostName);
  json_add_int(j, "wizardEnable", get_param_int(ZRDB_PATH, "wizard_enable", 0));
  cgi_write_json(j);
}

// "/6081": everything is checked and read before the first write; the
// records and parameters change in one transaction.
void on_set_general_info(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  json_object* r = req.get();
  struct {
    int32_t mainResolution, audioOutputOn, audioVolume, hdmiAudioOn, subResolution, wizardEnable, deviceId,
        displayMode, subEnable;
  } v{};
  if (!json_strict_int(r, "mainResolution", &v.mainResolution) || !take_in(r, "audioOutputOn", 0, 1, &v.audioOutputOn) ||
      !take_in(r, "audioVolume", 0, 100, &v.audioVolume) || !take_in(r, "hdmiAudioOn", 0, 1, &v.hdmiAudioOn) ||
      !json_strict_int(r, "subResolution", &v.subResolution) || !json_strict_int(r, "wizardEnable", &v.wizardEnable) ||
      !json_member(r, "hostname", json_type_string) ||
      !take_in(r, "deviceId", kDeviceIdMin, kDeviceIdMax, &v.deviceId) ||
      !take_in(r, "displayMode", 0, 1, &v.displayMode) || !take_in(r, "subEnable", 0, 1, &v.subEnable))
    return;
  // The wizard flag is 0 or 1 here; the aging switch may have stored
  // another value, which the page may send back unchanged.
  if (v.wizardEnable != 0 && v.wizardEnable != 1 && v.wizardEnable != get_param_int(ZRDB_PATH, "wizard_enable", 0))
    return;
  char host[128] = "";
  json_get_text(r, "hostname", host);
  if (!clean_field(host)) return;
  int32_t homologous_changed = 0;
  if (!json_plain_int(r, "isHomologousChanged", &homologous_changed)) return;

  // The network record (for the host name) is read first: one that cannot
  // be read is never written over.
  DisplayRecord before{};
  NetworkRecord net;
  std::memset(&net, 0, sizeof net);
  if (read_display(ZRDB_PATH, &before) != 0 || read_network(ZRDB_PATH, &net) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  DisplayRecord d = before;
  d.mainResolution = v.mainResolution;
  d.audioOutputOn = v.audioOutputOn;
  d.audioVolume = v.audioVolume;
  d.hdmiAudioOn = v.hdmiAudioOn;
  d.subResolution = v.subResolution;
  const int32_t stored_homologous = get_param_int(ZRDB_PATH, "homologous", 1);
  const int32_t stored_hotplug = get_param_int(ZRDB_PATH, "hdmihotplug", 1);
  const int32_t stored_stream = get_param_int(ZRDB_PATH, "stream_information", 0);
  int32_t homologous = stored_homologous, hotplug = stored_hotplug, stream = stored_stream;
  // The hot-plug mode is stored as given, here and by the factory command
  // interface, which may set values other than 0 and 1.
  if (!keep_or_take(r, "audioStereo", INT32_MIN, INT32_MAX, &d.audioStereo) ||
      !keep_or_take(r, "homologous", 0, 1, &homologous) ||
      !keep_or_take(r, "hdmihotplug", INT32_MIN, INT32_MAX, &hotplug) ||
      !keep_or_take(r, "streamInfo", INT32_MIN, INT32_MAX, &stream))
    return;
  // Mirroring the outputs changes only with a reboot, and only when the
  // page says so and the value really differs.
  const bool reboot = homologous_changed != 0 && homologous != stored_homologous;
  const int32_t quick_screen = homologous == 0 ? 1 : 0;
  // The second output is switched by the core daemon; it is told only
  // when the request changes it and nothing else owns it.
  const bool sub_output = homologous_changed == 0 && before.curControl == 0 && v.subEnable != before.subEnable;
  if (sub_output) d.subEnable = v.subEnable;

  bool ok = true;
  {
    ZrdbTransaction txn(ZRDB_PATH);
    ok = txn.ok();
    if (ok && reboot)
      ok = set_param_int(ZRDB_PATH, "homologous", homologous) == 0 &&
           set_param_value(ZRDB_PATH, "quick_screen", std::to_string(quick_screen).c_str()) == 0;
    if (ok && std::memcmp(&d, &before, sizeof d) != 0) ok = write_display(ZRDB_PATH, &d) == 0;
    if (ok) ok = write_network_host_name(ZRDB_PATH, host) == 0;
    if (ok)
      ok = store_int_param("deviceid", v.deviceId, stored_device_id()) &&
           store_int_param("wizard_enable", v.wizardEnable, get_param_int(ZRDB_PATH, "wizard_enable", 0)) &&
           store_int_param("display_mode", v.displayMode, get_param_int(ZRDB_PATH, "display_mode", 0)) &&
           store_int_param("hdmihotplug", hotplug, stored_hotplug) &&
           store_int_param("stream_information", stream, stored_stream);
    if (ok) ok = txn.commit() == 0;
  }
  if (!ok) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  notify_core_int(REQ_DEVICE_ID, v.deviceId);
  notify_core_changed("hostname");
  if (d.mainResolution != before.mainResolution || d.subResolution != before.subResolution) {
    const ResolutionRequest main_out{0, d.mainResolution}, sub_out{1, d.subResolution};
    notify_core(REQ_DISPLAY_RESOLUTION, &main_out, sizeof main_out);
    notify_core(REQ_DISPLAY_RESOLUTION, &sub_out, sizeof sub_out);
    notify_core(REQ_DISPLAY_APPLY, nullptr, 0);
  }
  if (sub_output) notify_core_int(REQ_SUB_OUTPUT, v.subEnable);
  const AudioRequest audio{d.hdmiAudioOn, d.audioOutputOn, d.audioVolume};
  notify_core(REQ_DISPLAY_AUDIO, &audio, sizeof audio);
  log_operation(LOG_GENERAL_SETTINGS, LOG_PARAM_GENERAL, 0);
  reply_text(before.curControl != 0 ? "SUB" : "OK");
  if (reboot) {
    std::fflush(cgiOut ? cgiOut : stdout);
    notify_core(REQ_REBOOT, nullptr, 0);
  }
}

}  // namespace sysadmin
